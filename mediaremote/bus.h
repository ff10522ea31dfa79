// The stand-in's one thread on the session bus. It owns the connection,
// follows the players' signals and runs every job that needs the bus, one at
// a time in submission order, so nothing here is shared between threads.
#pragma once

#include <functional>

using BusJob = std::function<void()>;

void bus_start();
void bus_run(BusJob job);
