#include "show/settings.h"

#include "assets/resource_ids.h"
#include "host/host.h"

SaverSettings saverSettings = {1, 1, 1, 1, 6, 10, 127};
const SaverSettings initialSaverSettings = {1, 1, 1, 1, 6, 10, 127};

char settingsSection[40] = "ScreenSaver.Rolvanta";
char settingsFileName[13] = "";

namespace {

int32_t ReadKey(const char* key, int32_t fallback) {
    return static_cast<int32_t>(GetPrivateProfileIntA(settingsSection, key, fallback, settingsFileName));
}

int32_t Repaired(int32_t value, int32_t minimum, int32_t maximum, int32_t fallback) {
    return (value > maximum || value < minimum) ? fallback : value;
}

void WriteKey(const char* key, int32_t value) {
    char text[20];
    wsprintfA(text, "%ld", static_cast<LONG>(value));
    WritePrivateProfileStringA(settingsSection, key, text, settingsFileName);
}

}  // namespace

void LoadSettings(void) {
    saverSettings.sound = ReadKey("Sound", 0);
    saverSettings.blankScreen = ReadKey("Blank", 0);
    saverSettings.rideCoravendia = ReadKey("Coravendia", 1);
    saverSettings.rideValtorne = ReadKey("Valtorne", 1);
    saverSettings.speed = Repaired(ReadKey("Speed", 6), 1, 15, 6);
    saverSettings.rate = Repaired(ReadKey("Rate", 10), 1, 40, 10);
    saverSettings.volume = Repaired(ReadKey("Volume", 127), 0, 255, 127);
}

void SaveSettings(void) {
    WriteKey("Sound", saverSettings.sound);
    WriteKey("Blank", saverSettings.blankScreen);
    WriteKey("Coravendia", saverSettings.rideCoravendia);
    WriteKey("Valtorne", saverSettings.rideValtorne);
    WriteKey("Speed", saverSettings.speed);
    WriteKey("Rate", saverSettings.rate);
    WriteKey("Volume", saverSettings.volume);
}

void LoadSettingsFromStrings(void) {
    LoadStringA(hostState.instance, IDS_SETTINGS_SECTION, settingsSection, sizeof(settingsSection));
    LoadStringA(hostState.instance, IDS_SETTINGS_FILE, settingsFileName, sizeof(settingsFileName));
    LoadSettings();
}
