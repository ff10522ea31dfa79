#include "clock.h"

#include <ctime>

double monotonic_time()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

int64_t monotonic_seconds()
{
    return int64_t(monotonic_time());
}

int64_t (*now_seconds)() = monotonic_seconds;
