#include <gtest/gtest.h>

#include "fake_platform.h"
#include "windows/host/host.h"

namespace {

const HWND kWindow = FakeHandle<HWND>(0x100);
const std::string kPostClose = "PostMessageA(0x100,0x10,0x0,0)";

class CloseControl : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcess();
        fake.windows.insert(kWindow);
        fake.defaultResult = 0xDEF;
        // The close check sends its message through the whole window procedure chain.
        fake.registeredClass.lpfnWndProc = HostWindowProc;
    }

    void ProtectedWin9x() {
        hostState.isWin9x = 1;
        hostState.verifyPassword = FakeVerifyScreenSavePwd;
    }

    size_t Closes() const { return fake.Count(kPostClose); }

    void MoveTo(LONG x, LONG y) {
        fake.cursor = {x, y};
        HostDefaultProc(hostState, kWindow, WM_MOUSEMOVE, 0, 0);
    }
};

TEST_F(CloseControl, InputAsksToClose) {
    for (UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        fake.calls.clear();
        EXPECT_EQ(HostDefaultProc(hostState, kWindow, message, 7, 9), 0xDEF);
        EXPECT_EQ(fake.calls, (std::vector<std::string>{kPostClose, "DefWindowProcA(0x100," + Hex(message) + ",0x7,9)"}));
    }
}

TEST_F(CloseControl, ReleasesDoubleClicksAndWheelCloseNothing) {
    for (UINT message : {WM_KEYUP, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEWHEEL}) {
        HostDefaultProc(hostState, kWindow, message, 0, 0);
    }
    EXPECT_EQ(Closes(), 0u);
    EXPECT_EQ(fake.Count("DefWindowProcA"), 4u);
}

TEST_F(CloseControl, AnotherApplicationBecomingActiveCloses) {
    HostDefaultProc(hostState, kWindow, WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(Closes(), 0u);
    HostDefaultProc(hostState, kWindow, WM_ACTIVATEAPP, 0, 0);
    EXPECT_EQ(Closes(), 1u);
    EXPECT_EQ(fake.Count("DefWindowProcA(0x100,0x1C"), 2u);
}

TEST_F(CloseControl, CursorStaysHidden) {
    HostDefaultProc(hostState, kWindow, WM_SHOWWINDOW, 0, 0);
    EXPECT_EQ(fake.Count("SetCursor"), 0u);
    HostDefaultProc(hostState, kWindow, WM_SHOWWINDOW, 1, 0);
    EXPECT_EQ(fake.Calls("SetCursor"), std::vector<std::string>{"SetCursor(0)"});
    fake.calls.clear();
    EXPECT_EQ(HostDefaultProc(hostState, kWindow, WM_SETCURSOR, 0x100, 0), 1);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetCursor(0)"}) << "answered here, not passed on";
}

TEST_F(CloseControl, MouseTravelMustExceedFourPixelsFromTheSavedPlace) {
    hostState.savedCursorPos = {100, 100};
    MoveTo(100, 100);
    MoveTo(103, 101);
    MoveTo(97, 99);
    EXPECT_EQ(Closes(), 0u) << "travel of at most 4 never closes";
    MoveTo(104, 101);
    EXPECT_EQ(Closes(), 1u);
    EXPECT_EQ(hostState.savedCursorPos.x, 104);
    EXPECT_EQ(hostState.savedCursorPos.y, 101);
    MoveTo(108, 101);
    EXPECT_EQ(Closes(), 1u) << "measured from the closing move";
}

TEST_F(CloseControl, SmallMovesAddUp) {
    hostState.savedCursorPos = {10, 10};
    MoveTo(12, 10);
    MoveTo(14, 10);
    EXPECT_EQ(Closes(), 0u);
    MoveTo(16, 10);
    EXPECT_EQ(Closes(), 1u);
}

TEST_F(CloseControl, ExtremeCoordinatesDoNotOverflowTheTravel) {
    hostState.savedCursorPos = {INT32_MIN, 0};
    MoveTo(INT32_MAX, 0);
    EXPECT_EQ(Closes(), 1u);
}

TEST_F(CloseControl, UnreadableCursorCountsAsNoMovement) {
    hostState.savedCursorPos = {50, 50};
    fake.cursorResult = FALSE;
    MoveTo(900, 900);
    EXPECT_EQ(Closes(), 0u);
}

TEST_F(CloseControl, PreviewAndAllowedClosingPassEverythingOn) {
    for (int preview = 0; preview < 2; ++preview) {
        ResetProcess();
        fake.defaultResult = 0xDEF;
        hostState.isPreview = preview;
        hostState.closeAllowed = !preview;
        hostState.isWin9x = 1;
        hostState.verifyPassword = FakeVerifyScreenSavePwd;
        for (UINT message : std::initializer_list<UINT>{WM_KEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_ACTIVATEAPP, WM_SETCURSOR, WM_CLOSE,
                             static_cast<UINT>(hostState.verifyPasswordMessage)}) {
            EXPECT_EQ(HostDefaultProc(hostState, kWindow, message, 0, 0), 0xDEF);
        }
        EXPECT_EQ(fake.Count("DefWindowProcA"), 7u);
        EXPECT_EQ(fake.Count("DefWindowProcA"), fake.calls.size()) << "nothing else is touched";
    }
}

TEST_F(CloseControl, OffWindows9xCloseGoesStraightThrough) {
    hostState.verifyPassword = FakeVerifyScreenSavePwd;  // ignored off Windows 9x
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake.calls.front(), "DefWindowProcA(0x100,0x10,0x0,0)");
    EXPECT_EQ(hostState.closeAllowed, 0u);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 0u);
    fake.calls.clear();
    EXPECT_EQ(HostDefaultProc(hostState, kWindow, hostState.verifyPasswordMessage, 0, 0), 0xDEF);
}

