// The stand-in's one thread on the session bus. It owns the connection,
// follows the players' signals and runs every job that needs the bus, one at
// a time in submission order, so nothing here is shared between threads.
#pragma once

#include <functional>

using BusJob = std::function<void()>;

void bus_start();
void bus_run(BusJob job);
// A command's job: the caller waits while the bus is far behind with the
// commands, so that a flood holds little and loses nothing.
void bus_run_command(BusJob job);
void bus_command_done();  // one command's call is answered, or it made none; bus thread
