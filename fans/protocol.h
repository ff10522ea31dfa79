// One accepted connection of the control socket: peer rule, request, reply.
#pragma once

#include <cstdint>

// Monotonic seconds of the last admitted request; read by the watchdog.
extern int64_t lastContact;

// Serves one connection and always closes it.
void handle_client(int fd, int64_t owner);
