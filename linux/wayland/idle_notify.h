// Idleness as the compositor tells it: ext-idle-notify-v1 where it offers that, else KDE's idle
// protocol (sway 1.7 and cage have only the latter), on a connection of the idle start's own.
#pragma once

#include <signal.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "linux/idle_cycle.h"

// A source that says Idle after `ms` without input on the compositor's first seat. Null where
// the compositor offers neither protocol or no seat; null with *error set where it cannot be
// reached or does not answer. A signal (the flag set, a byte on signalFd) ends any wait.
std::unique_ptr<IdleSource> OpenWaylandIdle(uint32_t ms, int signalFd, volatile sig_atomic_t* signalled,
                                            std::string* error);
