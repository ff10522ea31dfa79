// The event stream: one compact JSON object per line on standard output.
#pragma once

#include <nlohmann/json.hpp>

// Keys keep the order they were added in; integers and doubles stay apart.
using Record = nlohmann::ordered_json;

// Writes the record as one line and flushes it; a record that cannot be
// written as JSON (a number that is not finite) is dropped without a trace,
// and the answer is false.
bool emit(const Record& record);
