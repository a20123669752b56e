// The host's one record of the run, in a unit of its own: every part of the host reads it, and
// none has to reach into another part for it.
#include "windows/host/host.h"

#define HOST_STATE_INITIAL_VALUES                                                                  \
    {                                                                                              \
        nullptr, nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 4, 0xFFFFFFFFu, \
        {0, 0}, 0, InitialSettings()                                                             \
    }

HostState hostState = HOST_STATE_INITIAL_VALUES;
const HostState initialHostState = HOST_STATE_INITIAL_VALUES;
