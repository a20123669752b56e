// The saver's sounds as the player plays them: every sound in one format, so that one
// stream carries them all one after another. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

const uint32_t kPlayerRate = 22050;  // frames a second
const uint32_t kPlayerChannels = 2;

// Where a RIFF WAVE image of 8- or 16-bit PCM, mono or stereo, keeps its samples and how.
struct WaveFormat {
    const uint8_t* data = nullptr;
    size_t frames = 0;
    uint32_t channels = 0;
    uint32_t rate = 0;
    uint32_t bits = 0;
};

// Reads the image's header; false for anything the player cannot play.
bool ReadWave(const uint8_t* bytes, size_t size, WaveFormat* format);
// The samples in signed 16-bit interleaved stereo at kPlayerRate, at any source rate.
void ConvertWave(const WaveFormat& format, std::vector<int16_t>* frames);

// Scales interleaved stereo samples by the show's volume: 0 is silence, 255 the samples as
// they are.
void ScaleFrames(const int16_t* from, size_t frames, int32_t volume, int16_t* to);
