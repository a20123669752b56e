// The sound reader over any bytes: it returns (libFuzzer's -timeout catches a loop), reads
// none outside them (ASan, also when size_t is 32 bits wide), and a sound it accepts has its
// samples inside the image and converts to the player's format.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/wave_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    WaveFormat wave;
    if (!ReadWave(bytes.data(), bytes.size(), &wave)) {
        return 0;
    }
    size_t frameBytes = wave.channels * wave.bits / 8;
    if (wave.data < bytes.data() || wave.frames == 0 ||
        wave.frames > (bytes.data() + size - wave.data) / frameBytes) {
        abort();
    }
    std::vector<int16_t> frames;
    ConvertWave(wave, &frames);
    if (frames.empty() || frames.size() % kPlayerChannels != 0) {
        abort();
    }
    return 0;
}
