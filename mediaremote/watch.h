// Following the players on one connection: who appears, vanishes, plays and
// changes, posted as the framework's notifications where that changes what
// the bridge shows. Bus thread only.
#pragma once

#include <functional>

namespace sdbus {
class IConnection;
}

void watch_attach(sdbus::IConnection& bus);  // throws sdbus::Error; calls_attach first
void watch_detach();
// Runs job once the players on the bus at attach have told what they do (at
// once when there is no bus), so that a question or command is not answered
// from a half-known bus.
void watch_when_known(std::function<void()> job);
