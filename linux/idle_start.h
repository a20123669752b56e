// rolvanta --idle: the screen saver started by the desktop's own idleness, for desktops whose
// idle daemon is not there to start it (GNOME has none that runs a command).
#pragma once

#include <signal.h>

#include "linux/options.h"

// Waits, shows and waits again until a signal; the exit status. Only one waits on a display:
// a second ends at once with 0, saying so. No idle source, or no Wayland desktop: one line, 1.
int RunIdleStart(const LinuxOptions& options, int signalFd, volatile sig_atomic_t* signalled);
