#include "linux/sound/sound_backend.h"

#include "core/wave_sound.h"

namespace {

class Silence : public SoundBackend {
public:
    bool Load(SoundIndex, const uint8_t* wave, size_t size) override {
        WaveFormat format;
        return ReadWave(wave, size, &format);
    }
    void Release(SoundIndex) override {}
    void Open() override {}
    uint32_t Play(SoundIndex, SoundCue, uint64_t) override { return 0; }
    void Stop() override {}
    void SetVolume(int32_t volume) override { volume_ = volume; }
    int32_t Volume() const override { return volume_; }
    void Close() override {}

private:
    int32_t volume_ = 255;
};

}  // namespace

std::unique_ptr<SoundBackend> SilentSound() {
    return std::make_unique<Silence>();
}
