#include <gtest/gtest.h>

#include "assets/resource_ids.h"
#include "config/config_dialog.h"
#include "fake_platform.h"
#include "host/host.h"
#include "show/settings.h"

namespace {

const HWND kDialog = FakeHandle<HWND>(0xD1A);
const HWND kSpeedBar = FakeHandle<HWND>(0x10000 + IDC_SPEED);
const HWND kRateBar = FakeHandle<HWND>(0x10000 + IDC_RATE);
const HWND kVolumeBar = FakeHandle<HWND>(0x10000 + IDC_VOLUME);
const char kSection[] = "ScreenSaver.Rolvanta";

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcess();
        hostState.instance = fake.ownModule;
    }

    void Open() {
        EXPECT_EQ(ConfigDialogProc(kDialog, WM_INITDIALOG, 0, 0), TRUE);
        fake.calls.clear();
    }

    INT_PTR Scroll(HWND bar, UINT code, uint32_t thumb = 0) {
        fake.calls.clear();
        return ConfigDialogProc(kDialog, WM_VSCROLL, (static_cast<WPARAM>(thumb) << 16) | code,
                                reinterpret_cast<LPARAM>(bar));
    }
};

TEST_F(ConfigDialog, OpensOnTheFilesValues) {
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(fake.calls[0], "LoadStringA(0x400000,1007,40)");
    EXPECT_EQ(fake.calls[1], "LoadStringA(0x400000,1001,13)");
    std::vector<std::string> afterLoad(fake.calls.begin() + 9, fake.calls.end());
    EXPECT_EQ(afterLoad, (std::vector<std::string>{
                             "SendDlgItemMessageA(0xD1A,110,0xF1,0,0)", "SendDlgItemMessageA(0xD1A,100,0xF1,0,0)",
                             "SendDlgItemMessageA(0xD1A,111,0xF1,1,0)", "SendDlgItemMessageA(0xD1A,112,0xF1,1,0)",
                             "GetDlgItem(0xD1A,1005)", "SetScrollRange(0x103ED,2,1,15,0)", "SetScrollPos(0x103ED,2,6,1)",
                             "GetDlgItem(0xD1A,1006)", "SetScrollRange(0x103EE,2,1,40,0)", "SetScrollPos(0x103EE,2,10,1)",
                             "GetDlgItem(0xD1A,1007)", "SetScrollRange(0x103EF,2,0,255,0)",
                             "SetScrollPos(0x103EF,2,128,1)"}));

    SetUp();
    fake.profile[kSection] = {{"Sound", "9"}, {"Volume", "250"}, {"Speed", "99"}};
    ConfigDialogProc(kDialog, WM_INITDIALOG, 0, 0);
    EXPECT_EQ(fake.Count("SendDlgItemMessageA(0xD1A,110,0xF1,9,0)"), 1u) << "the value as read checks the box";
    EXPECT_EQ(fake.Count("SetScrollPos(0x103EF,2,5,1)"), 1u);
    EXPECT_EQ(fake.Count("SetScrollPos(0x103ED,2,6,1)"), 1u) << "repaired on load";
}

struct ScrollCase {
    const char* name;
    const char* key;
    const char* stored;
    HWND bar;
    UINT code;
    uint32_t thumb;
    int32_t SaverSettings::*field;
    int32_t value;     // the setting afterwards
    int32_t position;  // the position set on the bar
};

