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
    : connection_(greeted_connection()), object_(sdbus::createObject(*connection_, "/org/mpris/MediaPlayer2")),
      nagging_([this] { announce_invalidated(*object_); }, 100ms)
{
}
