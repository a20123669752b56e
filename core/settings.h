// The seven settings the user chooses, their ranges and defaults, and the repair of values
// out of range. Portable; where the settings are kept is each platform's own business
// (windows/show/settings_store_win32.h on Windows, the options on Linux, the page on the web).
#pragma once

#include <stdint.h>

struct SaverSettings {
    int32_t sound;
    int32_t blankScreen;
    int32_t rideCoravendia;
    int32_t rideValtorne;
    int32_t speed;
    int32_t rate;
    int32_t volume;
};

// A ranged setting: its key in the store, its bounds and the value that replaces one outside
// them. Each range is written here once, for the store, the dialog and the options alike.
struct SettingRange {
    const char* key;
    int32_t minimum;
    int32_t maximum;
    int32_t fallback;
};

extern const SettingRange kSpeedRange;   // 1 to 15, 6
extern const SettingRange kRateRange;    // 1 to 40, 10
extern const SettingRange kVolumeRange;  // 0 to 255, 127

// A flag: its key and its value when nothing is stored.
struct SettingFlag {
    const char* key;
    int32_t fallback;
};

extern const SettingFlag kSoundFlag;       // "Sound", 0
extern const SettingFlag kBlankFlag;       // "Blank", 0
extern const SettingFlag kCoravendiaFlag;  // "Coravendia", 1
extern const SettingFlag kValtorneFlag;    // "Valtorne", 1

// The value itself when it lies within the range, else the range's fallback.
int32_t Repaired(int32_t value, const SettingRange& range);
