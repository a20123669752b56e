#include <gtest/gtest.h>

#include "fake_platform.h"
#include "windows/host/host.h"
#include "windows/show/show_win32.h"

namespace {

const HWND kWindow = FakeHandle<HWND>(0x100);
const HWND kPane = FakeHandle<HWND>(0x777);
const HWND kOtherSaver = FakeHandle<HWND>(0x555);

class SaverWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcess();
        hostState.instance = fake.ownModule;
    }

    // A protected Windows 9x saver, so loading and unloading the hooks leave traces.
    void WithPassword() {
        hostState.isWin9x = 1;
        fake.registryValue = {1, 0, 0, 0};
        fake.libraries["PASSWORD.CPL"] = FakeHandle<HMODULE>(0xC91);
        fake.entryPoints["VerifyScreenSavePwd"] = reinterpret_cast<FARPROC>(FakeVerifyScreenSavePwd);
    }
};

TEST_F(SaverWindow, FullScreenWindowCoversTheScreenOnTopAndRunsUntilDestroyed) {
    fake.screenWidth = 1024;
    fake.screenHeight = 768;
    fake.Post(kWindow, WM_LBUTTONDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);

    EXPECT_EQ(fake.registeredClass.style, 0x2Bu);
    EXPECT_EQ(fake.registeredClass.lpfnWndProc, HostWindowProc);
    EXPECT_EQ(fake.registeredClass.hIcon, FakeHandle<HICON>(0x1C0));
    EXPECT_EQ(fake.registeredClass.hCursor, nullptr);
    EXPECT_EQ(fake.registeredClass.hbrBackground, FakeHandle<HBRUSH>(0x5700 + BLACK_BRUSH));
    EXPECT_EQ(fake.registeredClass.hInstance, fake.ownModule);
    EXPECT_EQ(fake.registeredClass.cbClsExtra + fake.registeredClass.cbWndExtra, 0);
    EXPECT_EQ(fake.Calls("LoadIconA"), std::vector<std::string>{"LoadIconA(0x400000,#100)"});
    EXPECT_EQ(fake.Calls("CreateWindowExA"),
              std::vector<std::string>{"CreateWindowExA(0x8,\"WindowsScreenSaverClass\",\"Screen Saver\",0x96000000,0,"
                                       "0,1024,768,0,0,0x400000,0)"});
    EXPECT_EQ(hostState.saverWindow, kWindow);
    EXPECT_EQ(hostState.isPreview, 0u);
    int created = fake.IndexOf("CreateWindowExA");
    int foreground = fake.IndexOf("SetForegroundWindow(0x100)");
    EXPECT_GT(foreground, created);
    EXPECT_EQ(fake.Count("SetCursor(0)") >= 1, true) << "the cursor is hidden at creation";
}

TEST_F(SaverWindow, SecondSaverStartActivatesTheRunningOneAndDoesNothingElse) {
    hostState.isWin9x = 1;
    fake.runningSaver = kOtherSaver;
    fake.windows.insert(kOtherSaver);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Calls("FindWindowA"),
              std::vector<std::string>{"FindWindowA(\"WindowsScreenSaverClass\",\"Screen Saver\")"});
    EXPECT_EQ(fake.Calls("SetForegroundWindow"), std::vector<std::string>{"SetForegroundWindow(0x555)"});
    EXPECT_EQ(fake.Count("RegOpenKeyA"), 0u);
    EXPECT_EQ(fake.Count("RegisterClassA"), 0u);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 0u);
}

TEST_F(SaverWindow, FoundWindowThatIsGoneDoesNotCount) {
    fake.runningSaver = kOtherSaver;  // not a live window
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 1u);
}

