// The way in to the run's record for what the platform calls without it, and the user32 calls
// looked up at run time, in a unit of their own: every part of the host uses them, and none
// has to reach into another part for them.
#include "windows/host/host.h"

HostState* currentHost = nullptr;

namespace {

const char* const kUser32Names[User32EntryCount] = {"GetAncestor",
                                                    "EnumDisplayMonitors",
                                                    "GetMonitorInfoA",
                                                    "RegisterPowerSettingNotification",
                                                    "UnregisterPowerSettingNotification",
                                                    "GetDpiForWindow",
                                                    "MonitorFromWindow",
                                                    "ShowWindowAsync"};

}  // namespace

FARPROC User32Entry(HostState& host, User32EntryId entry) {
    uint32_t bit = 1u << entry;
    if ((host.user32LookedUp & bit) == 0) {
        host.user32LookedUp |= bit;
        HMODULE user = GetModuleHandleA("USER32.DLL");
        host.user32[entry] = user != nullptr ? GetProcAddress(user, kUser32Names[entry]) : nullptr;
    }
    return host.user32[entry];
}
