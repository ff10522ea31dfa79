// Each call has a proxy of its own, kept until the call is answered: a proxy
// must outlive the handling of its reply, so answered calls are forgotten
// only between messages.
#include "calls.h"

#include <list>

struct Call {
    std::unique_ptr<sdbus::IProxy> proxy;
    sdbus::PendingAsyncCall pending;
    std::function<void(const sdbus::Error*)> fail;  // the answer when the call is dropped
};

static constexpr const char* daemonName = "org.freedesktop.DBus";
static constexpr const char* daemonPath = "/org/freedesktop/DBus";
static constexpr const char* playerPath = "/org/mpris/MediaPlayer2";
static constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

static sdbus::IConnection* connection;
static std::list<Call>& calls = *new std::list<Call>;

void calls_attach(sdbus::IConnection& bus)
{
    connection = &bus;
}

void calls_sweep()
{
    calls.remove_if([](const Call& call) { return !call.pending.isPending(); });
}

void calls_detach()
{
    std::list<Call> dropped;
    dropped.swap(calls);
    connection = nullptr;
    sdbus::Error gone("org.freedesktop.DBus.Error.Disconnected", "the bus went away");
    for (auto& call : dropped)
        if (call.pending.isPending()) {
            call.pending.cancel();
            call.fail(&gone);
        }
}

// Nothing may leave a reply handler: it is called from the D-Bus library's C code.
template <class... Results>
static void answer(const Reply<Results...>& reply, const sdbus::Error* error, Results... results)
{
    try {
        reply(error, std::move(results)...);
    } catch (const sdbus::Error&) {
    }
}

template <class... Results, class... Args>
static void call(const std::string& destination, const char* path, const char* interface, const char* method,
    std::chrono::milliseconds timeout, Reply<Results...> reply, const Args&... args)
{
    try {
        if (!connection)
            throw sdbus::Error("org.freedesktop.DBus.Error.Disconnected", "no bus");
        auto fail = [reply](const sdbus::Error* error) { answer(reply, error, Results{}...); };
        Call& call = calls.emplace_back(Call{sdbus::createProxy(*connection, destination, path), {}, fail});
        call.pending = call.proxy->callMethodAsync(method)
                           .onInterface(interface)
                           .withTimeout(timeout)
                           .withArguments(args...)
                           .uponReplyInvoke([reply](const sdbus::Error* error, Results... results) {
                               answer(reply, error, std::move(results)...);
                           });
    } catch (const sdbus::Error& error) {
        answer(reply, &error, Results{}...);
    }
}

static std::unique_ptr<sdbus::IProxy> daemon_proxy()
{
    return sdbus::createProxy(*connection, daemonName, daemonPath);
}

std::vector<std::string> daemon_names()
{
    std::vector<std::string> names;
    daemon_proxy()->callMethod("ListNames").onInterface(daemonName).storeResultsTo(names);
    return names;
}

std::string daemon_name_owner(const std::string& name)
{
    std::string owner;
    daemon_proxy()->callMethod("GetNameOwner").onInterface(daemonName).withArguments(name).storeResultsTo(owner);
    return owner;
}

void call_pid(const std::string& owner, Reply<std::uint32_t> reply)
{
    call(daemonName, daemonPath, daemonName, "GetConnectionUnixProcessID", callTimeout, std::move(reply), owner);
}

void call_player_properties(const std::string& player, Reply<PropertyMap> reply)
{
    call(
        player, playerPath, propertiesInterface, "GetAll", callTimeout, std::move(reply), std::string(playerInterface));
}

void call_player_property(
    const std::string& player, const char* property, Reply<sdbus::Variant> reply, std::chrono::milliseconds timeout)
{
    call(player, playerPath, propertiesInterface, "Get", timeout, std::move(reply), std::string(playerInterface),
        std::string(property));
}

void call_player_method(const std::string& player, const char* method, Reply<> over)
{
    call(player, playerPath, playerInterface, method, callTimeout, std::move(over));
}

void call_player_seek(const std::string& player, std::int64_t offset, Reply<> over)
{
    call(player, playerPath, playerInterface, "Seek", callTimeout, std::move(over), offset);
}

void call_player_set_position(
    const std::string& player, const sdbus::ObjectPath& track, std::int64_t position, Reply<> over)
{
    call(player, playerPath, playerInterface, "SetPosition", callTimeout, std::move(over), track, position);
}
