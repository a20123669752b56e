#include "windows/platform/clock_seconds.h"
#include "windows/platform/winapi.h"

uint32_t ClockSeconds(void) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ClockSecondsOf(now.dwHighDateTime, now.dwLowDateTime);
}
