#include "linux/sound/alsa_show_port.h"

#include <time.h>

#include "core/embedded_assets.h"
#include "core/show_assets.h"

uint64_t MonotonicMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

SoundLoad AlsaShowPort::LoadSound(SoundIndex sound) {
    const EmbeddedAsset* asset = FindEmbeddedAsset(kSoundFiles[sound]);
    return asset != nullptr && player_.Load(sound, asset->bytes, asset->size) ? SoundReady : SoundMissing;
}

void AlsaShowPort::ReleaseSound(SoundIndex sound) {
    player_.Release(sound);
}

uint32_t AlsaShowPort::PlaySound(SoundIndex sound, SoundCue cue) {
    return player_.Play(sound, cue, MonotonicMs());
}

void AlsaShowPort::StopSound(SoundStop) {
    player_.Stop();
}

void AlsaShowPort::SetVolume(int32_t volume) {
    savedVolume_ = player_.Volume();
    player_.SetVolume(volume);
}

void AlsaShowPort::RestoreVolume() {
    player_.SetVolume(savedVolume_);
}

// The show keeps its own time here (RunShow); the platform's loop only waits for it.
bool AlsaShowPort::ArmTimer(uint32_t) {
    return true;
}

void AlsaShowPort::KillTimer() {}

uint32_t AlsaShowPort::ClockSeconds() {
    return static_cast<uint32_t>(time(nullptr));
}
