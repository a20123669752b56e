#include "memory_port.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "core/show_assets.h"

namespace {

int64_t Clamp(int64_t value, int64_t low, int64_t high) {
    return value < low ? low : value > high ? high : value;
}

}  // namespace

void MemoryPort::ResetScreen(int width, int height) {
    screen.width = width;
    screen.height = height;
    screen.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

const BitmapFile* MemoryPort::Picture(PictureIndex picture) const {
    return loaded_[picture] ? &pictures_[picture] : nullptr;
}

bool MemoryPort::LoadPicture(PictureIndex picture) {
    std::ifstream file(assets_ + "/" + kPictureFiles[picture], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    loaded_[picture] = ReadBitmapFile(bytes.data(), bytes.size(), &pictures_[picture]);
    livePictures += loaded_[picture] ? 1 : 0;
    return loaded_[picture];
}

void MemoryPort::ReleasePicture(PictureIndex picture) {
    if (loaded_[picture]) {
        pictures_[picture] = BitmapFile();
        loaded_[picture] = false;
        --livePictures;
    }
}

PictureSize MemoryPort::SizeOfPicture(PictureIndex picture) {
    const BitmapFile* found = Picture(picture);
    return found != nullptr ? PictureSize{found->width, found->height} : PictureSize{0, 0};
}

void MemoryPort::BeginStep(PictureIndex picture) {
    source_ = Picture(picture);
    ++openSteps;
}

void MemoryPort::EndStep() {
    source_ = nullptr;
    --openSteps;
}

bool MemoryPort::ArmTimer(uint32_t milliseconds) {
    armedInterval = milliseconds;
    armed = true;
    return true;
}

void MemoryPort::Record(uint8_t* target, const uint8_t* source, int width, int rows, int targetPitch,
                        int sourcePitch) {
    pixelsWritten += static_cast<uint64_t>(width) * static_cast<uint64_t>(rows);
    if (trace != nullptr) {
        trace->push_back(PixelRun{target, source, width, rows, targetPitch, sourcePitch});
    }
}

void MemoryPort::CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (source_ == nullptr || width <= 0 || height <= 0) {
        return;
    }
    // Clip against the screen, moving the source corner along, then against the picture.
    int64_t left = Clamp(x, 0, screen.width);
    int64_t top = Clamp(y, 0, screen.height);
    int64_t right = Clamp(static_cast<int64_t>(x) + width, 0, screen.width);
    int64_t bottom = Clamp(static_cast<int64_t>(y) + height, 0, screen.height);
    int64_t sx = left - x;
    int64_t sy = top - y;
    right = right < left + (source_->width - sx) ? right : left + (source_->width - sx);
    bottom = bottom < top + (source_->height - sy) ? bottom : top + (source_->height - sy);
    if (right <= left || bottom <= top) {
        return;
    }
    int columns = static_cast<int>(right - left);
    int rows = static_cast<int>(bottom - top);
    uint8_t* to = &screen.pixels[static_cast<size_t>(top * screen.width + left)];
    const uint8_t* from = &source_->pixels[static_cast<size_t>(sy * source_->width + sx)];
    Record(to, from, columns, rows, screen.width, source_->width);
    for (int row = 0; row < rows; ++row, to += screen.width, from += source_->width) {
        std::memcpy(to, from, static_cast<size_t>(columns));
    }
}

void MemoryPort::FillBlack(const ShowRect& rect) {
    int64_t left = Clamp(rect.left, 0, screen.width);
    int64_t top = Clamp(rect.top, 0, screen.height);
    int64_t right = Clamp(rect.right, 0, screen.width);
    int64_t bottom = Clamp(rect.bottom, 0, screen.height);
    if (right <= left || bottom <= top) {
        return;
    }
    int columns = static_cast<int>(right - left);
    int rows = static_cast<int>(bottom - top);
    uint8_t* to = &screen.pixels[static_cast<size_t>(top * screen.width + left)];
    Record(to, nullptr, columns, rows, screen.width, 0);
    for (int row = 0; row < rows; ++row, to += screen.width) {
        std::memset(to, 0, static_cast<size_t>(columns));
    }
}

void ReplayPixelRuns(const std::vector<PixelRun>& runs) {
    for (const PixelRun& run : runs) {
        uint8_t* target = run.target;
        if (run.source == nullptr) {
            for (int row = 0; row < run.rows; ++row, target += run.targetPitch) {
                std::memset(target, 0, static_cast<size_t>(run.width));
            }
        } else {
            const uint8_t* source = run.source;
            for (int row = 0; row < run.rows; ++row, target += run.targetPitch, source += run.sourcePitch) {
                std::memcpy(target, source, static_cast<size_t>(run.width));
            }
        }
    }
}
