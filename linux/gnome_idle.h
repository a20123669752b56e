// Idleness as GNOME's compositor tells it on the session bus: mutter offers no Wayland idle
// protocol, only its IdleMonitor (org.gnome.Mutter.IdleMonitor).
#pragma once

#include <signal.h>
#include <stdint.h>

#include <memory>

#include "linux/idle_cycle.h"

// A source that says Idle each time the session has been idle for `ms` (mutter re-arms the
// watch on input). Null where there is no session bus or nobody there owns the monitor.
std::unique_ptr<IdleSource> OpenGnomeIdle(uint32_t ms, int signalFd, volatile sig_atomic_t* signalled);
