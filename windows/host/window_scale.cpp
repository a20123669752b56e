// How large the saver's pictures are drawn on the monitor that shows them, and what follows when
// the monitors change under a running saver.
#include "core/screen_scale.h"
#include "windows/host/host.h"
#include "windows/show/show_win32.h"

namespace {

// Every call newer than Windows 95 is looked up here, never imported: the saver must still load
// there. Each newer way answers for the window's own monitor; the device context answers for
// the system as a whole, which is all that Windows before 8.1 knows.
UINT WindowDpi(HostState& host, HWND window) {
    GetDpiForWindowProc forWindow = EntryPointAs<GetDpiForWindowProc>(User32Entry(host, GetDpiForWindowEntry));
    UINT dpi = forWindow != nullptr ? forWindow(window) : 0;
    if (dpi != 0) {
        return dpi;
    }
    // Without monitors there is no shcore either: no library load that can only fail.
    MonitorFromWindowProc monitorOf = EntryPointAs<MonitorFromWindowProc>(User32Entry(host, MonitorFromWindowEntry));
    HMODULE shcore = monitorOf != nullptr ? LoadLibraryA("SHCORE.DLL") : nullptr;
    if (shcore != nullptr) {
        GetDpiForMonitorProc forMonitor =
            EntryPointAs<GetDpiForMonitorProc>(GetProcAddress(shcore, "GetDpiForMonitor"));
        UINT dpiY = 0;
        if (forMonitor != nullptr && forMonitor(monitorOf(window, kMonitorNearest), kEffectiveDpi, &dpi, &dpiY) != 0) {
            dpi = 0;
        }
        FreeLibrary(shcore);
        if (dpi != 0) {
            return dpi;
        }
    }
    HDC dc = GetDC(window);
    int systemDpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(window, dc);
    return systemDpi > 0 ? static_cast<UINT>(systemDpi) : 0;
}

}  // namespace

int32_t WindowPixelScale(HostState& host, HWND window) {
    return PixelScaleForDpi(static_cast<int32_t>(WindowDpi(host, window)));
}

void RecoverMonitors(HostState& host, HWND saverWindow) {
    // The saver's own move: whatever keeps other programs from moving its windows lets it pass.
    ++host.movingOwnWindows;
    SetWindowPos(saverWindow, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    --host.movingOwnWindows;
    CoverOtherMonitors(host);
    ScaleShow(host.show, saverWindow, WindowPixelScale(host, saverWindow));
}
