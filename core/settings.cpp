#include "core/settings.h"

const SettingRange kSpeedRange = {"Speed", 1, 15, 6};
const SettingRange kRateRange = {"Rate", 1, 40, 10};
const SettingRange kVolumeRange = {"Volume", 0, 255, 127};

const SettingFlag kSoundFlag = {"Sound", 0};
const SettingFlag kBlankFlag = {"Blank", 0};
const SettingFlag kCoravendiaFlag = {"Coravendia", 1};
const SettingFlag kValtorneFlag = {"Valtorne", 1};

int32_t Repaired(int32_t value, const SettingRange& range) {
    return (value > range.maximum || value < range.minimum) ? range.fallback : value;
}
