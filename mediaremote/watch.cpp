#include "watch.h"

#include "bus.h"
#include "calls.h"
#include "names.h"
#include "notify.h"
#include "players.h"

static constexpr const char* mprisPrefix = "org.mpris.MediaPlayer2.";

static constexpr const char* nameOwnerRule =
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'";
static constexpr const char* propertiesRule =
    "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
    "path='/org/mpris/MediaPlayer2',arg0='org.mpris.MediaPlayer2.Player'";
static constexpr const char* seekedRule =
    "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked',path='/org/mpris/MediaPlayer2'";

static std::string current_name()
{
    const Player* p = players_current();
    return p ? p->name : std::string();
}

static void post_if_current_changed(const std::string& before)
{
    if (current_name() != before)
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
}

static bool is_playing(const sdbus::Variant& status)
{
    return status.containsValueOfType<std::string>() && status.get<std::string>() == "Playing";
}

// A player is added even when it answers nothing: it is on the bus.
static void add_player(sdbus::IConnection& bus, const std::string& name, const std::string& owner)
{
    std::int32_t pid = 0;
    bool playing = false;
    try {
        pid = call_pid(bus, owner);
    } catch (const sdbus::Error&) {
    }
    try {
        playing = is_playing(call_player_property(bus, name, "PlaybackStatus"));
    } catch (const sdbus::Error&) {
    }
    players_add(name, owner, pid, playing);
}

static void on_name_owner_changed(sdbus::Message& msg)
{
    std::string name, oldOwner, newOwner;
    msg >> name >> oldOwner >> newOwner;
    if (!name.starts_with(mprisPrefix))
        return;
    if (!oldOwner.empty())
        players_remove(name);
    if (!newOwner.empty())
        add_player(*bus_connection(), name, newOwner);
    notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
}

// An invalidated status carries no value, so it is read afresh.
static bool new_status(const PropertyMap& changed, const std::string& owner)
{
    auto it = changed.find("PlaybackStatus");
    if (it != changed.end())
        return is_playing(it->second);
    try {
        return is_playing(call_player_property(*bus_connection(), owner, "PlaybackStatus"));
    } catch (const sdbus::Error&) {
        return false;
    }
}

static void on_properties_changed(sdbus::Message& msg)
{
    std::string interface;
    PropertyMap changed;
    std::vector<std::string> invalidated;
    msg >> interface >> changed >> invalidated;
    bool info = false, status = false;
    auto note = [&](const std::string& p) {
        info |= p == "Metadata" || p == "Position" || p == "Rate";
        status |= p == "PlaybackStatus";
    };
    for (auto& [p, value] : changed)
        note(p);
    for (auto& p : invalidated)
        note(p);
    std::string owner = msg.getSender(), before = current_name();
    players_touch(owner);
    if (status)
        players_set_playing(owner, new_status(changed, owner));
    if (info)
        notify_post(kMRMediaRemoteNowPlayingInfoDidChangeNotification);
    if (status)
        notify_post(kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification);
    post_if_current_changed(before);
}

static void on_seeked(sdbus::Message& msg)
{
    std::string before = current_name();
    players_touch(msg.getSender());
    notify_post(kMRMediaRemoteNowPlayingInfoDidChangeNotification);
    post_if_current_changed(before);
}

// A malformed signal is dropped rather than taking the bus thread down.
static sdbus::message_handler guarded(void (*handler)(sdbus::Message&))
{
    return [handler](sdbus::Message& msg) {
        try {
            handler(msg);
        } catch (const sdbus::Error&) {
        }
    };
}

// The rules go in before the names are listed, so no player slips between.
void watch_attach(sdbus::IConnection& bus)
{
    bus.addMatch(nameOwnerRule, guarded(on_name_owner_changed), sdbus::floating_slot);
    bus.addMatch(propertiesRule, guarded(on_properties_changed), sdbus::floating_slot);
    bus.addMatch(seekedRule, guarded(on_seeked), sdbus::floating_slot);
    bool found = false;
    for (auto& name : call_list_names(bus)) {
        if (!name.starts_with(mprisPrefix))
            continue;
        try {
            add_player(bus, name, call_name_owner(bus, name));
            found = true;
        } catch (const sdbus::Error&) {
        }
    }
    if (found)
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
}

void watch_detach()
{
    if (players_clear())
        notify_post(kMRMediaRemoteNowPlayingApplicationDidChangeNotification);
}
