// Where a Linux port's sounds go: a backend chosen at start, whatever draws. ALSA's player
// where the build has ALSA and the show has sound; otherwise silence, which takes every sound
// and plays none, as a player whose device is missing does, so the show rides the same.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "core/show_port.h"

class SoundBackend {
public:
    virtual ~SoundBackend() = default;

    // A sound from its RIFF WAVE image; false when it cannot be played.
    virtual bool Load(SoundIndex sound, const uint8_t* wave, size_t size) = 0;
    virtual void Release(SoundIndex sound) = 0;
    // Starts getting the device ready, so that it is there (or known to be missing) by the
    // first cue.
    virtual void Open() = 0;
    // Starts a sound as the cue says, in place of whatever plays, and returns how long the show
    // must still wait: the sound's length for PlayAndWait when it is heard, else 0.
    virtual uint32_t Play(SoundIndex sound, SoundCue cue, uint64_t nowMs) = 0;
    virtual void Stop() = 0;
    // 0 (silent) to 255; the show's own samples only, never the mixer.
    virtual void SetVolume(int32_t volume) = 0;
    virtual int32_t Volume() const = 0;
    // Stops and gives the device back.
    virtual void Close() = 0;
};

// The backend of a show without sound, or of a build without ALSA.
std::unique_ptr<SoundBackend> SilentSound();
