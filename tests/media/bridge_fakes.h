// In-process stand-ins for the bound framework functions: answers chosen by
// the test, and a record of what the bridge asked for.
#pragma once

#include "bridge.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

struct FakeFramework {
    std::mutex lock;
    std::int32_t pid = 0;
    bool playing = false;
    MRInfo info;
    bool silent = false;  // queries are counted but never answered
    std::vector<std::chrono::steady_clock::time_point> queries;  // one per refresh
    std::size_t infoQueries = 0;
    std::vector<std::uint32_t> commands;
    std::vector<double> seeks;
};

extern FakeFramework& fake;

// Binds the fakes, creates the queue once, and forgets what was recorded.
void use_fakes(bool withSeek = true);
std::size_t query_count();
std::size_t info_count();
// Waits until every block due before now plus the delay has run.
bool drain_queue(std::chrono::milliseconds delay = std::chrono::milliseconds(0));
