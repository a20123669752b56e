// The picture reader over any bytes, copied to exactly their size: it reads none outside them
// (ASan, at either width of size_t), and a picture it accepts has every row and its palette.
#include <cstdlib>
#include <vector>

#include "core/bitmap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    BitmapFile bitmap;
    if (ReadBitmapFile(bytes.data(), size, &bitmap) &&
        (bitmap.width < 1 || bitmap.height < 1 || bitmap.colours.size() != 256 ||
         bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height))) {
        abort();
    }
    return 0;
}
