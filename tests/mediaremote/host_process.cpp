#include "host_process.h"

// Only the given bus, never one found through the runtime folder.
HostProcess::HostProcess(const std::string& busAddress)
    : host({TOLVANE_HOST_PATH},
          {"DBUS_SESSION_BUS_ADDRESS" + (busAddress.empty() ? "" : "=" + busAddress), "XDG_RUNTIME_DIR"})
{
}

std::optional<json> HostProcess::record_where(bool (*wanted)(const json&, const std::string&), const std::string& arg)
{
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (auto record = next_record(host, deadline))
        if (wanted(*record, arg))
            return record;
    return std::nullopt;
}

bool titled(const json& record, const std::string& title)
{
    return record.value("title", "") == title;
}
