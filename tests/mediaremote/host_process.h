// tolvane-media-host as a child process: commands in on a pipe, records out
// on another, killed by pid if it has not ended by itself.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>

using Clock = std::chrono::steady_clock;

class HostProcess {
public:
    // busAddress empty: the host runs with no session bus address at all.
    explicit HostProcess(const std::string& busAddress);
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    void send(const std::string& line);
    std::optional<nlohmann::json> next_record(Clock::time_point deadline);
    // The first now-playing record for which wanted holds.
    std::optional<nlohmann::json> record_where(bool (*wanted)(const nlohmann::json&, const std::string&),
                                               const std::string& arg);

private:
    std::optional<std::string> next_line(Clock::time_point deadline);

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
};

bool titled(const nlohmann::json& record, const std::string& title);
