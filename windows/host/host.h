// The saver host: start-up and run modes, the saver window, input watch and close control,
// and the binding to the platform's password components.
#pragma once

#include "core/settings.h"
#include "windows/platform/winapi.h"

enum RunMode { Configure, Saver, Preview, ChangePassword };

struct HostState {
    HINSTANCE instance;
    HWND saverWindow;
    uint32_t isPreview;
    uint32_t closeAllowed;
    uint32_t inPasswordCheck;
    HMODULE passwordModule;
    VerifyScreenSavePwdProc verifyPassword;
    HMODULE imeModule;
    ImmAssociateContextProc imeAssociateContext;
    HIMC savedImeContext;
    uint32_t isWin9x;
    uint32_t mouseMoveThreshold;
    uint32_t lastCheckTick;
    POINT savedCursorPos;
    uint32_t movingOwnWindows;  // nonzero while the saver moves its own full-screen windows
    SaverSettings settings;     // the show's and the dialog's, lent to them as they need it
};

extern HostState hostState;

// The values hostState holds when the process starts.
extern const HostState initialHostState;

// Start-up and run modes.
int WINAPI HostEntry(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandText, int showState);
void HostStart(void);
int32_t DispatchRunMode(HINSTANCE instance, const char* argumentText);
int32_t RunPreview(const char* text);
int32_t RunConfigure(HWND owner);
int32_t RunChangePassword(const char* text);

// The saver window.
int32_t RunSaverWindow(HWND parent);
// Every message to the saver window passes HostWindowProc, then ShowStage: the show's own
// procedure, with what it needs of the host, and for every message the show does not answer
// completely the host's default handling.
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ShowStage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Input watch and close control.
// The host's private message, sent to its own window while a close is being checked. Its
// number is drawn at each start (ChooseVerifyPasswordMessage), so that no other program can
// know it in advance.
extern UINT VerifyPasswordMessage;
void ChooseVerifyPasswordMessage(void);
// The last stop of every message the show does not answer itself: input becomes a close
// request, a close is checked against the password, the cursor stays hidden.
LRESULT HostDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
uint32_t VerifyOnClose(HWND window);
uint32_t TickDifference(uint32_t earlier, uint32_t later);

// The side of the block each picture pixel becomes on the monitor that shows the window, by
// the newest of the platform's ways to tell a window's dots per inch that it offers.
int32_t WindowPixelScale(HWND window);
// After the monitors changed (added, removed, resized, or another scale): the saver window
// covers the primary monitor again, the others get their black windows again, and the show
// takes the new size and scale from its next ride.
void RecoverMonitors(HWND saverWindow);

// The display's power state, where the platform reports it (full screen only).
void WatchDisplayPower(HWND window);
void StopWatchingDisplayPower(void);
// Nonzero while the saver window is registered for the display's power notices: only then
// can a notice come from the platform.
BOOL HostHearsDisplayPower(void);

// The other monitors: black windows over every monitor but the one the saver window covers.
#define MaxOtherMonitors 16

struct OtherMonitorWindows {
    HWND windows[MaxOtherMonitors];
    uint32_t count;
    uint32_t classRegistered;
};

extern OtherMonitorWindows otherMonitorWindows;

// Of the monitors' rectangles, those that get a window of their own, written to chosen;
// returns how many.
uint32_t MonitorsToCover(const RECT* monitors, uint32_t count, RECT* chosen, uint32_t capacity);
// Also when the monitors change: the black windows then follow them.
void CoverOtherMonitors(void);
void UncoverOtherMonitors(void);
LRESULT CALLBACK OtherMonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT OtherMonitorDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Password hooks.
void LoadPasswordHooks(void);
void UnloadPasswordHooks(void);
void SetSaverRunning(uint32_t running);
void ChangeSaverPassword(HWND parent);
