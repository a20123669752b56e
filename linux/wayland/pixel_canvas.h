// The show's port on a surface of memory pixels, for a compositor that takes whole buffers
// (Wayland's wl_shm): the show draws in logical pixels, the canvas holds the screen's own,
// each picture pixel an s-by-s block. What changed since the last TakeDamage is one box,
// which the client copies into whatever buffer the compositor shows next. Sounds go to the
// backend chosen at start, as on X11; the show keeps its own time.
#pragma once

#include <stdint.h>

#include <vector>

#include "core/bitmap_file.h"
#include "core/show_port.h"
#include "linux/linux_port.h"

// Boxes of damage: whether one holds no pixel, and the smallest box holding both.
bool Empty(const ShowRect& rect);
void Unite(ShowRect& into, const ShowRect& rect);

class PixelCanvas : public LinuxPort {
public:
    PixelCanvas() = default;
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;
    ~PixelCanvas();

    // A new size in screen pixels: the canvas is black again, and all of it is damage.
    void Reshape(int32_t width, int32_t height);
    // The box (screen pixels) drawn since the last call; empty when nothing was.
    ShowRect TakeDamage();
    const uint32_t* Pixels() const { return pixels_.data(); }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Scale() const { return scale_; }

    bool LoadPicture(PictureIndex picture) override;
    void ReleasePicture(PictureIndex picture) override;
    PictureSize SizeOfPicture(PictureIndex picture) override;
    ShowRect ClientRect() override;
    // Pictures are scaled again only when s changes.
    void TakeScale(int32_t scale) override;
    void BeginStep(PictureIndex picture) override;
    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void FillBlack(const ShowRect& rect) override;
    void EndStep() override;
    void EraseBlack(const ShowRect& rect) override;

private:
    struct Picture {
        BitmapFile original;       // as the file holds it, kept to scale again for a new s
        int32_t width = 0;         // scaled, in screen pixels
        int32_t height = 0;
        std::vector<uint32_t> rgb;  // scaled, 0xFFRRGGBB (opaque XRGB), width a row
    };
    void ScalePicture(Picture& picture);
    // The logical rectangle in screen pixels, cut to the canvas; false when nothing is left.
    bool ToScreen(int64_t left, int64_t top, int64_t right, int64_t bottom, ShowRect* out) const;
    void Damage(const ShowRect& rect);
    void Fill(const ShowRect& rect);

    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t scale_ = 1;
    std::vector<uint32_t> pixels_;
    ShowRect damage_ = {0, 0, 0, 0};
    Picture pictures_[PictureCount];
    PictureIndex source_ = CoravendiaLeft;
};
