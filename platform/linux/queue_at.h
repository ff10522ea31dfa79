// Submission at an absolute deadline, for the timer: it keeps its period on
// the deadlines it was given rather than on when its handler happened to run.
#pragma once

#include "platform/platform.h"

namespace platform {

using Clock = std::chrono::steady_clock;

void queue_at(const Queue& queue, Clock::time_point due, Block block);

}  // namespace platform