TEST_F(SaverWindow, PreviewFillsThePaneAndNeverLooksForASaverOrPassword) {
    WithPassword();
    fake.clientRects[kPane] = RECT{0, 0, 152, 112};
    fake.Post(kWindow, WM_KEYDOWN);   // input never closes the preview...
    fake.Post(kWindow, WM_CLOSE);     // ...its owner does
    EXPECT_EQ(RunSaverWindow(hostState, kPane), 0);
    EXPECT_EQ(fake.Calls("CreateWindowExA"),
              std::vector<std::string>{"CreateWindowExA(0x0,\"WindowsScreenSaverClass\",\"Preview\",0x52000000,0,0,152,"
                                       "112,0x777,0,0x400000,0)"});
    EXPECT_EQ(hostState.isPreview, 1u);
    EXPECT_EQ(fake.Count("FindWindowA"), 0u);
    EXPECT_EQ(fake.Count("RegOpenKeyA"), 0u);
    EXPECT_EQ(fake.Count("SetForegroundWindow"), 0u);
    EXPECT_EQ(fake.Count("PostMessageA(0x100,0x10"), 0u);
}

TEST_F(SaverWindow, PasswordHooksAreLoadedBeforeTheClassAndUnloadedAfterTheLoop) {
    WithPassword();
    fake.passwordAnswer = TRUE;
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    int loaded = fake.IndexOf("LoadLibraryA(\"PASSWORD.CPL\")");
    int registered = fake.IndexOf("RegisterClassA");
    int quit = fake.IndexOf("PostQuitMessage");
    int freed = fake.IndexOf("FreeLibrary(0xC91)");
    ASSERT_GE(loaded, 0);
    EXPECT_LT(loaded, registered);
    EXPECT_GT(freed, quit);
    EXPECT_EQ(fake.Calls("SystemParametersInfoA"),
              (std::vector<std::string>{"SystemParametersInfoA(97,1,place,0)", "SystemParametersInfoA(97,0,place,0)"}));
}

TEST_F(SaverWindow, FailedRegistrationOrCreationEndsWithoutALoopButUnloadsTheHooks) {
    WithPassword();
    fake.registerResult = 0;
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), -1);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 0u);
    EXPECT_EQ(fake.Count("FreeLibrary(0xC91)"), 1u);

    ResetProcess();
    WithPassword();
    fake.createResult = nullptr;
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), -1);
    EXPECT_EQ(fake.Count("SetForegroundWindow"), 0u);
    EXPECT_EQ(fake.Count("FreeLibrary(0xC91)"), 1u);
}

TEST_F(SaverWindow, TitleCannotBeChanged) {
    EXPECT_EQ(HostWindowProc(kWindow, WM_SETTEXT, 0, 0), 0);
    hostState.closeAllowed = 1;
    hostState.isPreview = 1;
    EXPECT_EQ(HostWindowProc(kWindow, WM_SETTEXT, 0, 0), 0);
    EXPECT_TRUE(fake.calls.empty());
}

}  // namespace

namespace {

TEST_F(SaverWindow, WhileAPasswordGuardsOnlyTheWindowsOwnDestructionEndsTheLoop) {
    WithPassword();
    fake.passwordAnswer = TRUE;
    // Posted by another program: a quit and a destruction while the window lives.
    fake.Post(nullptr, WM_QUIT, 5);
    fake.Post(kWindow, WM_DESTROY);
    fake.Post(kWindow, WM_TIMER, 1);
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 1u);
    EXPECT_EQ(fake.Count("PostQuitMessage"), 1u);
    EXPECT_EQ(fake.Count("KillTimer(0x100,1)"), 2u) << "one tick and the real destruction; the posted one tore nothing down";
    EXPECT_EQ(fake.Count("DefWindowProcA(0x100,0x10,"), 1u) << "the key press closed it";
}

