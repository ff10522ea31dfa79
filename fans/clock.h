// The clock the watchdog measures silence with.
#pragma once

#include <cstdint>

// Whole seconds on a clock that setting the wall clock cannot move, so a clock
// set back can never stretch the hand-back of forced fans. Tests replace it.
extern int64_t (*now_seconds)();

int64_t monotonic_seconds();

// The same clock with its fraction, for the simulated controller's speeds.
double monotonic_time();
