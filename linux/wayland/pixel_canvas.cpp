#include "linux/wayland/pixel_canvas.h"

#include <string.h>

#include <algorithm>

#include "core/show_assets.h"
#include "core/embedded_assets.h"
#include "core/screen_scale.h"
#include "linux/wayland/shm_buffer.h"

namespace {

int64_t Cut(int64_t value, int64_t low, int64_t high) {
    return value < low ? low : (value > high ? high : value);
}

}  // namespace

PixelCanvas::~PixelCanvas() {
    Sound().Close();
}

void PixelCanvas::Reshape(int32_t width, int32_t height) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    // A fresh vector, not assign(): a smaller screen gives back what a larger one took.
    std::vector<uint32_t>(static_cast<size_t>(width_) * static_cast<size_t>(height_), kOpaqueBlack).swap(pixels_);
    damage_ = ShowRect{0, 0, width_, height_};
}

void PixelCanvas::TakeScale(int32_t scale) {
    if (scale != scale_) {
        scale_ = scale;
        for (Picture& picture : pictures_) {
            ScalePicture(picture);
        }
    }
}

ShowRect PixelCanvas::TakeDamage() {
    ShowRect damage = damage_;
    damage_ = ShowRect{0, 0, 0, 0};
    return damage;
}

bool Empty(const ShowRect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

void Unite(ShowRect& into, const ShowRect& rect) {
    if (Empty(rect)) {
        return;
    }
    if (Empty(into)) {
        into = rect;
        return;
    }
    into.left = rect.left < into.left ? rect.left : into.left;
    into.top = rect.top < into.top ? rect.top : into.top;
    into.right = rect.right > into.right ? rect.right : into.right;
    into.bottom = rect.bottom > into.bottom ? rect.bottom : into.bottom;
}

void PixelCanvas::Damage(const ShowRect& rect) {
    Unite(damage_, rect);
}

void PixelCanvas::ScalePicture(Picture& picture) {
    if (picture.original.width <= 0) {
        picture = Picture();
        return;
    }
    BitmapFile scaled = ScaleBitmap(picture.original, scale_);
    picture.width = scaled.width;
    picture.height = scaled.height;
    picture.rgb.resize(scaled.pixels.size());
    for (size_t i = 0; i < scaled.pixels.size(); ++i) {
        uint8_t index = scaled.pixels[i];
        picture.rgb[i] = kOpaqueBlack | (index < scaled.colours.size() ? scaled.colours[index] : 0);
    }
}

bool PixelCanvas::LoadPicture(PictureIndex index) {
    Picture& picture = pictures_[index];
    picture = Picture();
    const EmbeddedAsset* asset = FindEmbeddedAsset(kPictureFiles[index]);
    if (asset == nullptr || !ReadBitmapFile(asset->bytes, asset->size, &picture.original) ||
        picture.original.width <= 0 || picture.original.height <= 0) {
        picture = Picture();
        return false;
    }
    ScalePicture(picture);
    return true;
}

void PixelCanvas::ReleasePicture(PictureIndex index) {
    pictures_[index] = Picture();
}

PictureSize PixelCanvas::SizeOfPicture(PictureIndex index) {
    return PictureSize{pictures_[index].original.width, pictures_[index].original.height};
}

ShowRect PixelCanvas::ClientRect() {
    return ShowRect{0, 0, LogicalLength(width_, scale_), LogicalLength(height_, scale_)};
}

bool PixelCanvas::ToScreen(int64_t left, int64_t top, int64_t right, int64_t bottom, ShowRect* out) const {
    out->left = static_cast<int32_t>(Cut(left * scale_, 0, width_));
    out->top = static_cast<int32_t>(Cut(top * scale_, 0, height_));
    out->right = static_cast<int32_t>(Cut(right * scale_, 0, width_));
    out->bottom = static_cast<int32_t>(Cut(bottom * scale_, 0, height_));
    return out->right > out->left && out->bottom > out->top;
}

void PixelCanvas::BeginStep(PictureIndex picture) {
    source_ = picture;
}

void PixelCanvas::CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) {
    const Picture& picture = pictures_[source_];
    // Never past the picture's own edge, as a copy from a smaller bitmap is on Windows.
    width = width < picture.original.width ? width : picture.original.width;
    height = height < picture.original.height ? height : picture.original.height;
    ShowRect to;
    if (width <= 0 || height <= 0 || !ToScreen(x, y, static_cast<int64_t>(x) + width,
                                               static_cast<int64_t>(y) + height, &to)) {
        return;
    }
    int64_t fromX = to.left - static_cast<int64_t>(x) * scale_;
    int64_t fromY = to.top - static_cast<int64_t>(y) * scale_;
    size_t columns = static_cast<size_t>(to.right - to.left);
    for (int32_t row = to.top; row < to.bottom; ++row) {
        const uint32_t* from = &picture.rgb[static_cast<size_t>(fromY + row - to.top) * picture.width + fromX];
        memcpy(&pixels_[static_cast<size_t>(row) * width_ + to.left], from, columns * sizeof(uint32_t));
    }
    Damage(to);
}

void PixelCanvas::Fill(const ShowRect& rect) {
    ShowRect to;
    if (!ToScreen(rect.left, rect.top, rect.right, rect.bottom, &to)) {
        return;
    }
    size_t columns = static_cast<size_t>(to.right - to.left);
    for (int32_t row = to.top; row < to.bottom; ++row) {
        std::fill_n(&pixels_[static_cast<size_t>(row) * width_ + to.left], columns, kOpaqueBlack);
    }
    Damage(to);
}

void PixelCanvas::FillBlack(const ShowRect& rect) {
    Fill(rect);
}

void PixelCanvas::EndStep() {}

void PixelCanvas::EraseBlack(const ShowRect& rect) {
    Fill(rect);
}

