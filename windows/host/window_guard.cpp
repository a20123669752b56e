// The guard of the saver's full-screen windows (the saver window and the black windows over the
// other monitors) against other programs: whatever another program does to one of them, it
// stays where the saver put it, shown and top-most.
#include "windows/host/window_guard.h"

#include "windows/host/host.h"

namespace {

// Whether a window placed after insertAfter stays among the top-most windows.
bool StaysOnTop(HWND insertAfter) {
    return insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST ||
           (insertAfter != HWND_NOTOPMOST && insertAfter != HWND_BOTTOM &&
            (GetWindowLongA(insertAfter, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
}

// Whether a change, as WM_WINDOWPOSCHANGED reports it, left the window where it stood.
bool KeptInPlace(const WINDOWPOS& change) {
    return (change.flags & (SWP_NOMOVE | SWP_NOSIZE)) == (SWP_NOMOVE | SWP_NOSIZE) &&
           (change.flags & SWP_HIDEWINDOW) == 0 &&
           ((change.flags & SWP_NOZORDER) != 0 || StaysOnTop(change.hwndInsertAfter));
}

// Where each full-screen window stood when first seen or when the saver last placed it, as
// WM_WINDOWPOSCHANGED, which always holds the final place, reported it. A change asked for with
// SWP_NOSENDCHANGING never shows WM_WINDOWPOSCHANGING: it can only be undone once done.
struct HeldPlace {
    HWND window;
    WINDOWPOS place;
};
HeldPlace heldPlaces[1 + MaxOtherMonitors];

HeldPlace* HeldPlaceOf(HWND window, const WINDOWPOS& now) {
    HeldPlace* unused = nullptr;
    for (HeldPlace& held : heldPlaces) {
        if (held.window == window) {
            return &held;
        }
        if (unused == nullptr && (held.window == nullptr || !IsWindow(held.window))) {
            unused = &held;
        }
    }
    if (unused != nullptr) {
        *unused = HeldPlace{window, now};
    }
    return unused;
}

}  // namespace

void HoldWindowInPlace(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    bool foreign = hostState.movingOwnWindows == 0;
    if (message == WM_STYLECHANGING) {
        // Styles say as much as places: shown, minimised or maximised, top-most.
        STYLESTRUCT* style = reinterpret_cast<STYLESTRUCT*>(lParam);
        const DWORD kKept = wParam == static_cast<WPARAM>(GWL_STYLE) ? WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE
                                                                      : WS_EX_TOPMOST;
        if (foreign && RecordUsable(style, sizeof(*style), TRUE)) {
            style->styleNew = (style->styleNew & ~kKept) | (style->styleOld & kKept);
        }
        return;
    }
    WINDOWPOS* change = reinterpret_cast<WINDOWPOS*>(lParam);
    if (!RecordUsable(change, sizeof(*change), TRUE)) {
        return;
    }
    if (message == WM_WINDOWPOSCHANGING) {
        if (foreign) {
            change->flags = (change->flags | SWP_NOMOVE | SWP_NOSIZE) & ~static_cast<UINT>(SWP_HIDEWINDOW);
            change->flags |= StaysOnTop(change->hwndInsertAfter) ? 0 : SWP_NOZORDER;
        }
        return;
    }
    HeldPlace* held = HeldPlaceOf(window, *change);
    // A minimise marks the window minimised before its move is asked for, so it is undone once
    // done; the rectangle it kept is the one it returns to.
    bool minimised = (GetWindowLongA(window, GWL_STYLE) & WS_MINIMIZE) != 0;
    if (!foreign && held != nullptr) {
        held->place = *change;
    }
    if (!foreign || (!minimised && KeptInPlace(*change))) {
        return;
    }
    ++hostState.movingOwnWindows;
    if (minimised) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
    } else if (held != nullptr) {
        const WINDOWPOS& place = held->place;
        SetWindowPos(window, HWND_TOPMOST, place.x, place.y, place.cx, place.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    --hostState.movingOwnWindows;
}
