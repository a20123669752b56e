#include "windows/platform/winapi.h"

// FILETIME counts 100-nanosecond intervals since 1601-01-01; this many lie before 1970.
static const uint64_t FileTimeAt1970 = 116444736000000000ull;
static const uint64_t FileTimePerSecond = 10000000ull;

uint32_t ClockSeconds(void) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - FileTimeAt1970;
    // The quotient fits 32 bits until 2106, so one 64-by-32-bit division does it, without
    // the runtime's general 64-bit division.
    uint32_t seconds;
    uint32_t remainder;
    __asm__("divl %4"
            : "=a"(seconds), "=d"(remainder)
            : "a"(static_cast<uint32_t>(ticks)), "d"(static_cast<uint32_t>(ticks >> 32)),
              "rm"(static_cast<uint32_t>(FileTimePerSecond)));
    return seconds;
}
