#include "core/wave_sound.h"

#include <string.h>

#include "core/little_endian.h"

namespace {

int16_t SampleAt(const uint8_t* data, uint32_t bits, size_t index) {
    if (bits == 8) {
        return static_cast<int16_t>((static_cast<int32_t>(data[index]) - 128) * 256);
    }
    return static_cast<int16_t>(Little16(data + index * 2));
}

}  // namespace

bool ReadWave(const uint8_t* bytes, size_t size, WaveFormat* wave) {
    if (size < 12 || memcmp(bytes, "RIFF", 4) != 0 || memcmp(bytes + 8, "WAVE", 4) != 0) {
        return false;
    }
    const uint8_t* format = nullptr;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    size_t at = 12;
    while (at + 8 <= size) {
        uint32_t chunkSize = Little32(bytes + at + 4);
        size_t available = size - at - 8;
        size_t length = chunkSize < available ? chunkSize : available;
        if (memcmp(bytes + at, "fmt ", 4) == 0 && length >= 16) {
            format = bytes + at + 8;
        } else if (memcmp(bytes + at, "data", 4) == 0) {
            data = bytes + at + 8;
            dataSize = length;
        }
        // A chunk that claims more than is left is the last; compared with what is left, its
        // size cannot wrap a 32-bit size_t back onto itself or before the image.
        if (chunkSize >= available) {
            break;
        }
        at += 8 + chunkSize + (chunkSize & 1);
    }
    if (format == nullptr || data == nullptr) {
        return false;
    }
    uint32_t encoding = Little16(format);
    uint32_t channels = Little16(format + 2);
    uint32_t rate = Little32(format + 4);
    uint32_t bits = Little16(format + 14);
    if (encoding != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < 1000 ||
        rate > 192000) {
        return false;
    }
    size_t frameBytes = channels * bits / 8;
    size_t sourceFrames = dataSize / frameBytes;
    // Nor can it play one whose samples in its own format a 32-bit size_t could not count (over
    // 100 MB at a low rate).
    uint64_t played = (static_cast<uint64_t>(sourceFrames) * kPlayerRate + rate - 1) / rate;
    if (sourceFrames == 0 || played > SIZE_MAX / (kPlayerChannels * sizeof(int16_t))) {
        return false;
    }
    wave->data = data;
    wave->frames = sourceFrames;
    wave->channels = channels;
    wave->rate = rate;
    wave->bits = bits;
    return true;
}

void ConvertWave(const WaveFormat& wave, std::vector<int16_t>* frames) {
    const uint8_t* data = wave.data;
    size_t sourceFrames = wave.frames;
    uint32_t channels = wave.channels;
    uint32_t rate = wave.rate;
    uint32_t bits = wave.bits;
    // Linear interpolation between the source's frames; each source frame's position in the
    // player's frames is exact, so a sound lasts as long as in its own rate.
    size_t outFrames = static_cast<size_t>((static_cast<uint64_t>(sourceFrames) * kPlayerRate + rate - 1) / rate);
    frames->resize(outFrames * kPlayerChannels);
    for (size_t i = 0; i < outFrames; ++i) {
        uint64_t position = static_cast<uint64_t>(i) * rate;  // in source frames times kPlayerRate
        size_t first = static_cast<size_t>(position / kPlayerRate);
        uint32_t fraction = static_cast<uint32_t>(position % kPlayerRate);
        size_t second = first + 1 < sourceFrames ? first + 1 : first;
        for (uint32_t c = 0; c < kPlayerChannels; ++c) {
            uint32_t source = channels == 2 ? c : 0;
            int32_t a = SampleAt(data, bits, first * channels + source);
            int32_t b = SampleAt(data, bits, second * channels + source);
            int64_t mixed = a + (static_cast<int64_t>(b - a) * fraction) / static_cast<int64_t>(kPlayerRate);
            (*frames)[i * kPlayerChannels + c] = static_cast<int16_t>(mixed);
        }
    }
}

void ScaleFrames(const int16_t* from, size_t frames, int32_t volume, int16_t* to) {
    for (size_t i = 0; i < 2 * frames; ++i) {
        to[i] = static_cast<int16_t>(static_cast<int32_t>(from[i]) * volume / 255);
    }
}
