#pragma once

#include "child.h"

#include <nlohmann/json.hpp>

// The next now-playing record, passing over the ready record, or nothing at the end of the output or at the deadline.
std::optional<nlohmann::json> next_record(Child& host, std::chrono::steady_clock::time_point deadline);
