// What every Linux port of the show has in common, whatever it draws on (an X11 window, a
// Wayland buffer): the sounds, handed to the sound backend chosen at start, and the show's own
// time, which RunShow keeps on the Linux clock while the platform's loop only waits.
#pragma once

#include <stdint.h>

#include <memory>

#include "core/show_port.h"
#include "linux/sound/sound_backend.h"

class LinuxPort : public ShowPort {
public:
    // Where the sounds go from now on; silence until a backend is chosen.
    void UseSound(std::unique_ptr<SoundBackend> sound);
    SoundBackend& Sound() { return *sound_; }

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
    LinuxPort();
    ~LinuxPort() = default;

private:
    std::unique_ptr<SoundBackend> sound_;
    int32_t savedVolume_ = 255;
};