TEST_F(CloseControl, Windows9xWithoutPasswordClosesOnTheFirstRequest) {
    hostState.isWin9x = 1;
    EXPECT_EQ(VerifyOnClose(hostState, kWindow), 1u);
    EXPECT_EQ(hostState.closeAllowed, 1u);
    EXPECT_EQ(fake.Count("GetTickCount"), 0u);
    hostState.closeAllowed = 0;
    EXPECT_EQ(HostDefaultProc(hostState, kWindow, hostState.verifyPasswordMessage, 0, 0), 1) << "no prompt: accepted";
}

TEST_F(CloseControl, AcceptedPasswordLetsTheCloseThrough) {
    ProtectedWin9x();
    fake.passwordAnswer = 7;
    fake.Post(kWindow, WM_TIMER, 1);
    fake.Post(kWindow, WM_TIMER, 1);
    fake.Post(kWindow, WM_TIMER, 1);
    fake.tickCounts = {1000, 4000};
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    ASSERT_GE(fake.calls.size(), 8u);
    fake.calls.resize(8);  // what follows is the window's destruction
    EXPECT_EQ(fake.calls, (std::vector<std::string>{
                              "GetTickCount()", "PeekMessageA(0x100,0x113,0x113,3)", "PeekMessageA(0x100,0x113,0x113,3)",
                              "SendMessageA(0x100,0x8000,0,0)", "VerifyScreenSavePwd(0x100)", "GetTickCount()",
                              "IsWindow(0x100)", "DefWindowProcA(0x100,0x10,0x0,0)"}));
    EXPECT_EQ(hostState.closeAllowed, 7u) << "kept as the prompt answered";
    EXPECT_EQ(hostState.lastCheckTick, 4000u);
    EXPECT_EQ(hostState.inPasswordCheck, 0u);
    size_t ticksLeft = 0;
    for (const MSG& message : fake.queue) {
        ticksLeft += message.message == WM_TIMER;
    }
    EXPECT_EQ(ticksLeft, 1u) << "two pending ticks left the queue before the prompt";
}

TEST_F(CloseControl, RefusedPasswordKeepsTheSaverRunning) {
    ProtectedWin9x();
    fake.cursor = {321, 123};
    fake.tickCounts = {1000, 5000};
    EXPECT_EQ(HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(fake.Count("DefWindowProcA"), 0u);
    EXPECT_EQ(hostState.closeAllowed, 0u);
    EXPECT_EQ(fake.Count("SetCursor(0)"), 1u);
    EXPECT_EQ(hostState.savedCursorPos.x, 321);
    EXPECT_EQ(hostState.lastCheckTick, 5000u);
}

TEST_F(CloseControl, NoNewPromptWithin200MillisecondsOfTheLastOne) {
    ProtectedWin9x();
    hostState.lastCheckTick = 5000;
    fake.tickCount = 5150;
    EXPECT_EQ(HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 0u);
    fake.tickCount = 5199;
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 0u);
    fake.tickCount = 5200;
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 1u);
}

TEST_F(CloseControl, TickCountThatWrappedStillMeasuresTheTrueDelay) {
    EXPECT_EQ(TickDifference(0xFFFFFF00u, 0x00000010u), 0x110u);
    EXPECT_EQ(TickDifference(5, 5), 0u);
    ProtectedWin9x();
    hostState.lastCheckTick = 0xFFFFFFA0u;
    fake.tickCount = 0x40;  // 0xA0 = 160 ms later
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 0u);
    fake.tickCount = 0x70;  // 208 ms later
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 1u);
}

