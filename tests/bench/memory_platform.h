// A platform for benchmarks: the window is an in-memory 8-bit surface, the pictures are the
// saver's own bitmaps read from assets/, and BitBlt and FillRect move real pixels. Every
// other platform call is a cheap no-op (quiet_platform.py makes those), so what a benchmark
// measures is the ride engine's own work plus the pixels it moves.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/winapi.h"

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // top row first, one byte a pixel, no padding
};

// One clipped copy or fill as the surface carried it out, so that a baseline can move exactly
// the same bytes with nothing but memcpy and memset.
struct PixelRun {
    uint8_t* target;
    const uint8_t* source;  // null for a fill
    int width;
    int rows;
    int targetPitch;
    int sourcePitch;
};

struct MemoryPlatform {
    Surface screen;
    std::map<std::string, int32_t> profile;  // settings file values by key
    uint32_t clockSeconds = 1;
    std::vector<PixelRun>* trace = nullptr;  // when set, every pixel run is appended

    // Counts of what was handed out and given back, to prove a run leaks nothing.
    int openWindowDcs = 0;
    int openMemoryDcs = 0;
    int liveBitmaps = 0;
    uint64_t pixelsWritten = 0;
};

extern MemoryPlatform memoryPlatform;

// The window handle whose client area is memoryPlatform.screen.
HWND BenchWindow();

// A fresh black screen of the given size.
void ResetScreen(int width, int height);

// Moves the bytes of runs with memcpy and memset alone.
void ReplayPixelRuns(const std::vector<PixelRun>& runs);
