// The bridge's own code in this process, bound to a framework whose queries
// are noted with their time and never answered.
#pragma once

#include "bridge.h"

#include <chrono>
#include <vector>

using Clock = std::chrono::steady_clock;

// Binds the fakes once everything an earlier test queued has run.
void use_fakes();
std::vector<Clock::time_point> refreshes();  // one per query of the PID
// Waits until every block due before now plus the delay has run.
bool drain_queue(std::chrono::milliseconds delay = std::chrono::milliseconds(0));
