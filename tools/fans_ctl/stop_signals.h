// The stop signals (SIGINT, SIGTERM, SIGHUP), let in only while waiting, so that no request is cut short.
#pragma once

#include <cstdint>

void catch_stop_signals();
bool stop_requested();
// Until the deadline on the monotonic clock (monotonic_ms) or a stop signal, whichever comes first.
void wait_for(int64_t deadline);
