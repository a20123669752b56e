#include "platform/winapi.h"

#include <time.h>

uint32_t ClockSeconds(void) {
    return static_cast<uint32_t>(time(nullptr));
}