TEST_F(CloseControl, WhileThePromptIsUpInputClosesNothingAndNoSecondPromptOpens) {
    ProtectedWin9x();
    std::vector<LRESULT> answers;
    fake.whilePromptIsUp = [&answers](HWND window) {
        EXPECT_EQ(hostState.inPasswordCheck, 1u);
        answers.push_back(HostDefaultProc(hostState, window, WM_KEYDOWN, 0, 0));
        answers.push_back(HostDefaultProc(hostState, window, WM_CLOSE, 0, 0));
        answers.push_back(HostDefaultProc(hostState, window, WM_SETCURSOR, 0, 0));
    };
    HostDefaultProc(hostState, kWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake.Count("VerifyScreenSavePwd"), 1u);
    EXPECT_EQ(Closes(), 0u);
    EXPECT_EQ(answers, (std::vector<LRESULT>{0xDEF, 0, 0xDEF}));
}

// A window over another monitor: the same close rules, with the requests made of the saver
// window.
class OtherMonitorInput : public CloseControl {
protected:
    void SetUp() override {
        CloseControl::SetUp();
        fake.windows.insert(kDark);
        hostState.saverWindow = kWindow;
    }

    LRESULT Dark(UINT message, WPARAM wParam = 0) { return OtherMonitorWindowProc(kDark, message, wParam, 0); }

    const HWND kDark = FakeHandle<HWND>(0x200);
};

TEST_F(OtherMonitorInput, KeysButtonsAndCloseRequestsAskTheSaverWindowToClose) {
    for (UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        fake.calls.clear();
        EXPECT_EQ(Dark(message, 7), 0xDEF);
        EXPECT_EQ(fake.calls, (std::vector<std::string>{kPostClose, "DefWindowProcA(0x200," + Hex(message) + ",0x7,0)"}));
    }
    fake.calls.clear();
    EXPECT_EQ(Dark(WM_CLOSE), 0);
    EXPECT_EQ(fake.calls, std::vector<std::string>{kPostClose}) << "the dark window itself stays";
    fake.calls.clear();
    for (UINT message : {WM_KEYUP, WM_LBUTTONUP, WM_MOUSEWHEEL, WM_ACTIVATEAPP}) {
        Dark(message, 0);
    }
    EXPECT_EQ(Closes(), 0u) << "deactivation is the saver window's to see: it gets the same message";
    fake.calls.clear();
    for (WPARAM command : {SC_MINIMIZE, SC_MOVE | 2, SC_SIZE, SC_MAXIMIZE, SC_RESTORE, SC_CLOSE}) {
        EXPECT_EQ(Dark(WM_SYSCOMMAND, command), 0) << "nothing done, not even a close asked for";
    }
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(OtherMonitorInput, MouseTravelAddsUpWithTheSaverWindowsInScreenCoordinates) {
    hostState.savedCursorPos = {500, 300};
    fake.cursor = {502, 301};
    HostDefaultProc(hostState, kWindow, WM_MOUSEMOVE, 0, 0);
    fake.cursor = {503, 301};  // now over the other monitor's window: 4 in all
    Dark(WM_MOUSEMOVE);
    EXPECT_EQ(Closes(), 0u);
    fake.cursor = {504, 301};
    Dark(WM_MOUSEMOVE);
    EXPECT_EQ(Closes(), 1u);
    EXPECT_EQ(hostState.savedCursorPos.x, 504);
}

TEST_F(OtherMonitorInput, CursorHiddenNoActivationAndNothingOnceClosingOrWhileThePromptIsUp) {
    EXPECT_EQ(Dark(WM_SETCURSOR), 1);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetCursor(0)"});
    fake.calls.clear();
    EXPECT_EQ(Dark(WM_MOUSEACTIVATE), MA_NOACTIVATE);
    EXPECT_TRUE(fake.calls.empty());

    for (int state = 0; state < 3; ++state) {
        ResetProcess();
        fake.defaultResult = 0xDEF;
        hostState.saverWindow = state == 2 ? nullptr : kWindow;
        hostState.closeAllowed = state == 0;
        hostState.inPasswordCheck = state == 1;
        hostState.savedCursorPos = {0, 0};
        fake.cursor = {400, 400};
        for (UINT message : {WM_KEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_SETCURSOR}) {
            EXPECT_EQ(Dark(message), 0xDEF) << "state " << state;
        }
        EXPECT_EQ(fake.Count("DefWindowProcA(0x200,"), fake.calls.size()) << "state " << state;
    }
}

}  // namespace
