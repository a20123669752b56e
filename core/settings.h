// The seven settings the user chooses: one table of their keys, kinds, ranges, defaults and
// repair, which the Windows store and dialog, the Linux options and the web page all read.
// Portable; where the settings are kept is each platform's own business (control.ini on
// Windows, the options on Linux, the page's storage on the web).
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

// The rows of kSettings, in the order the store reads and writes them.
enum SettingId { SoundSetting, BlankSetting, CoravendiaSetting, ValtorneSetting, SpeedSetting, RateSetting,
                 VolumeSetting, SettingCount };

struct SettingRule {
    const char* key;   // in the store: "Speed"; in lower case, the Linux option and the page's parameter
    int32_t SaverSettings::*field;
    bool ranged;       // a range, or else a flag (0 off, 1 on)
    int32_t minimum;
    int32_t maximum;
    int32_t fallback;  // the default, and what replaces a value the setting cannot take
};

extern const SettingRule kSettings[SettingCount];

// Every setting at its default.
SaverSettings DefaultSettings(void);

// A stored value as the show takes it: a range's value outside it is the default, not the
// nearest bound; a flag keeps whatever was stored, since the show reads any value but 0 as on.
int32_t Repaired(int32_t value, const SettingRule& setting);

// Whether the value is one the setting offers: within the range, or 0 or 1 for a flag.
bool IsOffered(int32_t value, const SettingRule& setting);
