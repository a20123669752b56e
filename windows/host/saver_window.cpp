// The saver window: its class, its creation over the screen or inside the preview pane, the
// message loop, and the first stop of every message on its way to the show.
#include "windows/host/host.h"
#include "windows/host/window_guard.h"
#include "windows/resources/resource_ids.h"
#include "windows/show/show_win32.h"

namespace {

const char kClassName[] = "WindowsScreenSaverClass";
const char kSaverTitle[] = "Screen Saver";
const char kPreviewTitle[] = "Preview";
const DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// While the saver window cannot be made again, the loop wakes this often to try once more.
const UINT kRemakeRetryMilliseconds = 250;
// While a password guards the run, the guard looks around this often, whatever loop runs.
const UINT kHeartbeatMilliseconds = 100;

void DetachInputMethod(HostState& host, HWND window) {
    host.imeModule = GetModuleHandleA("IMM32.DLL");
    if (host.imeModule == nullptr) {
        return;
    }
    host.imeAssociateContext =
        EntryPointAs<ImmAssociateContextProc>(GetProcAddress(host.imeModule, "ImmAssociateContext"));
    if (host.imeAssociateContext != nullptr) {
        host.savedImeContext = host.imeAssociateContext(window, nullptr);
    }
}

void RestoreInputMethod(const HostState& host, HWND window) {
    if (host.imeModule != nullptr && host.imeAssociateContext != nullptr &&
        host.savedImeContext != nullptr) {
        host.imeAssociateContext(window, host.savedImeContext);
    }
}

// While a password guards the saver, only the window's own destruction may end the run: a quit
// or a destruction posted by another program would otherwise close it without the password.
bool PasswordGuardsTheRun(const HostState& host) {
    return host.verifyPassword != nullptr && !host.closeAllowed;
}

bool IsSwallowedSystemCommand(WPARAM command) {
    if (command == SC_NEXTWINDOW || command == SC_PREVWINDOW || command == SC_SCREENSAVE) {
        return true;
    }
    // The full-screen window stays where it is and as large as it is: moved, sized, minimised
    // or restored, it would leave the desktop in view. The platform reads these commands by
    // their upper twelve bits (the low four carry how the move or size began).
    switch (command & 0xFFF0) {
    case SC_SIZE:
    case SC_MOVE:
    case SC_MINIMIZE:
    case SC_MAXIMIZE:
    case SC_RESTORE:
        return true;
    default:
        return false;
    }
}

// A hidden window of any program can carry the class and the title; the saver steps aside only
// for one that this very program runs.
HWND RunningSaver(void) {
    for (HWND found = FindWindowA(kClassName, kSaverTitle); found != nullptr;
         found = FindWindowExA(nullptr, found, kClassName, kSaverTitle)) {
        if (IsWindow(found) && WindowOfThisProgram(found)) {
            return found;
        }
    }
    return nullptr;
}

// Sets the new window going: full screen, it covers the other monitors, takes the foreground and
// hears the display's power notices; the show was made at whole pixels, and before its first
// ride it learns how large they are where it is seen (a preview, at its pane's scale).
void StartSaverWindow(HostState& host, HWND parent) {
    HWND window = host.saverWindow;
    if (!host.isPreview) {
        CoverOtherMonitors(host);
        SetForegroundWindow(window);
        WatchDisplayPower(host, window);
    }
    ScaleShow(host.show, window, WindowPixelScale(host, parent != nullptr ? parent : window));
}

HWND MakeFullScreenWindow(const HostState& host) {
    return CreateWindowExA(WS_EX_TOPMOST, kClassName, kSaverTitle, kFullScreenStyle, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                           host.instance, nullptr);
}

// Another program destroyed the saver window while a password guards the run (it made the
// window a child of its own, then destroyed that): the window is made again at once, over the
// whole screen, with a new show, and the password is needed as before. The old show ends first,
// so that the new one takes the volume the user had, not the saver's.
void MakeSaverWindowAgain(HostState& host) {
    StopWatchingDisplayPower(host);
    EndShow(host.show);
    host.saverWindow = nullptr;
    host.saverWindow = MakeFullScreenWindow(host);
    if (host.saverWindow != nullptr) {
        if (host.remakeTimer != 0) {
            KillTimer(nullptr, host.remakeTimer);
            host.remakeTimer = 0;
        }
        StartSaverWindow(host, nullptr);
    } else if (host.remakeTimer == 0) {
        host.remakeTimer = SetTimer(nullptr, 0, kRemakeRetryMilliseconds, nullptr);
    }
}

// A timer message names the procedure it runs in its lParam, and DispatchMessage calls it: one
// posted by another program would run any code in the saver's process. The saver's own timers
// have no procedure.
bool ForeignTimerMessage(const MSG& message) {
    return (message.message == WM_TIMER || message.message == WM_SYSTIMER) && message.lParam != 0;
}

// The password prompt runs a message loop of its own, which dispatches whatever is posted to
// the saver meanwhile: each message taken from the thread's queue passes here first, in any
// loop. A foreign timer message becomes one that does nothing; the guard's heartbeat, a timer
// of the thread that no other program can kill, makes a destroyed saver window again and keeps
// the rest whole.
LRESULT CALLBACK WatchEveryLoop(int code, WPARAM wParam, LPARAM lParam) {
    HostState& host = *currentHost;
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && (wParam & PM_REMOVE) != 0) {
        if (ForeignTimerMessage(*message)) {
            message->message = WM_NULL;
        } else if (message->message == WM_TIMER && message->hwnd == nullptr &&
                   message->wParam == host.heartbeatTimer && PasswordGuardsTheRun(host)) {
            if (!IsWindow(host.saverWindow)) {
                MakeSaverWindowAgain(host);
            } else {
                GuardOnHeartbeat(host);
            }
        }
    }
    return CallNextHookEx(host.timerHook, code, wParam, lParam);
}

}  // namespace

