// The show's port on an X11 window: pictures in server-side pixmaps of the window's depth,
// copies and fills straight onto the window, sounds to the backend chosen at start; the show
// keeps its own time, so the timer asks nothing of X. On a screen of scale s the show works in
// logical pixels, s screen pixels a side: the pixmaps hold the pictures already scaled, so
// that a copy stays one copy.
#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "core/show_port.h"
#include "linux/linux_port.h"

class X11Port : public LinuxPort {
public:
    // Draws on `window`, which must exist; width and height are its current size in screen
    // pixels, and each picture pixel is a scale-by-scale block of them.
    X11Port(Display* display, Window window, int width, int height, int32_t scale);
    X11Port(const X11Port&) = delete;
    X11Port& operator=(const X11Port&) = delete;
    ~X11Port();

    bool LoadPicture(PictureIndex picture) override;
    void ReleasePicture(PictureIndex picture) override;
    PictureSize SizeOfPicture(PictureIndex picture) override;
    ShowRect ClientRect() override;
    void BeginStep(PictureIndex picture) override;
    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void FillBlack(const ShowRect& rect) override;
    void EndStep() override;
    void EraseBlack(const ShowRect& rect) override;

    // The window's size in screen pixels, as its last ConfigureNotify gave it.
    void Resized(int width, int height);
    int ScreenWidth() const { return width_; }
    int ScreenHeight() const { return height_; }
    int32_t Scale() const { return scale_; }

    // The window's pixel for a 0xRRGGBB colour.
    unsigned long PixelFor(uint32_t rgb);
    Display* XDisplay() const { return display_; }
    Window XWindow() const { return window_; }

private:
    void Fill(const ShowRect& rect);

    Display* display_;
    Window window_;
    int width_;
    int height_;
    int32_t scale_;
    int depth_ = 0;
    Visual* visual_ = nullptr;
    Colormap colormap_ = 0;
    GC gc_ = nullptr;
    unsigned long black_ = 0;
    Pixmap pictures_[PictureCount] = {};
    PictureSize sizes_[PictureCount] = {};  // in logical pixels
    PictureIndex source_ = CoravendiaLeft;
    std::vector<unsigned long> allocated_;  // colours taken from a colormap that is not true colour
};
