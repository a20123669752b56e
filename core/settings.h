// The seven settings the user chooses: one table of their keys, kinds, ranges, defaults, repair,
// the words that name them and the controls that edit them, which the Windows store and dialog,
// the Linux options and the web page all read, so that a setting is added in one row (and in one
// row of kSettingDocs below, the words the Linux documents made at build time say of it).
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

// How the Windows dialog edits a setting: a check box, or a vertical scroll bar with the range's
// minimum or its maximum at the top.
enum SettingControl { CheckBox, BarMinimumAtTop, BarMaximumAtTop };

struct SettingRule {
    const char* key;   // in the store: "Speed"; in lower case, the Linux option and the page's parameter
    int32_t SaverSettings::*field;
    bool ranged;       // a range, or else a flag (0 off, 1 on)
    int32_t minimum;
    int32_t maximum;
    int32_t fallback;  // the default, and what replaces a value the setting cannot take
    int32_t initial;   // what a Windows process holds before its first load, which always replaces it
    const char* label;      // the page's panel's
    const char* boxText;    // a flag's check box in the dialog, with its access key
    const char* lowText;    // the dialog's words at a bar's minimum end and its maximum end
    const char* highText;
    const char* help;       // what the Linux --help says it does
    SettingControl control;
    int32_t controlId;      // its control's number in the dialog template (resource_ids.h)
    int32_t pageStep;       // how far a bar's page moves it
};

inline constexpr SettingRule kSettings[SettingCount] = {
    {"Sound", &SaverSettings::sound, false, 0, 1, 0, 1, "Sound", "&Sound", nullptr, nullptr, "engine sounds",
     CheckBox, 110, 0},
    {"Blank", &SaverSettings::blankScreen, false, 0, 1, 0, 1, "Blank screen", "&Blank screen", nullptr, nullptr,
     "black screen behind the rides", CheckBox, 100, 0},
    {"Coravendia", &SaverSettings::rideCoravendia, false, 0, 1, 1, 1, "Ride the Coravendia", "Co&ravendia",
     nullptr, nullptr, "the Coravendia rides", CheckBox, 111, 0},
    {"Valtorne", &SaverSettings::rideValtorne, false, 0, 1, 1, 1, "Ride the Valtorne", "Valtor&ne", nullptr,
     nullptr, "the Valtorne rides", CheckBox, 112, 0},
    {"Speed", &SaverSettings::speed, true, 1, 15, 6, 6, "Speed", nullptr, "Slow", "Fast", "pixels a step",
     BarMinimumAtTop, 1005, 4},
    {"Rate", &SaverSettings::rate, true, 1, 40, 10, 10, "How often", nullptr, "Seldom", "Often",
     "how often rides come", BarMinimumAtTop, 1006, 4},
    {"Volume", &SaverSettings::volume, true, 0, 255, 127, 127, "Volume", nullptr, "Quiet", "Loud",
     "loudness of the show's sounds", BarMaximumAtTop, 1007, 11},
};

// What the Linux settings description (rolvanta.xml) and manual page say of each setting, which
// the build writes into them (linux/settings_docs.cpp), in the order of kSettings and with its
// keys. Apart from kSettings so that the Windows saver, which carries that table whole, does not
// carry these words too.
struct SettingDocs {
    const char* key;
    const char* label;      // the XScreenSaver settings dialog's
    const char* lowText;    // its words at a bar's ends
    const char* highText;
    const char* manual;     // the manual page's: what it does, before its range and default,
    const char* manualMore;  // and what follows them (nullptr: a full stop)
};

inline constexpr SettingDocs kSettingDocs[] = {
    {"Sound", "Sound", nullptr, nullptr, "Play the engine sounds", nullptr},
    {"Blank", "Black background", nullptr, nullptr, "Blacken the screen before the rides",
     ": the rides cross whatever the window shows."},
    {"Coravendia", "Coravendia", nullptr, nullptr, "Let the Coravendia ride", nullptr},
    {"Valtorne", "Valtorne", nullptr, nullptr, "Let the Valtorne ride", ". With both models off, both ride."},
    {"Speed", "Speed", "Slow", "Fast", "How far a ride goes at each step", nullptr},
    {"Rate", "Rides", "Seldom", "Often", "How often a new ride comes", nullptr},
    {"Volume", "Volume", "Silent", "Loud", "The loudness of the show's own sounds",
     ". The system's mixer is never touched."},
};

// Every setting at its default.
SaverSettings DefaultSettings(void);

// Every setting as a Windows process holds it before its first load: a constant, so that the
// record is in place before any code runs.
constexpr SaverSettings InitialSettings(void) {
    SaverSettings settings = {};
    for (const SettingRule& setting : kSettings) {
        settings.*setting.field = setting.initial;
    }
    return settings;
}

// A stored value as the show takes it: a range's value outside it is the default, not the
// nearest bound; a flag keeps whatever was stored, since the show reads any value but 0 as on.
int32_t Repaired(int32_t value, const SettingRule& setting);

// Whether the value is one the setting offers: within the range, or 0 or 1 for a flag.
bool IsOffered(int32_t value, const SettingRule& setting);