class ScrollArithmetic : public ConfigDialog, public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(ScrollArithmetic, MovesAndClamps) {
    const ScrollCase& c = GetParam();
    fake.profile[kSection][c.key] = c.stored;
    Open();
    EXPECT_EQ(Scroll(c.bar, c.code, c.thumb), FALSE) << c.name;
    EXPECT_EQ(saverSettings.*(c.field), c.value) << c.name;
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetScrollPos(" + Hex(c.bar) + ",2," + std::to_string(c.position) +
                                                   ",1)"})
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Bars, ScrollArithmetic,
    ::testing::Values(
        ScrollCase{"speed line down at the top", "Speed", "15", kSpeedBar, SB_LINEDOWN, 0, &SaverSettings::speed, 15, 15},
        ScrollCase{"speed line up", "Speed", "6", kSpeedBar, SB_LINEUP, 0, &SaverSettings::speed, 5, 5},
        ScrollCase{"speed page up clamps", "Speed", "2", kSpeedBar, SB_PAGEUP, 0, &SaverSettings::speed, 1, 1},
        ScrollCase{"speed page down", "Speed", "6", kSpeedBar, SB_PAGEDOWN, 0, &SaverSettings::speed, 10, 10},
        ScrollCase{"speed thumb past the end", "Speed", "6", kSpeedBar, SB_THUMBPOSITION, 300, &SaverSettings::speed, 15, 15},
        ScrollCase{"speed thumb", "Speed", "6", kSpeedBar, SB_THUMBPOSITION, 3, &SaverSettings::speed, 3, 3},
        ScrollCase{"speed thumb at 65535", "Speed", "6", kSpeedBar, SB_THUMBPOSITION, 65535, &SaverSettings::speed, 15, 15},
        ScrollCase{"speed unknown code", "Speed", "7", kSpeedBar, 9, 0, &SaverSettings::speed, 7, 7},
        ScrollCase{"rate page down clamps", "Rate", "38", kRateBar, SB_PAGEDOWN, 0, &SaverSettings::rate, 40, 40},
        ScrollCase{"rate top", "Rate", "10", kRateBar, SB_TOP, 0, &SaverSettings::rate, 40, 40},
        ScrollCase{"rate bottom", "Rate", "10", kRateBar, SB_BOTTOM, 0, &SaverSettings::rate, 1, 1},
        ScrollCase{"rate thumb zero clamps", "Rate", "10", kRateBar, SB_THUMBPOSITION, 0, &SaverSettings::rate, 1, 1},
        ScrollCase{"volume page up", "Volume", "127", kVolumeBar, SB_PAGEUP, 0, &SaverSettings::volume, 138, 117},
        ScrollCase{"volume page up clamps", "Volume", "250", kVolumeBar, SB_PAGEUP, 0, &SaverSettings::volume, 255, 0},
        ScrollCase{"volume line down at the end", "Volume", "0", kVolumeBar, SB_LINEDOWN, 0, &SaverSettings::volume, 0, 255},
        ScrollCase{"volume page down", "Volume", "127", kVolumeBar, SB_PAGEDOWN, 0, &SaverSettings::volume, 116, 139},
        ScrollCase{"volume top is quiet", "Volume", "127", kVolumeBar, SB_TOP, 0, &SaverSettings::volume, 0, 255},
        ScrollCase{"volume bottom is loud", "Volume", "127", kVolumeBar, SB_BOTTOM, 0, &SaverSettings::volume, 255, 0},
        ScrollCase{"volume thumb", "Volume", "127", kVolumeBar, SB_THUMBPOSITION, 55, &SaverSettings::volume, 200, 55},
        ScrollCase{"volume thumb past the end", "Volume", "127", kVolumeBar, SB_THUMBPOSITION, 999, &SaverSettings::volume, 0, 255},
        ScrollCase{"volume unknown code", "Volume", "127", kVolumeBar, 12, 0, &SaverSettings::volume, 127, 128}),
    [](const ::testing::TestParamInfo<ScrollCase>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST_F(ConfigDialog, ThumbTrackingAndEndOfScrollChangeNothing) {
    Open();
    for (HWND bar : {kSpeedBar, kRateBar, kVolumeBar}) {
        for (UINT code : {SB_THUMBTRACK, SB_ENDSCROLL}) {
            EXPECT_EQ(Scroll(bar, code, 3), TRUE);
            EXPECT_TRUE(fake.calls.empty());
        }
    }
    EXPECT_EQ(saverSettings.speed, 6);
    EXPECT_EQ(saverSettings.rate, 10);
    EXPECT_EQ(saverSettings.volume, 127);
}

TEST_F(ConfigDialog, ScrollFromAnotherControlIsIgnored) {
    Open();
    EXPECT_EQ(Scroll(FakeHandle<HWND>(0x999), SB_LINEDOWN), FALSE);
    EXPECT_EQ(Scroll(nullptr, SB_LINEDOWN), FALSE);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(saverSettings.speed, 6);
}

TEST_F(ConfigDialog, OkCopiesTheBoxesSavesEverythingAndEndsWithOne) {
    fake.profile[kSection] = {{"Sound", "5"}, {"Speed", "9"}};
    Open();
    Scroll(kRateBar, SB_LINEDOWN);
    fake.checkedButtons = {{IDC_SOUND, 0}, {IDC_BLANK, 1}, {IDC_CORAVENDIA, 1}, {IDC_VALTORNE, 0}};
    fake.calls.clear();
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_COMMAND, IDOK, 0), TRUE);
    EXPECT_EQ(fake.Calls("IsDlgButtonChecked"),
              (std::vector<std::string>{"IsDlgButtonChecked(0xD1A,110)", "IsDlgButtonChecked(0xD1A,100)",
                                        "IsDlgButtonChecked(0xD1A,111)", "IsDlgButtonChecked(0xD1A,112)"}));
    EXPECT_EQ(fake.Count("WritePrivateProfileStringA"), 7u);
    EXPECT_LT(fake.IndexOf("WritePrivateProfileStringA"), fake.IndexOf("EndDialog"));
    EXPECT_EQ(fake.calls.back(), "EndDialog(0xD1A,1)");
    std::map<std::string, std::string> expected = {{"Sound", "0"}, {"Blank", "1"}, {"Coravendia", "1"}, {"Valtorne", "0"},
                                                   {"Speed", "9"}, {"Rate", "11"},  {"Volume", "127"}};
    EXPECT_EQ(fake.profile[kSection], expected);
}

TEST_F(ConfigDialog, CancelWritesNothingAndEndsWithZero) {
    Open();
    Scroll(kSpeedBar, SB_PAGEDOWN);
    fake.calls.clear();
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_COMMAND, IDCANCEL, 0), TRUE);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"EndDialog(0xD1A,0)"});
    EXPECT_TRUE(fake.profile.empty());
    Open();
    EXPECT_EQ(saverSettings.speed, 6) << "reopening starts from the file";
}

TEST_F(ConfigDialog, OtherCommandsAndMessagesAreLeftToTheDialogManager) {
    Open();
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_COMMAND, (1u << 16) | IDOK, 0), FALSE) << "a notification is not OK";
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_COMMAND, IDC_SOUND, 0), FALSE);
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(ConfigDialogProc(kDialog, WM_CLOSE, 0, 0), FALSE);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(ConfigDialogClassHook(fake.ownModule), TRUE);
}

}  // namespace
