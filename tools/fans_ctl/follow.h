// follow: the fans kept on a curve of the hottest chosen sensor's temperature.
#pragma once

#include "follow_config.h"

#include <cstdint>

// The clock follow keeps its periods and reminders by, and its wait between periods:
// monotonic_ms and wait_for, unless a test runs it on a clock of its own.
extern int64_t (*followClock)();
extern void (*followWait)(int64_t deadline);

// Until SIGINT, SIGTERM or SIGHUP, then auto. Any doubt about a sensor hands the fans back
// until it clears; a helper gone is waited for. Returns the exit status.
int follow(const char* path, const FollowSetup& setup);
// The curve as a table and what follow would do at the current temperatures; no request.
int check_follow(const FollowSetup& setup);
