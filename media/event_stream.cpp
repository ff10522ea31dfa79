#include "event_stream.h"

#include <cmath>
#include <cstdio>
#include <string>

static bool has_non_finite(const Record& record)
{
    for (const auto& value : record)
        if (value.is_number_float() && !std::isfinite(value.get<double>()))
            return true;
    return false;
}

bool emit(const Record& record)
{
    if (has_non_finite(record))
        return false;
    std::string text;
    try {
        // Invalid UTF-8 can only come from a misbehaving framework; mend it
        // rather than lose the whole record.
        text = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (...) {
        return false;
    }
    // The stream's own lock keeps each record, its line feed and the flush
    // together, whichever thread writes.
    flockfile(stdout);
    fwrite(text.data(), 1, text.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
    funlockfile(stdout);
    return true;
}
