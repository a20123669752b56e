#include "linux/idle_start.h"

#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "linux/bus_lock_state.h"
#include "linux/gnome_idle.h"
#include "linux/idle_cycle.h"
#include "linux/wayland/idle_notify.h"
#include "linux/wayland/saver_lock.h"
#include "linux/wayland/wayland_client.h"

int RunIdleStart(const LinuxOptions& options, int signalFd, volatile sig_atomic_t* signalled) {
    const char* display = getenv("WAYLAND_DISPLAY");
    if (!SpeaksWayland(options, display, getenv("XSCREENSAVER_WINDOW"))) {
        fputs("rolvanta: --idle waits on a Wayland desktop, and WAYLAND_DISPLAY is not set\n", stderr);
        return 1;
    }
    if (TakeIdleLock(getenv("XDG_RUNTIME_DIR"), display) == SaverLock::Held) {
        fprintf(stderr, "rolvanta: another rolvanta --idle already waits on %s\n",
                display != nullptr ? display : "wayland-0");
        return 0;
    }
    std::string error;
    std::unique_ptr<IdleSource> source = OpenWaylandIdle(options.idleMs, signalFd, signalled, &error);
    if (source == nullptr && error.empty()) {
        source = OpenGnomeIdle(options.idleMs, signalFd, signalled);
        if (source == nullptr) {
            error = "the desktop offers no idle source (ext-idle-notify-v1, org_kde_kwin_idle, or "
                    "org.gnome.Mutter.IdleMonitor on the session bus)";
        }
    }
    if (*signalled) {
        return 0;  // ended while it looked for a source, which it may not have found for that
    }
    int status = 1;
    if (source != nullptr) {
        IdleCycle cycle;
        cycle.source = source.get();
        cycle.screenLocked = ScreenLockedOnBus;
        cycle.show = [&]() {
            int shown = RunWaylandShow(options, signalFd, signalled);
            ReleaseSaverLock();
            return shown;
        };
        status = RunIdleCycle(cycle, &error);
    }
    if (!error.empty()) {
        fprintf(stderr, "rolvanta: %s\n", error.c_str());
    }
    return status;
}
