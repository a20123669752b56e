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

void DetachInputMethod(HWND window) {
    hostState.imeModule = GetModuleHandleA("IMM32.DLL");
    if (hostState.imeModule == nullptr) {
        return;
    }
    hostState.imeAssociateContext =
        EntryPointAs<ImmAssociateContextProc>(GetProcAddress(hostState.imeModule, "ImmAssociateContext"));
    if (hostState.imeAssociateContext != nullptr) {
        hostState.savedImeContext = hostState.imeAssociateContext(window, nullptr);
    }
}

void RestoreInputMethod(HWND window) {
    if (hostState.imeModule != nullptr && hostState.imeAssociateContext != nullptr &&
        hostState.savedImeContext != nullptr) {
        hostState.imeAssociateContext(window, hostState.savedImeContext);
    }
}

// While a password guards the saver, only the window's own destruction may end the run: a quit
// or a destruction posted by another program would otherwise close it without the password.
bool PasswordGuardsTheRun(void) {
    return hostState.verifyPassword != nullptr && !hostState.closeAllowed;
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

}  // namespace

int32_t RunSaverWindow(HWND parent) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = hostState.instance;
    windowClass.hIcon = LoadIconA(hostState.instance, MAKEINTRESOURCEA(IDI_SAVER));
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
        hostState.isPreview = 1;
    } else {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        title = kSaverTitle;
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        exStyle = WS_EX_TOPMOST;
        HWND running = RunningSaver();
        if (running != nullptr) {
            SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordHooks();
    }

    ChooseVerifyPasswordMessage();
    // Without a window there is no loop to end: the run reports failure the way a bad
    // command line does.
    int32_t exitCode = -1;
    if (RegisterClassA(&windowClass) != 0) {
        hostState.saverWindow = CreateWindowExA(exStyle, kClassName, title, style, 0, 0, width, height, parent,
                                                nullptr, hostState.instance, nullptr);
        if (hostState.saverWindow != nullptr) {
            if (!hostState.isPreview) {
                CoverOtherMonitors();
                SetForegroundWindow(hostState.saverWindow);
                WatchDisplayPower(hostState.saverWindow);
            }
            // The show was made at whole pixels; before its first ride it learns how large they
            // are where it is seen. A preview is seen at the scale of the pane it sits in.
            ScaleShow(hostState.saverWindow, WindowPixelScale(parent != nullptr ? parent : hostState.saverWindow));
            MSG message = {};
            for (;;) {
                if (!GetMessageA(&message, nullptr, 0, 0)) {
                    if (PasswordGuardsTheRun() && IsWindow(hostState.saverWindow)) {
                        continue;
                    }
                    break;
                }
                if (message.message == WM_DESTROY && PasswordGuardsTheRun()) {
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            exitCode = static_cast<int32_t>(message.wParam);
            StopWatchingDisplayPower();
            // A quit posted from outside ends the loop with the window, and the show's sound
            // and volume, still in place: the window's own destruction ends them as usual.
            if (IsWindow(hostState.saverWindow)) {
                DestroyWindow(hostState.saverWindow);
            }
        }
    }
    // A quit can end the loop with the saver window still alive; the run is over all the same.
    UncoverOtherMonitors();
    UnloadPasswordHooks();
    return exitCode;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
        if (hostState.saverWindow != nullptr) {
            return 0;
        }
        DetachInputMethod(window);
        GetCursorPos(&hostState.savedCursorPos);
        if (!hostState.isPreview) {
            SetCursor(nullptr);
        }
        break;
    case WM_DESTROY:
        // While a password guards the run, the window destroys itself only after an accepted
        // password has set closeAllowed. A destruction now is somebody else's message: the
        // saver, its show and its loop carry on as if it had never come.
        if (PasswordGuardsTheRun()) {
            return 0;
        }
        UncoverOtherMonitors();
        RestoreInputMethod(window);
        PostQuitMessage(0);
        break;
    case WM_NCCREATE:
        // Its default handling names the window after the record, and the title tells a new
        // start that a saver runs.
        if (hostState.saverWindow != nullptr) {
            return TRUE;
        }
        break;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_STYLECHANGING:
        if (!hostState.isPreview) {
            HoldWindowInPlace(window, message, wParam, lParam);
        }
        break;
    case WM_SETTEXT:
        // The title identifies a running saver to the next start; nobody may change it.
        return 0;
    case WM_PAINT:
        if (hostState.closeAllowed) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        if (!hostState.isPreview) {
            SetCursor(nullptr);
        }
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (hostState.isPreview) {
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
        if (hostState.closeAllowed) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        break;
    case WM_SYSCOMMAND:
        if (!hostState.isPreview && IsSwallowedSystemCommand(wParam)) {
            return 0;
        }
        break;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED:
        if (!hostState.isPreview) {
            RecoverMonitors(window);
        }
        break;
    case WM_DPICHANGED_AFTERPARENT:
        if (hostState.isPreview) {
            ScaleShow(window, WindowPixelScale(GetParent(window)));
        }
        break;
    case WM_TIMER:
        if (hostState.closeAllowed) {
            return 0;
        }
        Sleep(0);
        break;
    default:
        break;
    }
    return ShowStage(window, message, wParam, lParam);
}

LRESULT ShowStage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ShowContext context = {hostState.instance, &hostState.settings, HostHearsDisplayPower()};
    LRESULT result = 0;
    if (ShowProc(window, message, wParam, lParam, context, &result)) {
        return result;
    }
    return HostDefaultProc(window, message, wParam, lParam);
}
