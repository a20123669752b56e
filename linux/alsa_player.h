// The show's sound player on ALSA. One stream, fed from the frame loop a little ahead of the
// clock: nothing here blocks or sleeps. Without a sound device it stays silent and says
// nothing; the show rides on.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

#include "core/wave_sound.h"
#include "core/show_port.h"

typedef struct _snd_pcm snd_pcm_t;

class AlsaPlayer {
public:
    AlsaPlayer() = default;
    AlsaPlayer(const AlsaPlayer&) = delete;
    AlsaPlayer& operator=(const AlsaPlayer&) = delete;
    ~AlsaPlayer();

    bool Load(SoundIndex sound, const uint8_t* wave, size_t size);
    void Release(SoundIndex sound);
    // Starts a sound as the cue says and returns how long the show must still wait: the
    // sound's remaining length for PlayAndWait, else 0. A cue that comes while a waited-for
    // sound still plays follows it, as it would after a player that blocks.
    uint32_t Play(SoundIndex sound, SoundCue cue, uint64_t nowMs);
    void Stop();
    // 16 bits a channel, left in the low word; applies to the show's own samples only.
    void SetVolume(uint32_t volume) { volume_ = volume; }
    uint32_t Volume() const { return volume_; }
    // Hands the device what has come due; returns the milliseconds until it wants to run
    // again, or -1 when nothing plays.
    int Pump(uint64_t nowMs);
    // Stops and gives the device back.
    void Close();

private:
    struct Voice {
        SoundIndex sound;
        bool loop;
    };

    bool Open();
    uint64_t QueuedFrames() const;

    // A sound is converted on its first cue: a show without sound never holds the samples.
    WaveFormat formats_[SoundCount];
    std::vector<int16_t> sounds_[SoundCount];
    bool loaded_[SoundCount] = {};
    snd_pcm_t* pcm_ = nullptr;
    bool unavailable_ = false;
    std::deque<Voice> voices_;
    size_t position_ = 0;  // frames of the first voice already handed on
    uint64_t waitUntilMs_ = 0;
    bool streaming_ = false;
    uint64_t streamStartMs_ = 0;
    uint64_t framesSent_ = 0;
    uint32_t volume_ = 0xFFFFFFFFu;
    std::vector<int16_t> scratch_;
};
