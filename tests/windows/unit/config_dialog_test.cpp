#include <gtest/gtest.h>

#include "windows/resources/resource_ids.h"
#include "windows/dialog/config_dialog.h"
#include "fake_platform.h"
#include "windows/host/host.h"
#include "core/settings.h"

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
        settings = SaverSettings();
    }

    SaverSettings settings;
    ConfigDialogContext context = {fake.ownModule, &settings, &hostState.store};

    LPARAM Context() { return reinterpret_cast<LPARAM>(&context); }

    void Open() {
        EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_INITDIALOG, 0, Context()), TRUE);
        fake.calls.clear();
    }

    INT_PTR Scroll(HWND bar, UINT code, uint32_t thumb = 0) {
        fake.calls.clear();
        return ConfigDialogProc(hostState.dialog, kDialog, WM_VSCROLL, (static_cast<WPARAM>(thumb) << 16) | code,
                                reinterpret_cast<LPARAM>(bar));
    }
};

TEST_F(ConfigDialog, OpensOnTheFilesValues) {
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_INITDIALOG, 0, Context()), TRUE);
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
    ConfigDialogProc(hostState.dialog, kDialog, WM_INITDIALOG, 0, Context());
    EXPECT_EQ(fake.Count("SendDlgItemMessageA(0xD1A,110,0xF1,9,0)"), 1u) << "the value as read checks the box";
    EXPECT_EQ(fake.Count("SetScrollPos(0x103EF,2,5,1)"), 1u);
    EXPECT_EQ(fake.Count("SetScrollPos(0x103ED,2,6,1)"), 1u) << "repaired on load";
}

// The scroll arithmetic alone: a bar's new position for a code, kept within its range.
struct ScrollCase {
    const char* name;
    int32_t position;
    UINT code;
    uint32_t thumb;
    int32_t minimum;
    int32_t maximum;
    int32_t page;
    int moves;       // 0: the code leaves the bar alone
    int32_t result;  // the new position
};

