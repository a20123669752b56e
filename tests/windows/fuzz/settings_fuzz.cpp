// Settings repair over arbitrary profile values: whatever the settings file makes the
// platform read (any 32-bit value, or a missing key), a load leaves speed, rate and volume
// within their ranges, keeps a value that was in range, keeps the four flags as read, and
// the save that follows writes back exactly what the load left.
//
// Input: the profile (see ProfileFromInput), then 28 bytes that fill the settings record
// before the load, since a load must overwrite whatever the record held.
#include <cstdint>
#include <cstring>
#include <string>

#include "profile_stand_ins.h"
#include "core/settings.h"
#include "windows/show/settings_store_win32.h"

namespace {

int32_t* Field(SaverSettings& settings, size_t index) {
    int32_t* fields[7] = {&settings.sound, &settings.blankScreen, &settings.rideCoravendia, &settings.rideValtorne,
                          &settings.speed, &settings.rate,        &settings.volume};
    return fields[index];
}

struct Range {
    int32_t minimum;
    int32_t maximum;
};

// Speed, rate and volume have ranges; the four flags take any value.
bool RangeOf(size_t index, Range* range) {
    static const Range kRanges[3] = {{1, 15}, {1, 40}, {0, 255}};
    if (index < 4) {
        return false;
    }
    *range = kRanges[index - 4];
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetStandIns();
    InputReader input(data, size);
    ProfileFromInput(input);
    SaverSettings saverSettings;
    SettingsStore store;
    for (size_t i = 0; i < 7; ++i) {
        *Field(saverSettings, i) = static_cast<int32_t>(input.Word32());
    }

    LoadSettingsFromStrings(store, nullptr, saverSettings);

    Require(standIns.writes.empty(), "a load never writes");
    Require(standIns.reads.size() == 7, "a load reads each key once");
    for (size_t i = 0; i < 7; ++i) {
        const SettingsKey& key = kSettingsKeys[i];
        const ProfileRead& read = standIns.reads[i];
        Require(read.key == key.name, "keys are read in their order");
        Require(read.fallback == key.fallback, "each key is read with its default");
        Require(read.section == "ScreenSaver.Rolvanta", "the section comes from the strings");
        Require(read.file == "control.ini", "the file comes from the strings");

        auto present = standIns.profile.find(key.name);
        int32_t raw = present != standIns.profile.end() ? static_cast<int32_t>(present->second) : key.fallback;
        int32_t loaded = *Field(saverSettings, i);
        Range range;
        if (!RangeOf(i, &range)) {
            Require(loaded == raw, "a flag keeps the value read");
        } else {
            Require(loaded >= range.minimum && loaded <= range.maximum, "a ranged setting lies in its range");
            bool inRange = raw >= range.minimum && raw <= range.maximum;
            Require(loaded == (inRange ? raw : key.fallback), "in range kept, out of range replaced by the default");
        }
    }

    SaverSettings loaded = saverSettings;
    SaveSettings(store, saverSettings);
    Require(standIns.writes.size() == 7, "a save writes every key");
    for (size_t i = 0; i < 7; ++i) {
        const ProfileWrite& write = standIns.writes[i];
        Require(write.key == kSettingsKeys[i].name, "keys are written in their order");
        Require(write.section == "ScreenSaver.Rolvanta" && write.file == "control.ini", "written to the settings");
        Require(write.text == std::to_string(*Field(loaded, i)), "the text is the field in decimal");
    }
    Require(std::memcmp(&loaded, &saverSettings, sizeof(loaded)) == 0, "a save changes nothing in memory");
    return 0;
}
