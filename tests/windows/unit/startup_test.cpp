#include <gtest/gtest.h>

#include "fake_platform.h"
#include "windows/host/host.h"
#include "windows/platform/clock_seconds.h"

namespace {

const HWND kPane = FakeHandle<HWND>(0x777);

class Startup : public ::testing::Test {
protected:
    void SetUp() override { ResetProcess(); }

    int32_t Start(const char* commandLine) {
        fake.commandLine = commandLine;
        RunUntilExit([] { HostStart(hostState); });
        std::vector<std::string> exits = fake.Calls("ExitProcess(");
        EXPECT_EQ(exits.size(), 1u);
        return exits.empty() ? 12345 : std::stoi(exits[0].substr(12));
    }

    void OnWin9x() { fake.platformId = VER_PLATFORM_WIN32_WINDOWS; }
};

TEST_F(Startup, RecordsInstanceAndPlatformBeforeTheSwitchIsRead) {
    EXPECT_EQ(Start("rolvanta.scr /x"), -1);
    EXPECT_EQ(hostState.instance, fake.ownModule);
    EXPECT_EQ(hostState.isWin9x, 0u);
    EXPECT_EQ(fake.Count("GetVersionExA(148)"), 1u);

    ResetProcess();
    OnWin9x();
    Start("rolvanta.scr /x");
    EXPECT_EQ(hostState.isWin9x, 1u);

    ResetProcess();
    OnWin9x();
    fake.versionResult = FALSE;
    Start("rolvanta.scr /x");
    EXPECT_EQ(hostState.isWin9x, 0u) << "a failed version query is not Windows 9x";
}

TEST_F(Startup, UnusableCommandLinesEndWithMinusOneAndShowNothing) {
    for (const char* line : {"s.scr /x", "s.scr /\ts", "s.scr 7", "s.scr /a 5", " 1.scr"}) {
        ResetProcess();
        EXPECT_EQ(Start(line), -1) << line;
        EXPECT_EQ(fake.Count("DialogBoxParamA"), 0u) << line;
        EXPECT_EQ(fake.Count("CreateWindowExA"), 0u) << line;
        EXPECT_EQ(fake.Count("LoadLibraryA"), 0u) << line;
    }
}

TEST_F(Startup, PreviewNeedsAnExistingWindow) {
    EXPECT_EQ(Start("s.scr /p"), -1);
    EXPECT_EQ(fake.Count("IsWindow"), 0u) << "a handle of 0 is never asked about";

    ResetProcess();
    EXPECT_EQ(Start("s.scr /p 0"), -1);
    EXPECT_EQ(fake.Count("IsWindow"), 0u);

    ResetProcess();
    EXPECT_EQ(Start("s.scr /p:1911"), -1);

    ResetProcess();
    EXPECT_EQ(Start("s.scr /p 1911"), -1);
    EXPECT_EQ(fake.Calls("IsWindow"), std::vector<std::string>{"IsWindow(0x777)"});
    EXPECT_EQ(fake.Count("CreateWindowExA"), 0u);
}

TEST_F(Startup, ConfigureOwnerDependsOnTheLetter) {
    fake.dialogResult = 1;
    EXPECT_EQ(Start("\"C:\\my savers\\r.scr\""), 1);
    EXPECT_EQ(fake.Calls("DialogBoxParamA"), std::vector<std::string>{"DialogBoxParamA(0x400000,#2003,0,host)"});
    EXPECT_EQ(fake.Count("GetForegroundWindow"), 0u);

    ResetProcess();
    fake.dialogResult = 0;
    EXPECT_EQ(Start("r.scr /c:4242"), 0);
    EXPECT_EQ(fake.Calls("DialogBoxParamA"), std::vector<std::string>{"DialogBoxParamA(0x400000,#2003,0xF0,host)"});

    ResetProcess();
    fake.dialogResult = -1;
    EXPECT_EQ(Start("r.scr -C"), -1) << "the dialog's own result is the exit code";
}

TEST_F(Startup, ChangePasswordOnWindows9xUsesTheGivenOrTheForegroundWindow) {
    fake.libraries["MPR.DLL"] = FakeHandle<HMODULE>(0x3B0);
    fake.entryPoints["PwdChangePasswordA"] = reinterpret_cast<FARPROC>(FakePwdChangePasswordA);
    fake.windows.insert(kPane);
    OnWin9x();
    EXPECT_EQ(Start("r.scr /a 1911"), 0);
    EXPECT_EQ(fake.Calls("PwdChangePasswordA"), std::vector<std::string>{"PwdChangePasswordA(\"SCRSAVE\",0x777,0,0)"});

    for (const char* line : {"r.scr /a 1234", "r.scr /a", "r.scr /a 0"}) {
        ResetProcess();
        fake.libraries["MPR.DLL"] = FakeHandle<HMODULE>(0x3B0);
        fake.entryPoints["PwdChangePasswordA"] = reinterpret_cast<FARPROC>(FakePwdChangePasswordA);
        OnWin9x();
        EXPECT_EQ(Start(line), 0) << line;
        EXPECT_EQ(fake.Calls("PwdChangePasswordA"), std::vector<std::string>{"PwdChangePasswordA(\"SCRSAVE\",0xF0,0,0)"})
            << line;
    }
}

TEST_F(Startup, SaverModeRunsTheWindowAndEndsWithTheLoopsCode) {
    fake.Post(FakeHandle<HWND>(0x100), WM_KEYDOWN, 0x41);
    EXPECT_EQ(Start("r.scr /s"), 0);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 1u);
    EXPECT_EQ(fake.Count("DefWindowProcA(0x100,0x10,"), 1u) << "the key press closed the window";
}