TEST_F(SaverWindow, ASaverWindowDestroyedFromOutsideIsMadeAgainWithANewShowAndThePasswordStillRules) {
    WithPassword();
    fake.passwordAnswer = TRUE;
    const HWND kAgain = FakeHandle<HWND>(0x200);
    fake.createResults = {kWindow, kAgain};
    fake.Post(kWindow, WM_NCDESTROY);  // the last message of a window destroyed with its parent
    fake.Post(nullptr, WM_NULL);
    fake.Post(kAgain, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Calls("CreateWindowExA"),
              std::vector<std::string>(2, "CreateWindowExA(0x8,\"WindowsScreenSaverClass\",\"Screen Saver\",0x96000000,0,"
                                          "0,640,480,0,0,0x400000,0)"));
    EXPECT_GT(fake.IndexOf("SetForegroundWindow(0x200)"), fake.IndexOf("CreateWindowExA"));
    // The first show put the volume back before the second read it.
    EXPECT_EQ(fake.Calls("waveOutGetVolume").size(), 2u);
    EXPECT_EQ(fake.Count("waveOutSetVolume(0xFFFFFFFF,0x12345678)"), 2u);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd(0x200)"), 1u) << "the password still closes it";
}

TEST_F(SaverWindow, TimerMessagesNamingAProcedureAreNeverDispatched) {
    fake.Post(kWindow, WM_TIMER, 1, 0x401000);
    fake.Post(kWindow, WM_SYSTIMER, 1, 0x401000);
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Count("Sleep(0)"), 0u) << "no tick reached the window";
    EXPECT_EQ(fake.messageHook, nullptr) << "no prompt's loop to watch without a password";

    // With a password, the prompt's own loop takes messages too: they pass a hook first.
    ResetProcess();
    WithPassword();
    fake.Post(kWindow, WM_KEYDOWN);
    fake.passwordAnswer = TRUE;
    RunSaverWindow(hostState, nullptr);
    EXPECT_EQ(fake.Count("UnhookWindowsHookEx(0x400C)"), 1u);
    ASSERT_NE(fake.messageHook, nullptr);
    MSG foreign = {kWindow, WM_TIMER, 1, 0x401000, 0, {0, 0}};
    MSG own = {kWindow, WM_TIMER, 1, 0, 0, {0, 0}};
    MSG peeked = foreign;
    fake.messageHook(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&foreign));
    fake.messageHook(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&own));
    fake.messageHook(HC_ACTION, 0, reinterpret_cast<LPARAM>(&peeked));
    EXPECT_EQ(foreign.message, static_cast<UINT>(WM_NULL));
    EXPECT_EQ(own.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(peeked.message, static_cast<UINT>(WM_TIMER)) << "changed only as it leaves the queue";
}

TEST_F(SaverWindow, WithoutAPasswordAnyQuitEndsTheLoop) {
    // A preview pane's owner destroys the window from its own thread; the quit can then arrive
    // while the handle is still alive.
    fake.clientRects[kPane] = RECT{0, 0, 100, 80};
    fake.Post(nullptr, WM_QUIT, 0);
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, kPane), 0);
    EXPECT_EQ(fake.Count("DefWindowProcA(0x100,0x100,"), 0u) << "nothing after the quit was handled";
}

TEST_F(SaverWindow, FullScreenSaverHearsOfTheDisplaysStateWhereThePlatformTells) {
    fake.loadedModules["USER32.DLL"] = FakeHandle<HMODULE>(0x0E32);
    fake.entryPoints["RegisterPowerSettingNotification"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeRegisterPowerSettingNotification));
    fake.entryPoints["UnregisterPowerSettingNotification"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeUnregisterPowerSettingNotification));
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Calls("RegisterPowerSettingNotification"),
              std::vector<std::string>{"RegisterPowerSettingNotification(0x100,0x6FE69556,0)"});
    EXPECT_EQ(fake.Calls("UnregisterPowerSettingNotification"),
              std::vector<std::string>{"UnregisterPowerSettingNotification(0x90E)"});
    EXPECT_LT(fake.IndexOf("CreateWindowExA"), fake.IndexOf("RegisterPowerSettingNotification"));

    // A preview pane does not ask, and a platform without the calls is not asked.
    SetUp();
    fake.loadedModules["USER32.DLL"] = FakeHandle<HMODULE>(0x0E32);
    fake.entryPoints["RegisterPowerSettingNotification"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeRegisterPowerSettingNotification));
    fake.clientRects[kPane] = RECT{0, 0, 152, 112};
    fake.windows.insert(kPane);
    fake.Post(kWindow, WM_CLOSE);
    EXPECT_EQ(RunSaverWindow(hostState, kPane), 0);
    EXPECT_EQ(fake.Count("RegisterPowerSettingNotification"), 0u);
    SetUp();
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Count("GetProcAddress(0x0,"), 0u);
}

}  // namespace

