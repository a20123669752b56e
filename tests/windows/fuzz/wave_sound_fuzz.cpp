// The sound reader over any bytes, copied to exactly their size: it returns (the replay's
// -timeout), reads none outside them (ASan, at either width of size_t), and a sound it accepts
// lies inside them and converts to whole stereo frames.
#include <cstdlib>
#include <vector>

#include "core/wave_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    WaveFormat wave;
    if (ReadWave(bytes.data(), size, &wave)) {
        std::vector<int16_t> frames;
        ConvertWave(wave, &frames);
        size_t room = static_cast<size_t>(bytes.data() + size - wave.data) / (wave.channels * wave.bits / 8);
        if (wave.data < bytes.data() || wave.frames > room || frames.empty() || frames.size() % kPlayerChannels != 0) {
            abort();
        }
    }
    return 0;
}
