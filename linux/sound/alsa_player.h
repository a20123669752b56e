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

class AlsaPlayer {
public:
    AlsaPlayer() = default;
    AlsaPlayer(const AlsaPlayer&) = delete;
    AlsaPlayer& operator=(const AlsaPlayer&) = delete;
    ~AlsaPlayer();

    bool Load(SoundIndex sound, const uint8_t* wave, size_t size);
    void Release(SoundIndex sound);
    // Starts opening the device, so that it is ready (or known to be missing) by the first cue.
    void Open();
    // Starts a sound as the cue says, in place of whatever plays, and returns how long the show
    // must still wait: the sound's length for PlayAndWait, else 0.
    uint32_t Play(SoundIndex sound, SoundCue cue, uint64_t nowMs);
    void Stop();
    // 0 (silent) to 255; scales the show's own samples only, never the mixer.
    void SetVolume(int32_t volume);
    int32_t Volume() const { return volume_; }
    // Stops and gives the device back; a device that does not let go is left to the exit.
    void Close();

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