class ScrollArithmetic : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(ScrollArithmetic, MovesAndClamps) {
    const ScrollCase& c = GetParam();
    int32_t result = -12345;
    EXPECT_EQ(ScrolledPosition(c.position, c.code, c.thumb, c.minimum, c.maximum, c.page, &result), c.moves);
    if (c.moves) {
        EXPECT_EQ(result, c.result);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bars, ScrollArithmetic,
    ::testing::Values(
        ScrollCase{"line down at the top", 15, SB_LINEDOWN, 0, 1, 15, 4, 1, 15},
        ScrollCase{"line up", 6, SB_LINEUP, 0, 1, 15, 4, 1, 5},
        ScrollCase{"page up clamps", 2, SB_PAGEUP, 0, 1, 15, 4, 1, 1},
        ScrollCase{"page down", 6, SB_PAGEDOWN, 0, 1, 15, 4, 1, 10},
        ScrollCase{"page down clamps", 38, SB_PAGEDOWN, 0, 1, 40, 4, 1, 40},
        ScrollCase{"thumb", 6, SB_THUMBPOSITION, 3, 1, 15, 4, 1, 3},
        ScrollCase{"thumb past the end", 6, SB_THUMBPOSITION, 300, 1, 15, 4, 1, 15},
        ScrollCase{"thumb at 65535", 6, SB_THUMBPOSITION, 65535, 1, 15, 4, 1, 15},
        ScrollCase{"thumb zero clamps", 10, SB_THUMBPOSITION, 0, 1, 40, 4, 1, 1},
        ScrollCase{"top is the maximum", 10, SB_TOP, 0, 1, 40, 4, 1, 40},
        ScrollCase{"bottom is the minimum", 10, SB_BOTTOM, 0, 1, 40, 4, 1, 1},
        ScrollCase{"unknown code keeps the place", 7, 9, 0, 1, 15, 4, 1, 7},
        ScrollCase{"a place outside the range is brought in", 99, 12, 0, 1, 15, 4, 1, 15},
        ScrollCase{"volume page up", 128, SB_PAGEUP, 0, 0, 255, 11, 1, 117},
        ScrollCase{"volume page down clamps", 250, SB_PAGEDOWN, 0, 0, 255, 11, 1, 255},
        ScrollCase{"volume line up at the end", 0, SB_LINEUP, 0, 0, 255, 11, 1, 0},
        ScrollCase{"thumb tracking", 6, SB_THUMBTRACK, 3, 1, 15, 4, 0, 0},
        ScrollCase{"end of scrolling", 6, SB_ENDSCROLL, 3, 1, 15, 4, 0, 0}),
    [](const ::testing::TestParamInfo<ScrollCase>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

// Each bar moves its own setting and shows it; the volume bar runs from loud at the top.
TEST_F(ConfigDialog, EachBarMovesItsSettingAndShowsTheNewPlace) {
    fake.profile[kSection] = {{"Speed", "6"}, {"Rate", "10"}, {"Volume", "127"}};
    Open();
    EXPECT_EQ(Scroll(kSpeedBar, SB_PAGEDOWN), FALSE);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetScrollPos(0x103ED,2,10,1)"});
    EXPECT_EQ(Scroll(kRateBar, SB_TOP), FALSE);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetScrollPos(0x103EE,2,40,1)"});
    EXPECT_EQ(Scroll(kVolumeBar, SB_PAGEUP), FALSE);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetScrollPos(0x103EF,2,117,1)"});
    EXPECT_EQ(Scroll(kVolumeBar, SB_THUMBPOSITION, 55), FALSE);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetScrollPos(0x103EF,2,55,1)"});
    EXPECT_EQ(settings.speed, 10);
    EXPECT_EQ(settings.rate, 40);
    EXPECT_EQ(settings.volume, 200);
}

TEST_F(ConfigDialog, ThumbTrackingAndEndOfScrollChangeNothing) {
    Open();
    for (HWND bar : {kSpeedBar, kRateBar, kVolumeBar}) {
        for (UINT code : {SB_THUMBTRACK, SB_ENDSCROLL}) {
            EXPECT_EQ(Scroll(bar, code, 3), TRUE);
            EXPECT_TRUE(fake.calls.empty());
        }
    }
    EXPECT_EQ(settings.speed, 6);
    EXPECT_EQ(settings.rate, 10);
    EXPECT_EQ(settings.volume, 127);
}

TEST_F(ConfigDialog, ScrollFromAnotherControlIsIgnored) {
    Open();
    EXPECT_EQ(Scroll(FakeHandle<HWND>(0x999), SB_LINEDOWN), FALSE);
    EXPECT_EQ(Scroll(nullptr, SB_LINEDOWN), FALSE);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(settings.speed, 6);
}

TEST_F(ConfigDialog, OkCopiesTheBoxesSavesEverythingAndEndsWithOne) {
    fake.profile[kSection] = {{"Sound", "5"}, {"Speed", "9"}};
    Open();
    Scroll(kRateBar, SB_LINEDOWN);
    fake.checkedButtons = {{IDC_SOUND, 0}, {IDC_BLANK, 1}, {IDC_CORAVENDIA, 1}, {IDC_VALTORNE, 0}};
    fake.calls.clear();
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_COMMAND, IDOK, 0), TRUE);
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
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_COMMAND, IDCANCEL, 0), TRUE);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"EndDialog(0xD1A,0)"});
    EXPECT_TRUE(fake.profile.empty());
    Open();
    EXPECT_EQ(settings.speed, 6) << "reopening starts from the file";
}

TEST_F(ConfigDialog, OtherCommandsAndMessagesAreLeftToTheDialogManager) {
    Open();
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_COMMAND, (1u << 16) | IDOK, 0), FALSE) << "a notification is not OK";
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_COMMAND, IDC_SOUND, 0), FALSE);
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(ConfigDialogProc(hostState.dialog, kDialog, WM_CLOSE, 0, 0), FALSE);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(ConfigDialogClassHook(fake.ownModule), TRUE);
}

}  // namespace
