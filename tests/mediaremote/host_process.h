// tolvane-media-host with the built bridge and stand-in, as a child process
// on the given bus address, or with no bus address at all when it is empty.
#pragma once

#include "records.h"

using Clock = std::chrono::steady_clock;
using nlohmann::json;

struct HostProcess {
    explicit HostProcess(const std::string& busAddress);
    // The first now-playing record for which wanted holds.
    std::optional<json> record_where(bool (*wanted)(const json&, const std::string&), const std::string& arg);
    Child host;
};

bool titled(const json& record, const std::string& title);
