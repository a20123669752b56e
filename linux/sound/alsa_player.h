// The show's sound player on ALSA. The device belongs to a thread of the player's own, which
// keeps the stream a little ahead of the clock; the show only hands it cues and is never held
// up by the device: one that blocks (a full pipe, a hung server) stalls the sound and nothing
// else. Without a sound device it stays silent and says nothing; the show rides on.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <thread>

#include "core/wave_sound.h"
#include "core/show_port.h"
#include "linux/sound/sound_backend.h"

class AlsaPlayer : public SoundBackend {
public:
    AlsaPlayer() = default;
    AlsaPlayer(const AlsaPlayer&) = delete;
    AlsaPlayer& operator=(const AlsaPlayer&) = delete;
    ~AlsaPlayer() override;

    bool Load(SoundIndex sound, const uint8_t* wave, size_t size) override;
    void Release(SoundIndex sound) override;
    void Open() override;
    uint32_t Play(SoundIndex sound, SoundCue cue, uint64_t nowMs) override;
    void Stop() override;
    void SetVolume(int32_t volume) override;
    int32_t Volume() const override { return volume_; }
    // A device that does not let go is left to the exit.
    void Close() override;

private:
    struct Stream;  // what the show and the player's thread share, under its lock
    static void Run(std::shared_ptr<Stream> stream);

    // A sound is converted on its first cue: a show without sound never holds the samples.
    WaveFormat formats_[SoundCount];
    bool loaded_[SoundCount] = {};
    bool converted_[SoundCount] = {};
    int32_t volume_ = 255;
    std::shared_ptr<Stream> stream_;
    std::thread thread_;
};
