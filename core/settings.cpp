#include "core/settings.h"

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
