// rolvanta as a native Wayland client: the same show on a canvas of memory pixels, handed to
// the compositor in wl_shm buffers. As a screen saver it covers every output with a full-screen
// surface, rides on one of them, and ends on the first input; with -window it is an ordinary
// window.
#pragma once

#include <signal.h>

#include "linux/options.h"

// Runs until input (screen-saver mode), the window's close, a signal (the flag set and a byte
// written to signalFd) or the compositor's end; returns the exit status. Whatever stops it
// from starting, or ends it from outside, is said in one line on standard error.
int RunWaylandShow(const LinuxOptions& options, int signalFd, volatile sig_atomic_t* signalled);
