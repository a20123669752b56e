#include "linux/clock.h"

#include <time.h>

uint64_t MonotonicMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint32_t CalendarSeconds() {
    return static_cast<uint32_t>(time(nullptr));
}
