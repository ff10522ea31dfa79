#include "process_stats.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

ProcessStats process_stats(pid_t pid)
{
    std::string proc = "/proc/" + std::to_string(pid);
    ProcessStats stats = {0, -1, -1};
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(proc + "/fd", error); !error && it != decltype(it)();
         it.increment(error))
        stats.fds++;
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            std::sscanf(line.c_str(), "VmRSS: %ld", &stats.rssKiB);
        else if (line.starts_with("VmHWM:"))
            std::sscanf(line.c_str(), "VmHWM: %ld", &stats.peakKiB);
    return stats;
}
