#include "core/settings.h"

const SettingRule kSettings[SettingCount] = {
    {"Sound", &SaverSettings::sound, false, 0, 1, 0},
    {"Blank", &SaverSettings::blankScreen, false, 0, 1, 0},
    {"Coravendia", &SaverSettings::rideCoravendia, false, 0, 1, 1},
    {"Valtorne", &SaverSettings::rideValtorne, false, 0, 1, 1},
    {"Speed", &SaverSettings::speed, true, 1, 15, 6},
    {"Rate", &SaverSettings::rate, true, 1, 40, 10},
    {"Volume", &SaverSettings::volume, true, 0, 255, 127},
};

SaverSettings DefaultSettings(void) {
    SaverSettings settings;
    for (const SettingRule& setting : kSettings) {
        settings.*setting.field = setting.fallback;
    }
    return settings;
}

bool IsOffered(int32_t value, const SettingRule& setting) {
    return value >= setting.minimum && value <= setting.maximum;
}

int32_t Repaired(int32_t value, const SettingRule& setting) {
    return !setting.ranged || IsOffered(value, setting) ? value : setting.fallback;
}