namespace {

const HWND kDark = FakeHandle<HWND>(0x200);
const HWND kDark2 = FakeHandle<HWND>(0x201);
const std::string kDarkClass = "\"RolvantaOtherMonitorClass\"";

struct CoverRow {
    const char* what;
    std::vector<RECT> monitors;
    uint32_t capacity;
    std::vector<RECT> covered;
};

std::string Describe(const std::vector<RECT>& rects) {
    std::string text;
    for (const RECT& r : rects) {
        text += "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                std::to_string(r.bottom) + "]";
    }
    return text;
}

TEST(OtherMonitors, AllButTheMonitorHoldingThePrimaryOriginGetAWindow) {
    const RECT primary = {0, 0, 1024, 768};
    const RECT right = {1024, 0, 2304, 1024};
    const RECT left = {-1280, -200, 0, 824};
    const RECT below = {0, 768, 1024, 1536};
    const std::vector<CoverRow> rows = {
        {"one monitor", {primary}, 16, {}},
        {"a second to the right", {primary, right}, 16, {right}},
        {"the primary listed last", {right, primary}, 16, {right}},
        {"left and below, ending where the primary starts", {left, primary, below}, 16, {left, below}},
        {"a mirror of the primary", {primary, primary, right}, 16, {right}},
        {"two monitors mirroring each other", {primary, right, right}, 16, {right}},
        {"empty rectangles", {primary, RECT{2000, 0, 2000, 500}, RECT{0, 900, 100, 800}}, 16, {}},
        {"more than there is room for", {primary, right, left, below}, 2, {right, left}},
        {"no monitor at the origin at all", {right}, 16, {right}},
    };
    for (const CoverRow& row : rows) {
        RECT chosen[16] = {};
        uint32_t count = MonitorsToCover(row.monitors.data(), static_cast<uint32_t>(row.monitors.size()), chosen,
                                         row.capacity);
        EXPECT_EQ(Describe(std::vector<RECT>(chosen, chosen + count)), Describe(row.covered)) << row.what;
    }
}

class OtherMonitorRun : public SaverWindow {
protected:
    void SetUp() override {
        SaverWindow::SetUp();
        fake.screenWidth = 1024;
        fake.screenHeight = 768;
        fake.createResults = {kWindow, kDark, kDark2};
    }

    void TwoMonitors() { UseMonitors({RECT{0, 0, 1024, 768}, RECT{1024, -100, 2304, 924}}); }
};

