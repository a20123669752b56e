// The show on X11: in the window XScreenSaver gives it, one named by id, the root window or a
// window of the program's own, with the frame loop waiting on the X connection and the signals.
#pragma once

#include <signal.h>

#include "linux/options.h"

// Runs until the window goes, its own window is closed, or a signal (the flag set and a byte
// written to signalFd) ends it; returns the exit status. Whatever stops it from starting is
// said in one line on standard error.
int RunX11Show(const LinuxOptions& options, int signalFd, volatile sig_atomic_t* signalled);
