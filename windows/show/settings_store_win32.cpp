#include "windows/show/settings_store_win32.h"

#include "windows/resources/resource_ids.h"

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

void LoadSettings(SaverSettings& settings) {
    settings.sound = ReadFlag(kSoundFlag);
    settings.blankScreen = ReadFlag(kBlankFlag);
    settings.rideCoravendia = ReadFlag(kCoravendiaFlag);
    settings.rideValtorne = ReadFlag(kValtorneFlag);
    settings.speed = ReadRanged(kSpeedRange);
    settings.rate = ReadRanged(kRateRange);
    settings.volume = ReadRanged(kVolumeRange);
}

bool SaveSettings(const SaverSettings& settings) {
    // Every key is tried, so that one refused key loses no other.
    bool written = WriteKey(kSoundFlag.key, settings.sound);
    written = WriteKey(kBlankFlag.key, settings.blankScreen) && written;
    written = WriteKey(kCoravendiaFlag.key, settings.rideCoravendia) && written;
    written = WriteKey(kValtorneFlag.key, settings.rideValtorne) && written;
    written = WriteKey(kSpeedRange.key, settings.speed) && written;
    written = WriteKey(kRateRange.key, settings.rate) && written;
    written = WriteKey(kVolumeRange.key, settings.volume) && written;
    return written;
}

void LoadSettingsFromStrings(HINSTANCE instance, SaverSettings& settings) {
    LoadStringA(instance, IDS_SETTINGS_SECTION, settingsSection, sizeof(settingsSection));
    LoadStringA(instance, IDS_SETTINGS_FILE, settingsFileName, sizeof(settingsFileName));
    LoadSettings(settings);
}
