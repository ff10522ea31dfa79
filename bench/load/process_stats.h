// What a process holds, from /proc: open descriptors and resident memory.
#pragma once

#include <sys/types.h>

struct ProcessStats {
    int fds;       // entries of /proc/<pid>/fd
    long rssKiB;   // VmRSS of /proc/<pid>/status
    long peakKiB;  // VmHWM, the most it ever held
};

ProcessStats process_stats(pid_t pid);
