// The start both Linux drawing backends give the show: the sound backend chosen, the show
// created on their port with the command line's settings, the sound device opening, and the
// seed, step limit and -delay floor as asked.
#pragma once

#include "core/ride_engine.h"
#include "linux/options.h"
#include "linux/linux_port.h"

void StartShow(Show& show, LinuxPort& port, const LinuxOptions& options);
