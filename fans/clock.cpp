#include "clock.h"

#include <ctime>

int64_t monotonic_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

int64_t (*now_seconds)() = monotonic_seconds;
