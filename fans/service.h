// The service mode: listening socket, select loop, watchdog, signals, shutdown.
#pragma once

#include <csignal>
#include <cstdint>

extern volatile sig_atomic_t stopping;  // set by on_signal only, never cleared

void on_signal(int sig);

// Hands forced fans back once no admitted request came for 61 seconds.
void watchdog();

// Hands back fans left forced, then runs set-up, the loop until stopping, and
// shutdown; returns the exit status.
int serve(const char* path, int64_t owner);
