// The seven settings the user chooses, and their home in the per-user settings file.
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

extern SaverSettings saverSettings;
extern const SaverSettings initialSaverSettings;

// Filled from the string table (section name 1007, file name 1001) before each load.
extern char settingsSection[40];
extern char settingsFileName[13];

// Reads the seven keys, putting a key's default in place of a value out of range.
void LoadSettings(void);
// Writes the seven fields as they stand, one key at a time.
void SaveSettings(void);
// Fetches the section and file names from the program's strings, then loads.
void LoadSettingsFromStrings(void);
