// The clock's arithmetic: a FILETIME (100-nanosecond intervals since 1601-01-01, in two 32-bit
// halves) to seconds since 1970, kept to their low 32 bits as a 32-bit time() kept them, so
// dates before 1970 wrap round and dates after 2106 start again from 0.
#pragma once

#include <stdint.h>

inline uint32_t ClockSecondsOf(uint32_t high, uint32_t low) {
    const uint32_t perSecond = 10000000u;
    // 11644473600 seconds lie between 1601 and 1970; only their low 32 bits count.
    const uint32_t secondsBefore1970 = 3054539008u;
    // Seconds since 1601 in two 32-bit divisions: the high half first, whose remainder is less
    // than the divisor, so the second quotient always fits 32 bits and the division never
    // traps. Nor does it need the runtime's general 64-bit division.
    uint32_t carried = high % perSecond;
    uint32_t seconds;
    uint32_t remainder;
    __asm__("divl %4" : "=a"(seconds), "=d"(remainder) : "a"(low), "d"(carried), "rm"(perSecond));
    return seconds - secondsBefore1970;
}
