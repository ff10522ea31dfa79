// tolvane-fans-ctl's options, which come before the command.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr char kUsage[] = "usage: tolvane-fans-ctl [--socket path] [--every seconds] "
                                 "status | hello | ping | auto | set rpm | hold rpm\n";
inline constexpr char kFollowUsage[] = "usage: tolvane-fans-ctl [--socket path] [--sensor name[+-offset]]... "
                                       "[--curve points] [--hysteresis C] [--step rpm] [--every seconds] "
                                       "[--config path] [--check] follow | sensors\n";

struct Options {
    const char* socketPath = "/var/run/com.tolvane.fans.sock";
    int everySeconds = 0;  // 0: the command's own
    std::vector<std::string> sensors;
    const char* curve = nullptr;
    std::optional<double> hysteresis, step;
    const char* configPath = nullptr;
    bool check = false, help = false, valid = true;
    bool following = false;  // one of follow's own options given
};

Options scan_options(int argc, char** argv);
void print_help();
// A fault of the command line: the fault, then the usage line; EX_USAGE.
int usage_fault(const std::string& fault, const char* usage);
