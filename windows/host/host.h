// The saver host: start-up and run modes, the saver window, input watch and close control,
// and the binding to the platform's password components.
#pragma once

#include "core/settings.h"
#include "windows/dialog/config_dialog.h"
#include "windows/platform/winapi.h"
#include "windows/show/settings_store_win32.h"
#include "windows/show/show_win32.h"

enum RunMode { Configure, Saver, Preview, ChangePassword };

// The other monitors: black windows over every monitor but the one the saver window covers.
#define MaxOtherMonitors 16

struct OtherMonitorWindows {
    HWND windows[MaxOtherMonitors];
    uint32_t count;
    uint32_t classRegistered;
};

// What the guard of the full-screen windows keeps: where each stood when first seen or when
// the saver last placed it, as WM_WINDOWPOSCHANGED (which always holds the final place)
// reported it, since a change asked for with SWP_NOSENDCHANGING never shows
// WM_WINDOWPOSCHANGING and can only be undone once done.
struct HeldPlace {
    HWND window;
    WINDOWPOS place;
};

struct WindowGuardState {
    HeldPlace heldPlaces[1 + MaxOtherMonitors];
    HRGN scratchRegion;  // made once, to ask for a window's region
    uint32_t ticks;
};

// The user32 calls newer than Windows 95, each looked up once a run (User32Entry): never
// imported, so that the saver still loads there.
enum User32EntryId {
    GetAncestorEntry,
    EnumDisplayMonitorsEntry,
    GetMonitorInfoAEntry,
    RegisterPowerSettingNotificationEntry,
    UnregisterPowerSettingNotificationEntry,
    GetDpiForWindowEntry,
    MonitorFromWindowEntry,
    ShowWindowAsyncEntry,
    User32EntryCount
};

// The host's one record of the run: what the host, the guard, the show and the dialog keep,
// each part lent to the calls that need it.
struct HostState {
    HINSTANCE instance = nullptr;
    HWND saverWindow = nullptr;
    uint32_t isPreview = 0;
    uint32_t closeAllowed = 0;
    uint32_t inPasswordCheck = 0;
    HMODULE passwordModule = nullptr;
    VerifyScreenSavePwdProc verifyPassword = nullptr;
    HMODULE imeModule = nullptr;
    ImmAssociateContextProc imeAssociateContext = nullptr;
    HIMC savedImeContext = nullptr;
    uint32_t isWin9x = 0;
    uint32_t mouseMoveThreshold = 4;
    uint32_t lastCheckTick = 0xFFFFFFFFu;
    POINT savedCursorPos = {0, 0};
    uint32_t movingOwnWindows = 0;  // nonzero while the saver moves its own full-screen windows
    SaverSettings settings = InitialSettings();  // the show's and the dialog's, lent to them
    // The host's private message, sent to its own window while a close is being checked. Its
    // number is drawn at each start (ChooseVerifyPasswordMessage), so that no other program can
    // know it in advance.
    UINT verifyPasswordMessage = WM_APP;
    PowerNotification displayNotification = nullptr;
    HHOOK timerHook = nullptr;
    uintptr_t heartbeatTimer = 0;  // the guard's, while a password guards the run
    uintptr_t remakeTimer = 0;  // while the saver window cannot be made again
    FARPROC user32[User32EntryCount] = {};
    uint32_t user32LookedUp = 0;  // a bit an entry
    OtherMonitorWindows otherMonitors = {};
    WindowGuardState guard = {};
    SaverShow show;
    SettingsStore store;
    ConfigDialogState dialog = {};
};

// The one way in for what the platform calls with no room for the record (the window and
// dialog procedures, the message hook): the run's record, set as the run starts.
extern HostState* currentHost;

// A user32 entry point, looked up the first time it is asked for; null where the platform
// lacks it.
FARPROC User32Entry(HostState& host, User32EntryId entry);

// Start-up and run modes.
int WINAPI HostEntry(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandText, int showState);
void HostStart(HostState& host);
int32_t DispatchRunMode(HostState& host, HINSTANCE instance, const char* argumentText);
int32_t RunPreview(HostState& host, const char* text);
int32_t RunConfigure(HostState& host, HWND owner);
int32_t RunChangePassword(const char* text);

// The saver window.
int32_t RunSaverWindow(HostState& host, HWND parent);
// Every message to the saver window passes HostWindowProc, then ShowStage: the show's own
// procedure, with what it needs of the host, and for every message the show does not answer
// completely the host's default handling.
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ShowStage(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Input watch and close control.
void ChooseVerifyPasswordMessage(HostState& host);
// The last stop of every message the show does not answer itself: input becomes a close
// request, a close is checked against the password, the cursor stays hidden.
LRESULT HostDefaultProc(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
uint32_t VerifyOnClose(HostState& host, HWND window);
uint32_t TickDifference(uint32_t earlier, uint32_t later);

// The side of the block each picture pixel becomes on the monitor that shows the window, by
// the newest of the platform's ways to tell a window's dots per inch that it offers.
int32_t WindowPixelScale(HostState& host, HWND window);
// After the monitors changed (added, removed, resized, or another scale): the saver window
// covers the primary monitor again, the others get their black windows again, and the show
// takes the new size and scale from its next ride.
void RecoverMonitors(HostState& host, HWND saverWindow);

// The display's power state, where the platform reports it (full screen only).
void WatchDisplayPower(HostState& host, HWND window);
void StopWatchingDisplayPower(HostState& host);

// Of the monitors' rectangles, those that get a window of their own, written to chosen;
// returns how many.
uint32_t MonitorsToCover(const RECT* monitors, uint32_t count, RECT* chosen, uint32_t capacity);
// Also when the monitors change: the black windows then follow them.
void CoverOtherMonitors(HostState& host);
void UncoverOtherMonitors(HostState& host);
LRESULT CALLBACK OtherMonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT OtherMonitorDefaultProc(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Password hooks.
void LoadPasswordHooks(HostState& host);
void UnloadPasswordHooks(HostState& host);
void SetSaverRunning(const HostState& host, uint32_t running);
void ChangeSaverPassword(HWND parent);
