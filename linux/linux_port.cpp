#include "linux/linux_port.h"

#include <utility>

#include "core/embedded_assets.h"
#include "core/show_assets.h"
#include "linux/clock.h"

LinuxPort::LinuxPort() : sound_(SilentSound()) {}

void LinuxPort::UseSound(std::unique_ptr<SoundBackend> sound) {
    sound_->Close();
    sound_ = std::move(sound);
}

SoundLoad LinuxPort::LoadSound(SoundIndex sound) {
    const EmbeddedAsset* asset = FindEmbeddedAsset(kSoundFiles[sound]);
    return asset != nullptr && sound_->Load(sound, asset->bytes, asset->size) ? SoundReady : SoundMissing;
}

void LinuxPort::ReleaseSound(SoundIndex sound) {
    sound_->Release(sound);
}

uint32_t LinuxPort::PlaySound(SoundIndex sound, SoundCue cue) {
    return sound_->Play(sound, cue, MonotonicMs());
}

void LinuxPort::StopSound(SoundStop) {
    sound_->Stop();
}

void LinuxPort::SetVolume(int32_t volume) {
    savedVolume_ = sound_->Volume();
    sound_->SetVolume(volume);
}

void LinuxPort::RestoreVolume() {
    sound_->SetVolume(savedVolume_);
}

// The show keeps its own time here (RunShow); the platform's loop only waits for it.
bool LinuxPort::ArmTimer(uint32_t) {
    return true;
}

void LinuxPort::KillTimer() {}

uint32_t LinuxPort::ClockSeconds() {
    return CalendarSeconds();
}
