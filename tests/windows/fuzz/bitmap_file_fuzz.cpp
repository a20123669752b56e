// The picture reader over any bytes: it reads none outside them (ASan, also when size_t is
// 32 bits wide), and a picture it accepts is whole: every row there, a full palette.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bitmap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that a read past the end is one past an allocation.
    std::vector<uint8_t> bytes(data, data + size);
    BitmapFile bitmap;
    if (ReadBitmapFile(bytes.data(), bytes.size(), &bitmap) &&
        (bitmap.width < 1 || bitmap.height < 1 || bitmap.colours.size() != 256 ||
         bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height) ||
         bitmap.pixels.size() > size)) {
        abort();
    }
    return 0;
}
