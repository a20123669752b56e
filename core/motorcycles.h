// The motorcycles that ride: one row each, with its two pictures, its sounds and what sets its
// ride apart. The show reads nothing about a model but this row, so a model is added here and in
// the asset table (core/show_assets_table.inc) with its files.
#pragma once

#include <stdint.h>

#include "core/settings.h"
#include "core/show_port.h"

struct Motorcycle {
    PictureIndex facingLeft;
    PictureIndex facingRight;
    // NoSound for a sound it lacks. With a start sound, the ride waits for it before its run
    // sound loops; with a fade, its ride ends on it, else in silence.
    SoundIndex start;
    SoundIndex run;
    SoundIndex fade;
    // Its step is speed × stepTimes / stepPer pixels.
    int32_t stepTimes;
    int32_t stepPer;
    // The setting that lets it ride; null for one that may always ride.
    int32_t SaverSettings::*chosen;
};

inline constexpr Motorcycle kMotorcycles[] = {
    {CoravendiaLeft, CoravendiaRight, CoravendiaStart, CoravendiaRun, CoravendiaFade, 1, 1,
     &SaverSettings::rideCoravendia},
    {ValtorneLeft, ValtorneRight, NoSound, ValtorneRun, NoSound, 5, 4, &SaverSettings::rideValtorne},
};

inline constexpr int32_t kMotorcycleCount = sizeof(kMotorcycles) / sizeof(kMotorcycles[0]);
