// The guard of the saver's full-screen windows (the saver window and the black windows over the
// other monitors) against other programs: whatever another program does to one of them, it
// stays where the saver put it, shown, top-most, enabled, whole and nobody's child.
#include "windows/host/window_guard.h"

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

HeldPlace* KnownPlaceOf(HostState& host, HWND window) {
    for (HeldPlace& held : host.guard.heldPlaces) {
        if (held.window == window) {
            return &held;
        }
    }
    return nullptr;
}

HeldPlace* HeldPlaceOf(HostState& host, HWND window, const WINDOWPOS& now) {
    HeldPlace* unused = nullptr;
    for (HeldPlace& held : host.guard.heldPlaces) {
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

// Another program's SetParent makes the window a child of its own, which shows the desktop
// around it, takes its input, and destroys it with that window. GetParent answers a pop-up's
// owner, so the parent is asked for as Windows 98 and later can tell it; Windows 95 cannot.
bool Parented(HostState& host, HWND window) {
    GetAncestorProc ancestorOf = EntryPointAs<GetAncestorProc>(User32Entry(host, GetAncestorEntry));
    if (ancestorOf == nullptr) {
        return false;
    }
    HWND parent = ancestorOf(window, kAncestorParent);
    return parent != nullptr && parent != GetDesktopWindow();
}

// A window region lets the desktop show around it and input reach the windows beneath.
bool Clipped(HostState& host, HWND window) {
    HRGN& scratch = host.guard.scratchRegion;
    if (scratch == nullptr) {
        scratch = CreateRectRgn(0, 0, 0, 0);
    }
    return scratch != nullptr && GetWindowRgn(window, scratch) != 0;
}

// Keeps a full-screen window of the saver where the saver put it, shown and top-most, for its
// WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED and WM_STYLECHANGING.
void HoldWindowInPlace(HostState& host, HWND window, UINT message, LPARAM lParam) {
    bool foreign = host.movingOwnWindows == 0;
    if (message == WM_STYLECHANGING) {
        // Styles say as much as places, and more: a child's style takes the window out of the
        // top-most band and its keys, a layered and transparent one lets clicks through, a
        // disabled one takes no input. Another program changes none of them.
        STYLESTRUCT* style = reinterpret_cast<STYLESTRUCT*>(lParam);
        if (foreign && RecordUsable(style, sizeof(*style), TRUE)) {
            style->styleNew = style->styleOld;
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
    HeldPlace* held = HeldPlaceOf(host, window, *change);
    // A minimise marks the window minimised before its move is asked for, so it is undone once
    // done; the rectangle it kept is the one it returns to.
    bool minimised = (GetWindowLongA(window, GWL_STYLE) & WS_MINIMIZE) != 0;
    if (!foreign && held != nullptr) {
        held->place = *change;
    }
    if (!foreign || (!minimised && KeptInPlace(*change))) {
        return;
    }
    ++host.movingOwnWindows;
    if (minimised) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
    } else if (held != nullptr) {
        const WINDOWPOS& place = held->place;
        SetWindowPos(window, HWND_TOPMOST, place.x, place.y, place.cx, place.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    --host.movingOwnWindows;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwned(HWND candidate, LPARAM data) {
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(data);
    HWND owner = GetWindow(candidate, GW_OWNER);
    // A prompt (a dialog) whose owner another program destroyed is still the prompt: it is
    // owned again by the saver window made in its place.
    const ULONG_PTR kDialogClass = 32770;
    if (owner != search->owner &&
        (GetClassLongA(candidate, GCW_ATOM) != kDialogClass || (owner != nullptr && IsWindow(owner)))) {
        return TRUE;
    }
    search->found = candidate;
    return FALSE;
}

// The password prompt the window owns: a window of this thread, though of another module.
HWND OwnedWindow(HWND owner) {
    OwnedSearch search = {owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Puts back what the window lost: its styles are read each time, and its parent and region
// when whole is true (they ask the platform more).
void Repair(HostState& host, HWND window, bool whole) {
    if (host.movingOwnWindows != 0) {
        return;
    }
    DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    // While the password prompt is up, its dialog rightly disables its owner, and enables it
    // again as it closes.
    bool disabled = (style & WS_DISABLED) != 0 && !host.inPasswordCheck;
    bool parented = whole && Parented(host, window);
    bool clipped = whole && Clipped(host, window);
    if (!disabled && !parented && !clipped && (style & WS_VISIBLE) != 0 && (exStyle & WS_EX_TOPMOST) != 0) {
        return;
    }
    ++host.movingOwnWindows;
    if (parented) {
        SetParent(window, nullptr);
    }
    if (clipped) {
        SetWindowRgn(window, nullptr, TRUE);
    }
    if (disabled) {
        EnableWindow(window, TRUE);
    }
    const HeldPlace* held = KnownPlaceOf(host, window);
    if (held != nullptr) {
        const WINDOWPOS& place = held->place;
        SetWindowPos(window, HWND_TOPMOST, place.x, place.y, place.cx, place.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    HWND prompt = host.inPasswordCheck && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0
                      ? OwnedWindow(window)
                      : nullptr;
    if (prompt != nullptr) {
        // Some systems place a window taken to the top-most band behind the windows it owns,
        // and there, behind the password prompt, it stays out of the band. The prompt is let
        // go for the moment the window takes its place, then owned again and put over it.
        const UINT kOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
        SetWindowLongA(prompt, GWL_HWNDPARENT, 0);
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, kOrderOnly);
        SetWindowLongA(prompt, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(window)));
        SetWindowPos(prompt, HWND_TOPMOST, 0, 0, 0, 0, kOrderOnly);
    }
    --host.movingOwnWindows;
}

const uint32_t kTicksBetweenWholeChecks = 16;
const UINT kOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

bool OfThisThread(HWND window) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

bool Shown(HWND window) {
    return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The password prompt, whole and in view over the saver window: shown, with no region, on the
// screen, owned by the saver window and over it (raise: the saver window was just raised).
void KeepPrompt(HostState& host, HWND saver, HWND prompt, bool raise) {
    ShowOwnedPopups(saver, TRUE);
    if (GetWindow(prompt, GW_OWNER) != saver) {
        // As the prompt's dialog did with the window it was opened over: clicks on the saver
        // must not take the keyboard from the prompt.
        SetWindowLongA(prompt, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(saver)));
        EnableWindow(saver, FALSE);
        raise = true;
    }
    if (Clipped(host, prompt)) {
        SetWindowRgn(prompt, nullptr, TRUE);
    }
    RECT place = {};
    GetWindowRect(prompt, &place);
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    UINT flags = kOrderOnly | SWP_SHOWWINDOW;
    if (place.left < 0 || place.top < 0 || place.right > width || place.bottom > height) {
        flags &= ~static_cast<UINT>(SWP_NOMOVE);
        raise = true;
    }
    if (raise || !Shown(prompt)) {
        SetWindowPos(prompt, HWND_TOPMOST, (width - (place.right - place.left)) / 2,
                     (height - (place.bottom - place.top)) / 2, 0, 0, flags);
    }
}

}  // namespace

bool GuardWindow(HostState& host, HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_SETREDRAW:
        // The default procedure would clear the visible bit, and input would then pass to the
        // window beneath; the saver redraws as it always does.
        *result = 0;
        return true;
    case WM_WINDOWPOSCHANGING:
    case WM_STYLECHANGING:
        HoldWindowInPlace(host, window, message, lParam);
        return false;
    case WM_WINDOWPOSCHANGED:
        // A parent's change, and a window region's, come as this too.
        HoldWindowInPlace(host, window, message, lParam);
        KeepWindow(host, window);
        return false;
    case WM_STYLECHANGED:
    case WM_ENABLE:
    case WM_SHOWWINDOW:
        KeepWindow(host, window);
        return false;
    default:
        return false;
    }
}

void KeepWindow(HostState& host, HWND window) {
    Repair(host, window, true);
}

void CheckWindowOnTick(HostState& host, HWND window) {
    bool whole = ++host.guard.ticks % kTicksBetweenWholeChecks == 0;
    // ShowOwnedPopups(saver, FALSE) hides an open password prompt and tells the saver nothing;
    // showing them again brings back only what that hid.
    if (whole && host.inPasswordCheck) {
        ShowOwnedPopups(window, TRUE);
    }
    Repair(host, window, whole);
}

void GuardOnHeartbeat(HostState& host) {
    HWND saver = host.saverWindow;
    for (uint32_t i = 0; i < host.otherMonitors.count; ++i) {
        Repair(host, host.otherMonitors.windows[i], true);
    }
    Repair(host, saver, true);
    ++host.movingOwnWindows;
    // Another program's child inside the saver window takes its place on the screen and its keys.
    // It is hidden without waiting for its program, which may not be listening.
    ShowWindowAsyncProc hide = EntryPointAs<ShowWindowAsyncProc>(User32Entry(host, ShowWindowAsyncEntry));
    for (HWND child = GetWindow(saver, GW_CHILD); child != nullptr && hide != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        hide(child, SW_HIDE);
    }
    // Nothing of another program's stands above the saver, top-most or not.
    bool raise = false;
    for (HWND above = GetWindow(saver, GW_HWNDPREV); above != nullptr && !raise;
         above = GetWindow(above, GW_HWNDPREV)) {
        raise = Shown(above) && !OfThisThread(above);
    }
    if (raise) {
        SetWindowPos(saver, HWND_TOPMOST, 0, 0, 0, 0, kOrderOnly);
    }
    HWND prompt = host.inPasswordCheck ? OwnedWindow(saver) : nullptr;
    HWND keys = saver;
    if (prompt != nullptr) {
        KeepPrompt(host, saver, prompt, raise);
        keys = prompt;
    }
    // The keyboard is the saver's, or its prompt's: the foreground and the focus come back to
    // it from wherever another program took them, attached input included.
    if (GetForegroundWindow() != keys) {
        SetForegroundWindow(keys);
    }
    HWND focus = GetFocus();
    if (focus != keys && (focus == nullptr || !OfThisThread(focus) || GetParent(focus) != keys)) {
        SetFocus(keys);
    }
    --host.movingOwnWindows;
}