TEST_F(OtherMonitorRun, EachOtherMonitorGetsABlackTopmostWindowAfterTheSaverWindowAndDiesWithIt) {
    UseMonitors({RECT{-800, 0, 0, 600}, RECT{0, 0, 1024, 768}, RECT{1024, -100, 2304, 924}});
    fake.Post(kDark2, WM_RBUTTONDOWN);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);

    EXPECT_EQ(fake.Calls("CreateWindowExA"),
              (std::vector<std::string>{
                  "CreateWindowExA(0x8,\"WindowsScreenSaverClass\",\"Screen Saver\",0x96000000,0,0,1024,768,0,0,"
                  "0x400000,0)",
                  "CreateWindowExA(0x88," + kDarkClass + ",\"\",0x80000000,-800,0,800,600,0,0,0x400000,0)",
                  "CreateWindowExA(0x88," + kDarkClass + ",\"\",0x80000000,1024,-100,1280,1024,0,0,0x400000,0)"}));
    EXPECT_EQ(fake.Calls("ShowWindow"), (std::vector<std::string>{"ShowWindow(0x200,4)", "ShowWindow(0x201,4)"}))
        << "shown without taking the foreground";
    EXPECT_LT(fake.IndexOf("ShowWindow(0x201"), fake.IndexOf("SetForegroundWindow(0x100)"));
    EXPECT_EQ(fake.Count("SetForegroundWindow"), 1u);
    EXPECT_EQ(fake.Calls("GetProcAddress(0x7E0,\"EnumDisplayMonitors\")").size() +
                  fake.Calls("GetProcAddress(0x7E0,\"GetMonitorInfoA\")").size(),
              2u)
        << "each multi-monitor call looked up once, never imported";
    const WNDCLASSA& dark = fake.classes["RolvantaOtherMonitorClass"];
    EXPECT_EQ(dark.lpfnWndProc, OtherMonitorWindowProc);
    EXPECT_EQ(dark.hCursor, nullptr);
    EXPECT_EQ(dark.hbrBackground, FakeHandle<HBRUSH>(0x5700 + BLACK_BRUSH));
    EXPECT_EQ(fake.classes["WindowsScreenSaverClass"].lpfnWndProc, HostWindowProc) << "the saver's class as it was";

    // The click on the far monitor closed the saver window, and the saver window took the
    // others with it before the loop ended.
    EXPECT_EQ(fake.Calls("PostMessageA"), std::vector<std::string>{"PostMessageA(0x100,0x10,0x0,0)"});
    int destroyed = fake.IndexOf("DestroyWindow(0x200)");
    EXPECT_GE(destroyed, 0);
    EXPECT_GE(fake.IndexOf("DestroyWindow(0x201)"), 0);
    EXPECT_LT(destroyed, fake.IndexOf("PostQuitMessage"));
    EXPECT_TRUE(fake.windows.empty());
    EXPECT_EQ(hostState.otherMonitors.count, 0u);
}

TEST_F(OtherMonitorRun, OneMonitorOrASystemWithoutTheCallsMakesTheSaverWindowAlone) {
    for (int system = 0; system < 4; ++system) {
        SetUp();
        if (system == 1) {
            UseMonitors({RECT{0, 0, 1024, 768}});
        } else if (system == 2) {
            TwoMonitors();
            fake.entryPoints.erase("EnumDisplayMonitors");
        } else if (system == 3) {
            TwoMonitors();
            fake.entryPoints.erase("GetMonitorInfoA");
        }
        fake.Post(kWindow, WM_KEYDOWN);
        EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
        EXPECT_EQ(fake.Count("CreateWindowExA"), 1u) << "system " << system;
        EXPECT_EQ(fake.Count("RegisterClassA"), 1u) << "system " << system;
        EXPECT_EQ(fake.Count("LoadLibraryA"), 0u) << "system " << system;
        EXPECT_EQ(fake.Count("DestroyWindow"), 0u) << "system " << system;
    }
}

TEST_F(OtherMonitorRun, WithoutMonitorDetailsTheEnumeratedRectangleServes) {
    TwoMonitors();
    fake.monitorInfoResult = FALSE;
    fake.Post(kWindow, WM_KEYDOWN);
    RunSaverWindow(hostState, nullptr);
    EXPECT_EQ(fake.Count("GetMonitorInfoA(0x3000,40)"), 1u);
    EXPECT_EQ(fake.Count("CreateWindowExA(0x88," + kDarkClass + ",\"\",0x80000000,1024,-100,1280,1024,"), 1u);
}

TEST_F(OtherMonitorRun, PreviewNeverLooksForMonitors) {
    TwoMonitors();
    fake.clientRects[kPane] = RECT{0, 0, 152, 112};
    fake.Post(kWindow, WM_CLOSE);
    RunSaverWindow(hostState, kPane);
    EXPECT_EQ(fake.Count("EnumDisplayMonitors"), 0u);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 1u);
}

