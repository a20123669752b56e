// The start both Linux backends give the show: created on their port with the command line's
// settings, the sound device opening, and the seed, step limit and -delay floor as asked.
#pragma once

#include "core/ride_engine.h"
#include "linux/options.h"
#include "linux/sound/alsa_show_port.h"

void StartShow(Show& show, AlsaShowPort& port, const LinuxOptions& options);
