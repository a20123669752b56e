#include "core/bitmap_file.h"

#include <string.h>

#include "core/little_endian.h"

namespace {

const size_t kFileHeaderSize = 14;
const size_t kInfoHeaderSize = 40;

}  // namespace

bool ReadBitmapFile(const uint8_t* bytes, size_t size, BitmapFile* bitmap) {
    *bitmap = BitmapFile();
    size_t info = 0;
    size_t dataOffset = 0;
    bool withFileHeader = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    if (withFileHeader) {
        if (size < kFileHeaderSize + kInfoHeaderSize) {
            return false;
        }
        info = kFileHeaderSize;
        dataOffset = Little32(bytes + 10);
    } else if (size < kInfoHeaderSize) {
        return false;
    }
    uint32_t headerSize = Little32(bytes + info);
    int32_t width = static_cast<int32_t>(Little32(bytes + info + 4));
    int32_t height = static_cast<int32_t>(Little32(bytes + info + 8));
    uint16_t bits = Little16(bytes + info + 14);
    uint32_t compression = Little32(bytes + info + 16);
    uint32_t used = Little32(bytes + info + 32);
    if (headerSize < kInfoHeaderSize || bits != 8 || compression != 0 || width <= 0 || width > 65535 ||
        height == 0 || height > 65535 || height < -65535 || used > 256) {
        return false;
    }
    size_t colourCount = used == 0 ? 256 : used;
    // Every bound is checked as room left after a start already known to lie inside the
    // image, so that no sum of the header's numbers can wrap a 32-bit size_t.
    if (headerSize > size - info || colourCount * 4 > size - info - headerSize) {
        return false;
    }
    size_t palette = info + headerSize;
    if (!withFileHeader) {
        dataOffset = palette + colourCount * 4;
    }
    bool bottomUp = height > 0;
    size_t rows = static_cast<size_t>(bottomUp ? height : -height);
    size_t pitch = (static_cast<size_t>(width) + 3) & ~static_cast<size_t>(3);
    // At most 65536 by 65535: within 32 bits.
    if (dataOffset > size || pitch * rows > size - dataOffset) {
        return false;
    }
    bitmap->width = width;
    bitmap->height = static_cast<int32_t>(rows);
    bitmap->colours.resize(256, 0);
    for (size_t i = 0; i < colourCount; ++i) {
        const uint8_t* quad = bytes + palette + i * 4;  // blue, green, red, unused
        bitmap->colours[i] = static_cast<uint32_t>(quad[2]) << 16 | static_cast<uint32_t>(quad[1]) << 8 | quad[0];
    }
    bitmap->pixels.resize(static_cast<size_t>(width) * rows);
    for (size_t row = 0; row < rows; ++row) {
        size_t fileRow = bottomUp ? rows - 1 - row : row;
        memcpy(&bitmap->pixels[row * static_cast<size_t>(width)], bytes + dataOffset + pitch * fileRow,
               static_cast<size_t>(width));
    }
    return true;
}

BitmapFile ScaleBitmap(const BitmapFile& bitmap, int32_t scale) {
    if (scale <= 1 || bitmap.width <= 0 || bitmap.height <= 0) {
        return bitmap;
    }
    BitmapFile scaled;
    scaled.width = bitmap.width * scale;
    scaled.height = bitmap.height * scale;
    scaled.colours = bitmap.colours;
    size_t wide = static_cast<size_t>(scaled.width);
    scaled.pixels.resize(wide * static_cast<size_t>(scaled.height));
    for (int32_t row = 0; row < bitmap.height; ++row) {
        uint8_t* first = &scaled.pixels[static_cast<size_t>(row) * scale * wide];
        const uint8_t* source = &bitmap.pixels[static_cast<size_t>(row) * static_cast<size_t>(bitmap.width)];
        for (int32_t column = 0; column < bitmap.width; ++column) {
            memset(first + static_cast<size_t>(column) * scale, source[column], static_cast<size_t>(scale));
        }
        // The other rows of the block are the first one again.
        for (int32_t copy = 1; copy < scale; ++copy) {
            memcpy(first + static_cast<size_t>(copy) * wide, first, wide);
        }
    }
    return scaled;
}
