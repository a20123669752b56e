#include "windows/show/settings_store_win32.h"

#include "windows/resources/resource_ids.h"
#include "core/settings.h"

char settingsSection[40] = "ScreenSaver.Rolvanta";
char settingsFileName[13] = "";

namespace {

int32_t ReadKey(const char* key, int32_t fallback) {
    return static_cast<int32_t>(GetPrivateProfileIntA(settingsSection, key, fallback, settingsFileName));
}

int32_t ReadFlag(const SettingFlag& flag) {
    return ReadKey(flag.key, flag.fallback);
}

int32_t ReadRanged(const SettingRange& range) {
    return Repaired(ReadKey(range.key, range.fallback), range);
}

bool WriteKey(const char* key, int32_t value) {
    char text[20];
    wsprintfA(text, "%ld", static_cast<LONG>(value));
    return WritePrivateProfileStringA(settingsSection, key, text, settingsFileName) != FALSE;
}

}  // namespace

void LoadSettings(void) {
    saverSettings.sound = ReadFlag(kSoundFlag);
    saverSettings.blankScreen = ReadFlag(kBlankFlag);
    saverSettings.rideCoravendia = ReadFlag(kCoravendiaFlag);
    saverSettings.rideValtorne = ReadFlag(kValtorneFlag);
    saverSettings.speed = ReadRanged(kSpeedRange);
    saverSettings.rate = ReadRanged(kRateRange);
    saverSettings.volume = ReadRanged(kVolumeRange);
}

bool SaveSettings(void) {
    // Every key is tried, so that one refused key loses no other.
    bool written = WriteKey(kSoundFlag.key, saverSettings.sound);
    written = WriteKey(kBlankFlag.key, saverSettings.blankScreen) && written;
    written = WriteKey(kCoravendiaFlag.key, saverSettings.rideCoravendia) && written;
    written = WriteKey(kValtorneFlag.key, saverSettings.rideValtorne) && written;
    written = WriteKey(kSpeedRange.key, saverSettings.speed) && written;
    written = WriteKey(kRateRange.key, saverSettings.rate) && written;
    written = WriteKey(kVolumeRange.key, saverSettings.volume) && written;
    return written;
}

void LoadSettingsFromStrings(HINSTANCE instance) {
    LoadStringA(instance, IDS_SETTINGS_SECTION, settingsSection, sizeof(settingsSection));
    LoadStringA(instance, IDS_SETTINGS_FILE, settingsFileName, sizeof(settingsFileName));
    LoadSettings();
}
