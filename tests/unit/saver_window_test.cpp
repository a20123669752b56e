#include <gtest/gtest.h>

#include "fake_platform.h"
#include "host/host.h"

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
    EXPECT_EQ(RunSaverWindow(nullptr), 0);

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
    EXPECT_EQ(RunSaverWindow(nullptr), 0);
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
    EXPECT_EQ(RunSaverWindow(nullptr), 0);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 1u);
}

TEST_F(SaverWindow, PreviewFillsThePaneAndNeverLooksForASaverOrPassword) {
    WithPassword();
    fake.clientRects[kPane] = RECT{0, 0, 152, 112};
    fake.Post(kWindow, WM_KEYDOWN);   // input never closes the preview...
    fake.Post(kWindow, WM_CLOSE);     // ...its owner does
    EXPECT_EQ(RunSaverWindow(kPane), 0);
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
    EXPECT_EQ(RunSaverWindow(nullptr), 0);
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
    EXPECT_EQ(RunSaverWindow(nullptr), -1);
    EXPECT_EQ(fake.Count("CreateWindowExA"), 0u);
    EXPECT_EQ(fake.Count("FreeLibrary(0xC91)"), 1u);

    ResetProcess();
    WithPassword();
    fake.createResult = nullptr;
    EXPECT_EQ(RunSaverWindow(nullptr), -1);
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
    EXPECT_EQ(RunSaverWindow(nullptr), 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 1u);
    EXPECT_EQ(fake.Count("PostQuitMessage"), 1u);
    EXPECT_EQ(fake.Count("KillTimer(0x100,1)"), 2u) << "one tick and the real destruction; the posted one tore nothing down";
    EXPECT_EQ(fake.Count("DefWindowProcA(0x100,0x10,"), 1u) << "the key press closed it";
}

TEST_F(SaverWindow, WithoutAPasswordAnyQuitEndsTheLoop) {
    // A preview pane's owner destroys the window from its own thread; the quit can then arrive
    // while the handle is still alive.
    fake.clientRects[kPane] = RECT{0, 0, 100, 80};
    fake.Post(nullptr, WM_QUIT, 0);
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(kPane), 0);
    EXPECT_EQ(fake.Count("DefWindowProcA(0x100,0x100,"), 0u) << "nothing after the quit was handled";
}

TEST_F(SaverWindow, FullScreenSaverHearsOfTheDisplaysStateWhereThePlatformTells) {
    fake.loadedModules["USER32.DLL"] = FakeHandle<HMODULE>(0x0E32);
    fake.entryPoints["RegisterPowerSettingNotification"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeRegisterPowerSettingNotification));
    fake.entryPoints["UnregisterPowerSettingNotification"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeUnregisterPowerSettingNotification));
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(nullptr), 0);
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
    EXPECT_EQ(RunSaverWindow(kPane), 0);
    EXPECT_EQ(fake.Count("RegisterPowerSettingNotification"), 0u);
    SetUp();
    fake.Post(kWindow, WM_KEYDOWN);
    EXPECT_EQ(RunSaverWindow(nullptr), 0);
    EXPECT_EQ(fake.Count("GetProcAddress(0x0,"), 0u);
}

}  // namespace
