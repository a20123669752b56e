#include "windows/show/settings_store_win32.h"

#include "windows/resources/resource_ids.h"

namespace {

int32_t ReadKey(const SettingsStore& store, const char* key, int32_t fallback) {
    return static_cast<int32_t>(GetPrivateProfileIntA(store.section, key, fallback, store.fileName));
}

bool WriteKey(const SettingsStore& store, const char* key, int32_t value) {
    char text[20];
    wsprintfA(text, "%ld", static_cast<LONG>(value));
    return WritePrivateProfileStringA(store.section, key, text, store.fileName) != FALSE;
}

}  // namespace

void LoadSettings(const SettingsStore& store, SaverSettings& settings) {
    for (const SettingRule& setting : kSettings) {
        settings.*setting.field = Repaired(ReadKey(store, setting.key, setting.fallback), setting);
    }
}

bool SaveSettings(const SettingsStore& store, const SaverSettings& settings) {
    // Every key is tried, so that one refused key loses no other.
    bool written = true;
    for (const SettingRule& setting : kSettings) {
        written = WriteKey(store, setting.key, settings.*setting.field) && written;
    }
    return written;
}

void LoadSettingsFromStrings(SettingsStore& store, HINSTANCE instance, SaverSettings& settings) {
    LoadStringA(instance, IDS_SETTINGS_SECTION, store.section, sizeof(store.section));
    LoadStringA(instance, IDS_SETTINGS_FILE, store.fileName, sizeof(store.fileName));
    LoadSettings(store, settings);
}
