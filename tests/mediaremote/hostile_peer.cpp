#include "hostile_peer.h"

#include "fake_player.h"

using namespace std::chrono_literals;

// Asking its own name finishes the greeting with the bus, which no event
// loop would otherwise do for this connection.
static std::unique_ptr<sdbus::IConnection> greeted_connection()
{
    auto connection = sdbus::createSessionBusConnection();
    connection->getUniqueName();
    return connection;
}

HostilePeer::HostilePeer()
    : connection_(greeted_connection())
    , object_(sdbus::createObject(*connection_, "/org/mpris/MediaPlayer2"))
    , nagging_([this] { announce_invalidated(*object_); }, 100ms)
{
}

static std::vector<std::string> unique_names(sdbus::IConnection& connection)
{
    std::vector<std::string> names;
    sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus")
        ->callMethod("ListNames")
        .onInterface("org.freedesktop.DBus")
        .storeResultsTo(names);
    std::erase_if(names, [&](const std::string& name) { return name[0] != ':' || name == connection.getUniqueName(); });
    return names;
}

// A peer handles its messages in order, so its answer to the ping that
// follows the forged signal shows that it has handled the signal too.
void HostilePeer::forge_departure(const std::string& name, const std::string& owner)
{
    for (const auto& peer : unique_names(*connection_)) {
        auto signal = object_->createSignal("org.freedesktop.DBus", "NameOwnerChanged");
        signal << name << owner << std::string();
        signal.setDestination(peer);
        object_->emitSignal(signal);
        try {
            sdbus::createProxy(*connection_, peer, "/")
                ->callMethod("Ping")
                .onInterface("org.freedesktop.DBus.Peer")
                .withTimeout(5s);
        } catch (const sdbus::Error&) {
        }
    }
}
