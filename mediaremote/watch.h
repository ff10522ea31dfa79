// Following the players on one connection: who appears, vanishes, plays and
// changes. Bus thread only.
#pragma once

namespace sdbus {
class IConnection;
}

void watch_attach(sdbus::IConnection& bus);  // throws sdbus::Error; calls_attach first
void watch_detach();
