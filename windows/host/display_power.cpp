// Where the platform reports the display's state (Windows Vista and later), the saver window
// hears when the display goes off and on again, so the show can rest meanwhile. Earlier
// systems lack the calls; there the show runs on as it always did.
#include "windows/host/host.h"

void WatchDisplayPower(HostState& host, HWND window) {
    RegisterPowerSettingNotificationProc registerNotification = EntryPointAs<RegisterPowerSettingNotificationProc>(
        User32Entry(host, RegisterPowerSettingNotificationEntry));
    if (registerNotification != nullptr) {
        const DWORD toWindow = 0;  // DEVICE_NOTIFY_WINDOW_HANDLE
        host.displayNotification = registerNotification(window, &kConsoleDisplayState, toWindow);
    }
}

void StopWatchingDisplayPower(HostState& host) {
    if (host.displayNotification == nullptr) {
        return;
    }
    UnregisterPowerSettingNotificationProc unregisterNotification = EntryPointAs<UnregisterPowerSettingNotificationProc>(
        User32Entry(host, UnregisterPowerSettingNotificationEntry));
    if (unregisterNotification != nullptr) {
        unregisterNotification(host.displayNotification);
    }
    host.displayNotification = nullptr;
}
