// The Linux program's clocks: the steady one the show's time and the frame loops run on, and
// the calendar the show's chance starts from.
#pragma once

#include <stdint.h>

// Milliseconds of a clock that never steps back.
uint64_t MonotonicMs();
// Seconds since 1970-01-01 00:00:00 UTC, as 32 bits.
uint32_t CalendarSeconds();
