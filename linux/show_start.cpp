#include "linux/show_start.h"

#include <time.h>
#include <unistd.h>

#if ROLVANTA_ALSA
#include "linux/sound/alsa_player.h"
#endif

namespace {

// ALSA's player when the show has sound and the build has ALSA, else silence.
std::unique_ptr<SoundBackend> ChooseSound(bool wanted) {
#if ROLVANTA_ALSA
    if (wanted) {
        return std::make_unique<AlsaPlayer>();
    }
#else
    (void)wanted;
#endif
    return SilentSound();
}

// Where a show's chance starts when no --seed names it. XScreenSaver starts one module per
// monitor in the same second, so the calendar second alone would give every monitor the same
// rides; the steady clock's nanoseconds and the process id differ between them.
uint32_t InstanceSeed() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint32_t seed = static_cast<uint32_t>(time(nullptr)) ^ static_cast<uint32_t>(now.tv_nsec) ^
                    static_cast<uint32_t>(now.tv_sec) * 2654435761u;
    return seed ^ static_cast<uint32_t>(getpid()) * 40503u;
}

}  // namespace

void StartShow(Show& show, LinuxPort& port, const LinuxOptions& options) {
    // A show without sound never plays one: it needs no device.
    port.UseSound(ChooseSound(options.settings.sound != 0));
    CreateShow(show, port, options.settings);
    port.Sound().Open();
    SeedRandom(show, options.seeded ? options.seed : InstanceSeed());
    if (options.stepLimited) {
        HoldShowAfter(show, options.steps);
    }
    // -delay, as XScreenSaver's modules take it: the floor a 1 ms timer has, 10 ms unless told.
    FloorShowTicks(show, static_cast<uint32_t>(options.delayMicroseconds) / 1000u);
}
