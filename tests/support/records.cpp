#include "records.h"

std::optional<nlohmann::json> next_record(Child& host, std::chrono::steady_clock::time_point deadline)
{
    auto left = [&] {
        return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    };
    while (auto line = child_read_line(host, left())) {
        nlohmann::json record = nlohmann::json::parse(*line);
        if (record.contains("pid"))
            return record;
    }
    return std::nullopt;
}
