// The saver's pictures as they lie in their files: 8-bit uncompressed device-independent
// bitmaps with a palette of their own. Platforms without a resource loader of their own
// (memory surfaces, X11) read them with this.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct BitmapFile {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;   // palette indices, top row first, width bytes a row
    std::vector<uint32_t> colours;  // the palette as 0x00RRGGBB
};

// Reads a whole .bmp file image, or the same image without its 14-byte file header as a
// resource holds it. Returns false, leaving *bitmap empty, for anything else.
bool ReadBitmapFile(const uint8_t* bytes, size_t size, BitmapFile* bitmap);

// The same picture with every pixel an s-by-s block (nearest neighbour): what a screen of
// scale s shows of it. s of 1 or less gives the picture unchanged.
BitmapFile ScaleBitmap(const BitmapFile& bitmap, int32_t scale);
