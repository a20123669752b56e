#include "windows/show/settings_store_win32.h"

#include "windows/resources/resource_ids.h"

char settingsSection[40] = "ScreenSaver.Rolvanta";
char settingsFileName[13] = "";

namespace {

int32_t ReadKey(const char* key, int32_t fallback) {
    return static_cast<int32_t>(GetPrivateProfileIntA(settingsSection, key, fallback, settingsFileName));
}

bool WriteKey(const char* key, int32_t value) {
    char text[20];
    wsprintfA(text, "%ld", static_cast<LONG>(value));
    return WritePrivateProfileStringA(settingsSection, key, text, settingsFileName) != FALSE;
}

}  // namespace

void LoadSettings(SaverSettings& settings) {
    for (const SettingRule& setting : kSettings) {
        settings.*setting.field = Repaired(ReadKey(setting.key, setting.fallback), setting);
    }
}

bool SaveSettings(const SaverSettings& settings) {
    // Every key is tried, so that one refused key loses no other.
    bool written = true;
    for (const SettingRule& setting : kSettings) {
        written = WriteKey(setting.key, settings.*setting.field) && written;
    }
    return written;
}

void LoadSettingsFromStrings(HINSTANCE instance, SaverSettings& settings) {
    LoadStringA(instance, IDS_SETTINGS_SECTION, settingsSection, sizeof(settingsSection));
    LoadStringA(instance, IDS_SETTINGS_FILE, settingsFileName, sizeof(settingsFileName));
    LoadSettings(settings);
}
