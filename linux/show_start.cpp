#include "linux/show_start.h"

void StartShow(Show& show, AlsaShowPort& port, const LinuxOptions& options) {
    CreateShow(show, port, options.settings);
    if (options.settings.sound) {
        port.Player().Open();
    }
    if (options.seeded) {
        SeedRandom(show, options.seed);
    }
    if (options.stepLimited) {
        show.schedule.tickLimit = options.steps;
    }
    // -delay, as XScreenSaver's modules take it: the floor a 1 ms timer has, 10 ms unless told.
    show.schedule.floorMs = static_cast<uint32_t>(options.delayMicroseconds) / 1000u;
}
