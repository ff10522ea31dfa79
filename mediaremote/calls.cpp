#include "calls.h"

static std::unique_ptr<sdbus::IProxy> daemon_proxy(sdbus::IConnection& bus)
{
    return sdbus::createProxy(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus");
}

std::unique_ptr<sdbus::IProxy> player_proxy(sdbus::IConnection& bus, const std::string& player)
{
    return sdbus::createProxy(bus, player, playerPath);
}

std::vector<std::string> call_list_names(sdbus::IConnection& bus)
{
    std::vector<std::string> names;
    daemon_proxy(bus)->callMethod("ListNames").onInterface("org.freedesktop.DBus").withTimeout(callTimeout).storeResultsTo(names);
    return names;
}

std::string call_name_owner(sdbus::IConnection& bus, const std::string& name)
{
    std::string owner;
    daemon_proxy(bus)
        ->callMethod("GetNameOwner")
        .onInterface("org.freedesktop.DBus")
        .withTimeout(callTimeout)
        .withArguments(name)
        .storeResultsTo(owner);
    return owner;
}

std::int32_t call_pid(sdbus::IConnection& bus, const std::string& owner)
{
    std::uint32_t pid = 0;
    daemon_proxy(bus)
        ->callMethod("GetConnectionUnixProcessID")
        .onInterface("org.freedesktop.DBus")
        .withTimeout(callTimeout)
        .withArguments(owner)
        .storeResultsTo(pid);
    return static_cast<std::int32_t>(pid);
}

PropertyMap call_player_properties(sdbus::IConnection& bus, const std::string& player)
{
    PropertyMap properties;
    player_proxy(bus, player)
        ->callMethod("GetAll")
        .onInterface("org.freedesktop.DBus.Properties")
        .withTimeout(callTimeout)
        .withArguments(std::string(playerInterface))
        .storeResultsTo(properties);
    return properties;
}

sdbus::Variant call_player_property(sdbus::IConnection& bus, const std::string& player, const char* property)
{
    sdbus::Variant value;
    player_proxy(bus, player)
        ->callMethod("Get")
        .onInterface("org.freedesktop.DBus.Properties")
        .withTimeout(callTimeout)
        .withArguments(std::string(playerInterface), std::string(property))
        .storeResultsTo(value);
    return value;
}
