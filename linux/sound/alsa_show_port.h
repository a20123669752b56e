// What every Linux port of the show has in common, whatever it draws on (an X11 window, a
// Wayland buffer): the sounds, played by the ALSA player on a thread of its own, and the
// show's own time, which RunShow keeps while the platform's loop only waits.
#pragma once

#include <stdint.h>

#include "core/show_port.h"
#include "linux/sound/alsa_player.h"

class AlsaShowPort : public ShowPort {
public:
    AlsaPlayer& Player() { return player_; }

    SoundLoad LoadSound(SoundIndex sound) override;
    void ReleaseSound(SoundIndex sound) override;
    uint32_t PlaySound(SoundIndex sound, SoundCue cue) override;
    void StopSound(SoundStop stop) override;
    void SetVolume(int32_t volume) override;
    void RestoreVolume() override;
    bool ArmTimer(uint32_t milliseconds) override;
    void KillTimer() override;
    uint32_t ClockSeconds() override;

protected:
    ~AlsaShowPort() = default;

    AlsaPlayer player_;

private:
    int32_t savedVolume_ = 255;
};

// Milliseconds of a clock that never steps back.
uint64_t MonotonicMs();
