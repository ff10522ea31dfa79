// Following the players on one connection: who appears, vanishes, plays and
// changes, posted as the framework's notifications. Bus thread only.
#pragma once

namespace sdbus {
class IConnection;
}

void watch_attach(sdbus::IConnection& bus);  // throws sdbus::Error
void watch_detach();
