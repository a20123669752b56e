#include "windows/show/settings_store_win32.h"

#include "windows/resources/resource_ids.h"
#include "core/settings.h"

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

void LoadSettings(void) {
    for (const SettingSpec& setting : kSettings) {
        saverSettings.*setting.field = Repaired(ReadKey(setting.key, setting.fallback), setting);
    }
}

bool SaveSettings(void) {
    // Every key is tried, so that one refused key loses no other.
    bool written = true;
    for (const SettingSpec& setting : kSettings) {
        written = WriteKey(setting.key, saverSettings.*setting.field) && written;
    }
    return written;
}

void LoadSettingsFromStrings(HINSTANCE instance) {
    LoadStringA(instance, IDS_SETTINGS_SECTION, settingsSection, sizeof(settingsSection));
    LoadStringA(instance, IDS_SETTINGS_FILE, settingsFileName, sizeof(settingsFileName));
    LoadSettings();
}
