// Where the platform reports the display's state (Windows Vista and later), the saver window
// hears when the display goes off and on again, so the show can rest meanwhile. Earlier
// systems lack the calls; there the show runs on as it always did.
#include "windows/host/host.h"

namespace {

PowerNotification displayNotification = nullptr;

FARPROC User32EntryPoint(const char* name) {
    HMODULE user32 = GetModuleHandleA("USER32.DLL");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}

}  // namespace

void WatchDisplayPower(HWND window) {
    RegisterPowerSettingNotificationProc registerNotification =
        EntryPointAs<RegisterPowerSettingNotificationProc>(User32EntryPoint("RegisterPowerSettingNotification"));
    if (registerNotification != nullptr) {
        const DWORD toWindow = 0;  // DEVICE_NOTIFY_WINDOW_HANDLE
        displayNotification = registerNotification(window, &kConsoleDisplayState, toWindow);
    }
}

void StopWatchingDisplayPower(void) {
    if (displayNotification == nullptr) {
        return;
    }
    UnregisterPowerSettingNotificationProc unregisterNotification = EntryPointAs<UnregisterPowerSettingNotificationProc>(
        User32EntryPoint("UnregisterPowerSettingNotification"));
    if (unregisterNotification != nullptr) {
        unregisterNotification(displayNotification);
    }
    displayNotification = nullptr;
}

BOOL HostHearsDisplayPower(void) {
    return displayNotification != nullptr;
}
