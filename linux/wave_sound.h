// The saver's sounds as the player plays them: every sound in one format, so that one
// stream carries them all one after another. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

const uint32_t kPlayerRate = 22050;  // frames a second
const uint32_t kPlayerChannels = 2;

// Reads a RIFF WAVE image of 8- or 16-bit PCM, mono or stereo, at any rate, into signed
// 16-bit interleaved stereo at kPlayerRate. False, leaving *frames empty, for anything else.
bool DecodeWave(const uint8_t* bytes, size_t size, std::vector<int16_t>* frames);

// Scales interleaved stereo samples by a volume of 16 bits a channel, left in the low word,
// 0xFFFF being the samples as they are.
void ScaleFrames(const int16_t* from, size_t frames, uint32_t volume, int16_t* to);