int32_t RunSaverWindow(HostState& host, HWND parent) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = host.instance;
    windowClass.hIcon = LoadIconA(host.instance, MAKEINTRESOURCEA(IDI_SAVER));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;

    const char* title;
    DWORD style;
    DWORD exStyle;
    int width;
    int height;
    if (parent != nullptr) {
        RECT paneRect = {};
        GetClientRect(parent, &paneRect);
        width = paneRect.right;
        height = paneRect.bottom;
        title = kPreviewTitle;
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        exStyle = 0;
        host.isPreview = 1;
    } else {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        title = kSaverTitle;
        style = kFullScreenStyle;
        exStyle = WS_EX_TOPMOST;
        HWND running = RunningSaver();
        if (running != nullptr) {
            SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordHooks(host);
    }

    if (PasswordGuardsTheRun(host)) {
        host.timerHook = SetWindowsHookExA(WH_GETMESSAGE, WatchEveryLoop, nullptr, GetCurrentThreadId());
        host.heartbeatTimer = SetTimer(nullptr, 0, kHeartbeatMilliseconds, nullptr);
    }
    ChooseVerifyPasswordMessage(host);
    // Without a window there is no loop to end: the run reports failure the way a bad
    // command line does.
    int32_t exitCode = -1;
    if (RegisterClassA(&windowClass) != 0) {
        host.saverWindow = CreateWindowExA(exStyle, kClassName, title, style, 0, 0, width, height, parent,
                                                nullptr, host.instance, nullptr);
        if (host.saverWindow != nullptr) {
            StartSaverWindow(host, parent);
            MSG message = {};
            for (;;) {
                if (!GetMessageA(&message, nullptr, 0, 0)) {
                    if (PasswordGuardsTheRun(host) && IsWindow(host.saverWindow)) {
                        continue;
                    }
                    break;
                }
                if ((message.message == WM_DESTROY && PasswordGuardsTheRun(host)) || ForeignTimerMessage(message)) {
                    continue;
                }
                if (message.hwnd == nullptr && PasswordGuardsTheRun(host) && !host.isPreview &&
                    !IsWindow(host.saverWindow)) {
                    MakeSaverWindowAgain(host);
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            exitCode = static_cast<int32_t>(message.wParam);
            StopWatchingDisplayPower(host);
            // A quit posted from outside ends the loop with the window, and the show's sound
            // and volume, still in place: the window's own destruction ends them as usual.
            if (IsWindow(host.saverWindow)) {
                DestroyWindow(host.saverWindow);
            }
        }
    }
    if (host.timerHook != nullptr) {
        UnhookWindowsHookEx(host.timerHook);
        host.timerHook = nullptr;
        KillTimer(nullptr, host.heartbeatTimer);
    }
    // A quit can end the loop with the saver window still alive; the run is over all the same.
    UncoverOtherMonitors(host);
    UnloadPasswordHooks(host);
    return exitCode;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HostState& host = *currentHost;
#ifdef ROLVANTA_TEST_FAULT_MESSAGE
    // Test builds only: a message that faults inside the message loop, to exercise the guard.
    if (message == ROLVANTA_TEST_FAULT_MESSAGE) {
        *static_cast<volatile int*>(nullptr) = 0;
    }
#endif
    switch (message) {
    case WM_CREATE:
        // The window's own creation comes while CreateWindowExA is under way, before its handle
        // is known. A later one is another program's, and a second show would leak the first
        // and take the saver's own volume for the one to put back.
        if (host.saverWindow != nullptr) {
            return 0;
        }
        DetachInputMethod(host, window);
        GetCursorPos(&host.savedCursorPos);
        if (!host.isPreview) {
            SetCursor(nullptr);
        }
        break;
    case WM_DESTROY:
        // While a password guards the run, the window destroys itself only after an accepted
        // password has set closeAllowed. A destruction now is somebody else's message: the
        // saver, its show and its loop carry on as if it had never come.
        if (PasswordGuardsTheRun(host)) {
            return 0;
        }
        UncoverOtherMonitors(host);
        RestoreInputMethod(host, window);
        PostQuitMessage(0);
        break;
    case WM_NCCREATE:
        // Its default handling names the window after the record, and the title tells a new
        // start that a saver runs.
        if (host.saverWindow != nullptr) {
            return TRUE;
        }
        break;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_STYLECHANGING:
    case WM_STYLECHANGED:
    case WM_ENABLE:
    case WM_SETREDRAW:
    case WM_SHOWWINDOW:
        if (!host.isPreview) {
            LRESULT result = 0;
            if (GuardWindow(host, window, message, wParam, lParam, &result)) {
                return result;
            }
        }
        break;
    case WM_NCDESTROY:
        // Its destruction from outside (as the child another program made it of a window it
        // then destroyed) is the last the window hears: the loop wakes to make it again.
        if (PasswordGuardsTheRun(host) && !host.isPreview) {
            PostMessageA(nullptr, WM_NULL, 0, 0);
        }
        break;
    case WM_SETTEXT:
        // The title identifies a running saver to the next start; nobody may change it.
        return 0;
    case WM_PAINT:
        if (host.closeAllowed) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        if (!host.isPreview) {
            SetCursor(nullptr);
        }
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (host.isPreview) {
            HWND pane = GetParent(window);
            if (pane != nullptr && IsWindow(pane)) {
                PostMessageA(pane, message, reinterpret_cast<WPARAM>(pane), lParam);
            }
            return 1;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (host.closeAllowed) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        break;
    case WM_SYSCOMMAND:
        if (!host.isPreview && IsSwallowedSystemCommand(wParam)) {
            return 0;
        }
        break;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED:
        if (!host.isPreview) {
            RecoverMonitors(host, window);
        }
        break;
    case WM_DPICHANGED_AFTERPARENT:
        if (host.isPreview) {
            ScaleShow(host.show, window, WindowPixelScale(host, GetParent(window)));
        }
        break;
    case WM_TIMER:
        if (host.closeAllowed) {
            return 0;
        }
        if (!host.isPreview) {
            CheckWindowOnTick(host, window);
        }
        Sleep(0);
        break;
    default:
        break;
    }
    return ShowStage(host, window, message, wParam, lParam);
}

LRESULT ShowStage(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ShowContext context = {host.instance, &host.settings, &host.store, host.displayNotification != nullptr};
    LRESULT result = 0;
    if (ShowProc(host.show, window, message, wParam, lParam, context, &result)) {
        return result;
    }
    return HostDefaultProc(host, window, message, wParam, lParam);
}
