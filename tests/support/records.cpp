#include "records.h"

std::optional<nlohmann::json> next_record(Child& host, std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    while (auto line = child_read_line(host, ceil<milliseconds>(deadline - steady_clock::now())))
        if (nlohmann::json record = nlohmann::json::parse(*line); record.contains("pid"))
            return record;
    return std::nullopt;
}
