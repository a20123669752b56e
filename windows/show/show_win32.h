// What the show's Win32 layer keeps beyond the message chain: the process's one show, and the
// translation of the show's volume into the wave-out word.
#pragma once

#include <stdint.h>

#include "core/ride_engine.h"

// One saver window a process, so one show.
extern Show saverShow;

// The wave-out volume for a setting from 0 to 255, the same on both channels.
uint32_t WaveVolumeFor(int32_t volume);
