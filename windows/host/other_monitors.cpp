// The other monitors: while the saver runs full screen, every monitor beside the primary one
// gets a black window of its own, so that no desktop stays in view anywhere and input there
// reaches the same close control as input on the saver window.
#include "windows/host/host.h"
#include "windows/host/window_guard.h"

namespace {

// Its own class and no "Screen Saver" title: a new start looking for a running saver must find
// only the saver window.
const char kClassName[] = "RolvantaOtherMonitorClass";

// More monitors than this are taken as this many; the rest stay as they are.
const uint32_t kMaxMonitors = 32;

struct MonitorList {
    GetMonitorInfoAProc describe;
    RECT rects[kMaxMonitors];
    uint32_t count;
};

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, RECT* rect, LPARAM data) {
    MonitorList* list = reinterpret_cast<MonitorList*>(data);
    if (list->count == kMaxMonitors) {
        return FALSE;
    }
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (list->describe(monitor, &info)) {
        list->rects[list->count++] = info.rcMonitor;
    } else if (rect != nullptr) {
        list->rects[list->count++] = *rect;
    }
    return TRUE;
}

bool ContainsOrigin(const RECT& rect) {
    return rect.left <= 0 && 0 < rect.right && rect.top <= 0 && 0 < rect.bottom;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

uint32_t MonitorsToCover(const RECT* monitors, uint32_t count, RECT* chosen, uint32_t capacity) {
    uint32_t taken = 0;
    for (uint32_t i = 0; i < count && taken < capacity; ++i) {
        const RECT& monitor = monitors[i];
        // The primary monitor, and any that mirrors it, shows the saver window itself.
        if (monitor.right <= monitor.left || monitor.bottom <= monitor.top || ContainsOrigin(monitor)) {
            continue;
        }
        bool duplicate = false;
        for (uint32_t j = 0; j < taken; ++j) {
            duplicate = duplicate || SameRect(chosen[j], monitor);
        }
        if (!duplicate) {
            chosen[taken++] = monitor;
        }
    }
    return taken;
}

namespace {

// Called again when the monitors change: the windows already there move over the monitors
// there are now, those of monitors that went away go, and new monitors get theirs.
void PlaceOtherMonitorWindows(HostState& host, const RECT* chosen, uint32_t count) {
    OtherMonitorWindows& others = host.otherMonitors;
    while (others.count > count) {
        HWND window = others.windows[--others.count];
        others.windows[others.count] = nullptr;
        DestroyWindow(window);
    }
    for (uint32_t i = 0; i < others.count; ++i) {
        const RECT& rect = chosen[i];
        SetWindowPos(others.windows[i], nullptr, rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (others.count == count) {
        return;
    }

    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = OtherMonitorWindowProc;
    windowClass.hInstance = host.instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;
    if (!others.classRegistered && RegisterClassA(&windowClass) == 0) {
        return;
    }
    others.classRegistered = 1;
    for (uint32_t i = others.count; i < count; ++i) {
        const RECT& rect = chosen[i];
        // A tool window stays off the taskbar. Created hidden and shown without activation, so
        // the saver window keeps the foreground it is about to be given.
        HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, rect.left,
                                      rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                      host.instance, nullptr);
        if (window != nullptr) {
            others.windows[others.count++] = window;
            ShowWindow(window, SW_SHOWNOACTIVATE);
        }
    }
}

}  // namespace

void CoverOtherMonitors(HostState& host) {
    EnumDisplayMonitorsProc enumerate =
        EntryPointAs<EnumDisplayMonitorsProc>(User32Entry(host, EnumDisplayMonitorsEntry));
    GetMonitorInfoAProc describe = EntryPointAs<GetMonitorInfoAProc>(User32Entry(host, GetMonitorInfoAEntry));
    if (enumerate == nullptr || describe == nullptr) {
        return;
    }
    MonitorList list = {};
    list.describe = describe;
    enumerate(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&list));
    RECT chosen[MaxOtherMonitors];
    uint32_t count = MonitorsToCover(list.rects, list.count, chosen, MaxOtherMonitors);
    // The windows' guard lets through only what the saver itself does to them.
    ++host.movingOwnWindows;
    PlaceOtherMonitorWindows(host, chosen, count);
    --host.movingOwnWindows;
}

void UncoverOtherMonitors(HostState& host) {
    OtherMonitorWindows& others = host.otherMonitors;
    // Destruction hides each window first.
    ++host.movingOwnWindows;
    while (others.count != 0) {
        // Taken off the list first: destruction sends messages, and they may come back here.
        HWND window = others.windows[--others.count];
        others.windows[others.count] = nullptr;
        DestroyWindow(window);
    }
    --host.movingOwnWindows;
}

LRESULT CALLBACK OtherMonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HostState& host = *currentHost;
    if (message == WM_MOUSEACTIVATE) {
        // A click here still asks to close, but leaves the keyboard with the saver window and
        // a password prompt over it in front.
        return MA_NOACTIVATE;
    }
    LRESULT result = 0;
    if (GuardWindow(host, window, message, wParam, lParam, &result)) {
        return result;
    }
    return OtherMonitorDefaultProc(host, window, message, wParam, lParam);
}
