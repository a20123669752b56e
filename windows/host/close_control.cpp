// Input watch and close control: the first real touch of keyboard or mouse asks the saver to
// close, and on Windows 9x a close goes through the screen-saver password first.
#include "windows/host/host.h"
#include "windows/host/window_guard.h"

namespace {

const uint32_t kNoCheckYet = 0xFFFFFFFFu;
// Close requests this soon after a password prompt closed are taken as the tail of the same
// gesture, not as a new attempt.
const uint32_t kRecheckDelay = 200;

void PostClose(HWND window) {
    PostMessageA(window, WM_CLOSE, 0, 0);
}

void HideCursor(void) {
    SetCursor(nullptr);
}

// An unreadable position counts as no movement.
POINT CursorPosition(const HostState& host) {
    POINT point = host.savedCursorPos;
    GetCursorPos(&point);
    return point;
}

uint32_t Distance(LONG a, LONG b) {
    int64_t difference = static_cast<int64_t>(a) - static_cast<int64_t>(b);
    return static_cast<uint32_t>(difference < 0 ? -difference : difference);
}

void MouseTravelTest(HostState& host, HWND window) {
    POINT now = CursorPosition(host);
    uint32_t travel = Distance(now.x, host.savedCursorPos.x) + Distance(now.y, host.savedCursorPos.y);
    if (travel > host.mouseMoveThreshold) {
        PostClose(window);
        host.savedCursorPos = now;
    }
}

// The close rules for input on any of the saver's windows; requests to close go to saver, so
// that the password check and its timing see a single window.
LRESULT WatchInput(HostState& host, HWND window, HWND saver, UINT message, WPARAM wParam, LPARAM lParam) {
    if (host.inPasswordCheck) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam != 0) {
            HideCursor();
        }
        break;
    case WM_ACTIVATEAPP:
        if (wParam == 0) {
            PostClose(saver);
        }
        break;
    case WM_SETCURSOR:
        HideCursor();
        return 1;
    case WM_ACTIVATE:
        // Activated again, the saver takes the keyboard too.
        if ((wParam & 0xFFFF) != WA_INACTIVE) {
            SetFocus(saver);
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        PostClose(saver);
        break;
    case WM_MOUSEMOVE:
        MouseTravelTest(host, saver);
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void ChooseVerifyPasswordMessage(HostState& host) {
    uint32_t mix = GetTickCount() * 2654435761u;
    mix ^= ClockSeconds() ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&mix));
    // Within the range a window class keeps for itself, clear of the numbers below 0x8200 that
    // test builds use.
    host.verifyPasswordMessage = WM_APP + 0x200 + (mix >> 8) % 0x3C00;
}

uint32_t TickDifference(uint32_t earlier, uint32_t later) {
    return later - earlier;
}

uint32_t VerifyOnClose(HostState& host, HWND window) {
    if (host.inPasswordCheck) {
        return 0;
    }
    if (host.verifyPassword == nullptr) {
        host.closeAllowed = 1;
        return 1;
    }
    uint32_t now = GetTickCount();
    if (host.lastCheckTick != kNoCheckYet && TickDifference(host.lastCheckTick, now) < kRecheckDelay) {
        return host.closeAllowed;
    }
    host.inPasswordCheck = 1;
    // Ticks already queued would otherwise run a ride step under the prompt the moment it opens.
    MSG pending;
    PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    LRESULT result = SendMessageA(window, host.verifyPasswordMessage, 0, 0);
    host.closeAllowed = static_cast<uint32_t>(result);
    host.inPasswordCheck = 0;
    if (result == 0) {
        HideCursor();
        // Whichever window the prompt's end left in front, the next key must reach the saver
        // (made again meanwhile, if another program destroyed it) and open the prompt again;
        // nor may a window disabled meanwhile stay so.
        if (host.saverWindow != nullptr) {
            window = host.saverWindow;
        }
        SetForegroundWindow(window);
        SetFocus(window);
        KeepWindow(host, window);
    }
    host.lastCheckTick = GetTickCount();
    return host.closeAllowed;
}

LRESULT HostDefaultProc(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (host.isPreview || host.closeAllowed) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_CLOSE) {
        if (!host.isWin9x) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        if (VerifyOnClose(host, window)) {
            // Another program may have destroyed the window under the prompt: the run ends
            // all the same, with the saver window made in its place.
            if (!IsWindow(window)) {
                PostQuitMessage(0);
            }
            return DefWindowProcA(window, message, wParam, lParam);
        }
        host.savedCursorPos = CursorPosition(host);
        return 0;
    }
    if (message == host.verifyPasswordMessage) {
        if (!host.isWin9x) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        if (host.verifyPassword != nullptr) {
            return host.verifyPassword(window);
        }
        return 1;
    }
    return WatchInput(host, window, window, message, wParam, lParam);
}

LRESULT OtherMonitorDefaultProc(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND) {
        // These windows have no menu and no frame: any system command is somebody else's, and
        // a minimise or move would uncover the monitor.
        return 0;
    }
    HWND saver = host.saverWindow;
    if (host.closeAllowed || saver == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_CLOSE:
        // A monitor must not come uncovered on its own: the request becomes the saver's, and
        // with it the password's.
        PostClose(saver);
        return 0;
    case WM_ACTIVATEAPP:
        // The saver window is told the same, and one request is enough.
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return WatchInput(host, window, saver, message, wParam, lParam);
    }
}
