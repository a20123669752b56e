// The settings' home on Windows: section "ScreenSaver.Rolvanta" of the per-user "control.ini",
// read and written through the platform's profile calls.
#pragma once

#include "core/settings.h"
#include "windows/platform/winapi.h"

// Where the settings are kept, filled from the string table (section name 1007, file name 1001)
// before each load.
struct SettingsStore {
    char section[40] = "ScreenSaver.Rolvanta";
    char fileName[13] = "";
};

// Reads the seven keys into settings, putting a key's default in place of a value out of range.
void LoadSettings(const SettingsStore& store, SaverSettings& settings);
// Writes the seven fields as they stand, one key at a time; false when the file refused any.
bool SaveSettings(const SettingsStore& store, const SaverSettings& settings);
// Fetches the section and file names from the module's strings, then loads.
void LoadSettingsFromStrings(SettingsStore& store, HINSTANCE instance, SaverSettings& settings);
