#include <gtest/gtest.h>

#include "fake_platform.h"
#include "core/settings.h"
#include "windows/show/settings_store_win32.h"

namespace {

const char kSection[] = "ScreenSaver.Rolvanta";

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcess();
        strcpy(hostState.store.fileName, "control.ini");
    }

    void Stored(const char* key, const char* text) { fake.profile[kSection][key] = text; }

    SaverSettings settings = {};
};

TEST_F(Settings, MissingFileGivesTheDefaults) {
    LoadSettings(hostState.store, settings);
    EXPECT_EQ(settings.sound, 0);
    EXPECT_EQ(settings.blankScreen, 0);
    EXPECT_EQ(settings.rideCoravendia, 1);
    EXPECT_EQ(settings.rideValtorne, 1);
    EXPECT_EQ(settings.speed, 6);
    EXPECT_EQ(settings.rate, 10);
    EXPECT_EQ(settings.volume, 127);
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Sound\",0,\"control.ini\")",
                                        "GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Blank\",0,\"control.ini\")",
                                        "GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Coravendia\",1,\"control.ini\")",
                                        "GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Valtorne\",1,\"control.ini\")",
                                        "GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Speed\",6,\"control.ini\")",
                                        "GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Rate\",10,\"control.ini\")",
                                        "GetPrivateProfileIntA(\"ScreenSaver.Rolvanta\",\"Volume\",127,\"control.ini\")"}));
}

struct RepairCase {
    const char* key;
    const char* text;
    int32_t SaverSettings::*field;
    int32_t loaded;
};

class SettingsRepair : public Settings, public ::testing::WithParamInterface<RepairCase> {};

TEST_P(SettingsRepair, OutOfRangeTakesTheKeysDefaultNotTheNearestBound) {
    const RepairCase& c = GetParam();
    Stored(c.key, c.text);
    LoadSettings(hostState.store, settings);
    EXPECT_EQ(settings.*(c.field), c.loaded) << c.key << "=" << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, SettingsRepair,
    ::testing::Values(RepairCase{"Speed", "0", &SaverSettings::speed, 6}, RepairCase{"Speed", "16", &SaverSettings::speed, 6},
                      RepairCase{"Speed", "-3", &SaverSettings::speed, 6}, RepairCase{"Speed", "1", &SaverSettings::speed, 1},
                      RepairCase{"Speed", "15", &SaverSettings::speed, 15}, RepairCase{"Rate", "0", &SaverSettings::rate, 10},
                      RepairCase{"Rate", "41", &SaverSettings::rate, 10}, RepairCase{"Rate", "1", &SaverSettings::rate, 1},
                      RepairCase{"Rate", "40", &SaverSettings::rate, 40},
                      RepairCase{"Volume", "-1", &SaverSettings::volume, 127},
                      RepairCase{"Volume", "256", &SaverSettings::volume, 127},
                      RepairCase{"Volume", "0", &SaverSettings::volume, 0},
                      RepairCase{"Volume", "255", &SaverSettings::volume, 255},
                      RepairCase{"Volume", "-2147483648", &SaverSettings::volume, 127},
                      RepairCase{"Sound", "7", &SaverSettings::sound, 7},
                      RepairCase{"Blank", "-9", &SaverSettings::blankScreen, -9},
                      RepairCase{"Valtorne", "0", &SaverSettings::rideValtorne, 0}));

TEST_F(Settings, OneKeyPresentLeavesTheOthersAtTheirDefaults) {
    Stored("Speed", "12");
    fake.profile["Other"]["Rate"] = "30";
    LoadSettings(hostState.store, settings);
    EXPECT_EQ(settings.speed, 12);
    EXPECT_EQ(settings.rate, 10);
    EXPECT_EQ(settings.volume, 127);
    EXPECT_EQ(fake.Count("WritePrivateProfileStringA"), 0u) << "loading never writes";
}

TEST_F(Settings, SaveWritesAllSevenKeysInOrderAsDecimalText) {
    settings = {0, 0, 1, 1, 6, 10, 127};
    SaveSettings(hostState.store, settings);
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Sound\",\"0\",\"control.ini\")",
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Blank\",\"0\",\"control.ini\")",
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Coravendia\",\"1\",\"control.ini\")",
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Valtorne\",\"1\",\"control.ini\")",
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Speed\",\"6\",\"control.ini\")",
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Rate\",\"10\",\"control.ini\")",
                  "WritePrivateProfileStringA(\"ScreenSaver.Rolvanta\",\"Volume\",\"127\",\"control.ini\")"}));

    settings = {INT32_MIN, -1, 2147483647, 0, 15, 40, 0};
    SaveSettings(hostState.store, settings);
    EXPECT_EQ(fake.profile[kSection]["Sound"], "-2147483648");
    EXPECT_EQ(fake.profile[kSection]["Blank"], "-1");
    EXPECT_EQ(fake.profile[kSection]["Coravendia"], "2147483647");
}

TEST_F(Settings, NamesComeFromTheStringTableBeforeTheLoad) {
    hostState.store.fileName[0] = '\0';
    LoadSettingsFromStrings(hostState.store, fake.ownModule, settings);
    EXPECT_EQ(fake.calls[0], "LoadStringA(0x400000,1007,40)");
    EXPECT_EQ(fake.calls[1], "LoadStringA(0x400000,1001,13)");
    EXPECT_STREQ(hostState.store.section, "ScreenSaver.Rolvanta");
    EXPECT_STREQ(hostState.store.fileName, "control.ini");
    EXPECT_EQ(fake.Count("GetPrivateProfileIntA"), 7u);
}

TEST_F(Settings, SectionNameIsInPlaceBeforeAnyStringIsFetched) {
    EXPECT_STREQ(hostState.store.section, "ScreenSaver.Rolvanta");
    EXPECT_EQ(sizeof(hostState.store.section), 40u);
    EXPECT_EQ(sizeof(hostState.store.fileName), 13u);
}

}  // namespace