TEST_F(OtherMonitorRun, WithAPasswordInputOnAnotherMonitorOpensThePromptOfTheSaverWindow) {
    WithPassword();
    TwoMonitors();
    fake.tickCounts = {7, 1000, 1100, 5000, 5100};  // the first draws the private message
    fake.passwordAnswer = FALSE;
    fake.whilePromptIsUp = [](HWND) {
        // The second prompt accepts: the run may end.
        fake.whilePromptIsUp = [](HWND) { fake.passwordAnswer = TRUE; };
    };
    fake.Post(kDark, WM_KEYDOWN);
    fake.Post(kDark, WM_MOUSEMOVE);  // no travel: nothing
    fake.Post(kDark, WM_CLOSE);      // from another program, 4 s later
    fake.Post(nullptr, WM_QUIT, 3);  // swallowed while the password guards
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Calls("VerifyScreenSavePwd"),
              (std::vector<std::string>{"VerifyScreenSavePwd(0x100)", "VerifyScreenSavePwd(0x100)"}));
    EXPECT_EQ(fake.Calls("PostMessageA"),
              (std::vector<std::string>{"PostMessageA(0x100,0x10,0x0,0)", "PostMessageA(0x100,0x10,0x0,0)"}));
    EXPECT_LT(fake.IndexOf("DestroyWindow(0x200)"), fake.IndexOf("FreeLibrary(0xC91)"));
    EXPECT_TRUE(fake.windows.empty());
}

TEST_F(OtherMonitorRun, ChangedMonitorsAreCoveredAgainByTheSaversOwnMovesAndTheShowTakesTheirScale) {
    fake.createResults = {kDark, kDark2};
    hostState.saverWindow = kWindow;
    UseMonitors({RECT{0, 0, 1024, 768}, RECT{1024, 0, 2048, 768}, RECT{-800, 0, 0, 600}});
    CoverOtherMonitors(hostState);
    // The one on the right grows, the one on the left goes, the primary goes to 192 dpi.
    UseMonitors({RECT{0, 0, 1024, 768}, RECT{1024, 0, 2304, 1024}});
    fake.clientRects[kWindow] = RECT{0, 0, 1024, 768};
    fake.dpi = 192;
    HostWindowProc(kWindow, WM_DISPLAYCHANGE, 32, 0);
    EXPECT_EQ(fake.Calls("SetWindowPos"), (std::vector<std::string>{"SetWindowPos(0x100,0,0,0,1024,768,0x14,own=1)",
                                                                     "SetWindowPos(0x200,0,1024,0,1280,1024,0x14,own=1)"}));
    EXPECT_EQ(fake.Calls("DestroyWindow"), std::vector<std::string>{"DestroyWindow(0x201)"});
    // The blocks change between rides: the next tick finds none under way.
    const ShowRect& client = hostState.show.show.showResources.clientRect;
    EXPECT_TRUE(client.right == 1024 && client.bottom == 768);
    HostWindowProc(kWindow, WM_TIMER, 1, 0);
    EXPECT_TRUE(client.right == 512 && client.bottom == 384);
    EXPECT_EQ(hostState.otherMonitors.count + hostState.movingOwnWindows, 1u);
}

TEST_F(OtherMonitorRun, AQuitThatEndsTheLoopEarlyStillUncoversTheMonitors) {
    TwoMonitors();
    fake.Post(nullptr, WM_QUIT, 0);
    EXPECT_EQ(RunSaverWindow(hostState, nullptr), 0);
    EXPECT_EQ(fake.Calls("DestroyWindow"), (std::vector<std::string>{"DestroyWindow(0x100)", "DestroyWindow(0x200)"}));
    EXPECT_EQ(fake.windows.count(kDark), 0u);
    EXPECT_EQ(hostState.otherMonitors.count, 0u);
}

}  // namespace