TEST_F(Startup, FaultGuardSwitchesTheRunningStateOffAndEnds) {
    OnWin9x();
    fake.faultOnCall = "DialogBoxParamA";
    int32_t code = Start("r.scr /c");
    EXPECT_EQ(static_cast<uint32_t>(code), 0xC0000005u);
    int filter = fake.IndexOf("UnhandledExceptionFilter");
    int off = fake.IndexOf("SystemParametersInfoA(97,0,");
    ASSERT_GE(filter, 0);
    ASSERT_GE(off, 0);
    EXPECT_LT(filter, off);
    EXPECT_LT(off, fake.IndexOf("ExitProcess"));
}

TEST_F(Startup, FaultGuardTakesDownTheOtherMonitorsWindows) {
    UseMonitors({RECT{0, 0, 640, 480}, RECT{640, 0, 1280, 480}});
    fake.createResults = {FakeHandle<HWND>(0x100), FakeHandle<HWND>(0x200)};
    fake.faultOnCall = "SetForegroundWindow";  // the saver window and the other monitor's are up
    fake.profile["ScreenSaver.Rolvanta"] = {{"Sound", "1"}};
    EXPECT_EQ(static_cast<uint32_t>(Start("r.scr /s")), 0xC0000005u);
    int filter = fake.IndexOf("UnhandledExceptionFilter");
    int destroyed = fake.IndexOf("DestroyWindow(0x200)");
    ASSERT_GE(filter, 0);
    EXPECT_LT(filter, destroyed);
    EXPECT_LT(destroyed, fake.IndexOf("ExitProcess"));
    EXPECT_EQ(fake.windows.count(FakeHandle<HWND>(0x200)), 0u);
    EXPECT_LT(filter, fake.IndexOf("sndPlaySoundA(null,"));
    EXPECT_LT(filter, fake.IndexOf("waveOutSetVolume(0xFFFFFFFF,0x12345678)")) << "the volume put back";
}

TEST_F(Startup, FaultGuardOffWindows9xTouchesNoRunningState) {
    fake.faultOnCall = "DialogBoxParamA";
    Start("r.scr /c");
    EXPECT_EQ(fake.Count("UnhandledExceptionFilter"), 1u);
    EXPECT_EQ(fake.Count("SystemParametersInfoA"), 0u);
}

// Any date gives the low 32 bits of the seconds since 1970, as a 32-bit time() did; none traps.
TEST(Clock, GivesTheLow32BitsOfTheSecondsSince1970ForAnyDate) {
    // FILETIME high and low halves: 1970, 2026-12-08 04:43:31.9999999, 1969-12-31 23:59:59, 1601,
    // 2106-02-07 06:28:16, 2107, the largest.
    uint32_t cases[][3] = {{0x019DB1DE, 0xD53E8000, 0}, {0x01DD86CE, 0xAD4EF1FF, 1796705011},
                           {0x019DB1DE, 0xD4A5E980, 0xFFFFFFFF}, {0, 0, 1240428288}, {0x0236485E, 0xD53E8000, 0},
                           {0x023749E6, 0xEF3D0000, 28315904}, {0x7FFFFFFF, 0xFFFFFFFF, 159663333}};
    for (const auto& c : cases) {
        EXPECT_EQ(ClockSecondsOf(c[0], c[1]), c[2]) << std::hex << c[0] << " " << c[1];
    }
}

}  // namespace
