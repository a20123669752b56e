#include "linux/x11/fps_overlay.h"

#include <X11/Xutil.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

const uint64_t kRecountMs = 1000;
const int kPadding = 4;

}  // namespace

FpsOverlay::FpsOverlay(Display* display, Window window, unsigned long black, unsigned long paper, unsigned long ink,
                       int32_t scale, bool blank, uint64_t nowMs)
    : display_(display), window_(window), black_(black), paper_(paper), ink_(ink), scale_(scale < 1 ? 1 : scale),
      blank_(blank),
      depth_(DefaultDepth(display, DefaultScreen(display))), since_(nowMs) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, window_, &attributes)) {
        depth_ = attributes.depth;
    }
    // "fixed" is built into every X server, so the box never goes missing for want of fonts.
    font_ = XLoadQueryFont(display_, "fixed");
    XGCValues values;
    values.graphics_exposures = False;
    unsigned long mask = GCGraphicsExposures;
    if (font_ != nullptr) {
        values.font = font_->fid;
        mask |= GCFont;
    }
    gc_ = XCreateGC(display_, window_, mask, &values);
    snprintf(text_, sizeof(text_), "FPS: --");
}

FpsOverlay::~FpsOverlay() {
    if (box_ != 0) {
        XFreePixmap(display_, box_);
    }
    if (font_ != nullptr) {
        XFreeFont(display_, font_);
    }
    XFreeGC(display_, gc_);
}

int FpsOverlay::UntilDue(uint64_t nowMs) const {
    return nowMs >= since_ + kRecountMs ? 0 : static_cast<int>(since_ + kRecountMs - nowMs);
}

void FpsOverlay::Render() {
    if (box_ != 0) {
        XFreePixmap(display_, box_);
        box_ = 0;
    }
    int length = static_cast<int>(strlen(text_));
    int width = XTextWidth(font_, text_, length) + 2 * kPadding;
    int height = font_->ascent + font_->descent + 2 * kPadding;
    Pixmap plain = XCreatePixmap(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                 static_cast<unsigned>(depth_));
    XSetForeground(display_, gc_, paper_);
    XFillRectangle(display_, plain, gc_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSetForeground(display_, gc_, ink_);
    XDrawString(display_, plain, gc_, kPadding, kPadding + font_->ascent, text_, length);
    boxWidth_ = width * scale_;
    boxHeight_ = height * scale_;
    if (scale_ == 1) {
        box_ = plain;
        return;
    }
    // The core font has one size: the text is drawn at it and each of its pixels made a block,
    // once a second, so that every frame copies the box in one request.
    XImage* plainImage = XGetImage(display_, plain, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                   AllPlanes, ZPixmap);
    XFreePixmap(display_, plain);
    box_ = XCreatePixmap(display_, window_, static_cast<unsigned>(boxWidth_), static_cast<unsigned>(boxHeight_),
                         static_cast<unsigned>(depth_));
    XSetForeground(display_, gc_, paper_);
    XFillRectangle(display_, box_, gc_, 0, 0, static_cast<unsigned>(boxWidth_), static_cast<unsigned>(boxHeight_));
    if (plainImage == nullptr) {
        return;
    }
    std::vector<XRectangle> blocks;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (XGetPixel(plainImage, x, y) == ink_) {
                blocks.push_back(XRectangle{static_cast<short>(x * scale_), static_cast<short>(y * scale_),
                                            static_cast<unsigned short>(scale_), static_cast<unsigned short>(scale_)});
            }
        }
    }
    XDestroyImage(plainImage);
    XSetForeground(display_, gc_, ink_);
    XFillRectangles(display_, box_, gc_, blocks.data(), static_cast<int>(blocks.size()));
}

void FpsOverlay::Draw(uint64_t nowMs, uint64_t ticks, int windowHeight) {
    bool recounted = nowMs >= since_ + kRecountMs;
    if (recounted) {
        double fps = static_cast<double>(ticks - ticksSince_) * 1000.0 / static_cast<double>(nowMs - since_);
        snprintf(text_, sizeof(text_), "FPS: %.1f", fps);
        ticksSince_ = ticks;
        since_ = nowMs;
    }
    if (font_ == nullptr) {
        return;
    }
    if (recounted || box_ == 0) {
        Render();
    }
    // On the pictures' grid of s-by-s blocks, as low as the window allows: in a window whose
    // height is no multiple of s, a box flush with the bottom edge would put its blocks between
    // the pictures' rows.
    int top = windowHeight > boxHeight_ ? (windowHeight - boxHeight_) / scale_ * scale_ : 0;
    XRectangle box = {0, static_cast<short>(top), static_cast<unsigned short>(boxWidth_),
                      static_cast<unsigned short>(boxHeight_)};
    // A shorter number, or a window that changed height, would leave part of the last box: it
    // goes back to what the show leaves there, black behind the rides or else the window's own
    // background. Before the first box there is none: a clear of no size would be the whole
    // window's.
    if (drawn_.width != 0 && (drawn_.width > box.width || drawn_.height > box.height || drawn_.y != box.y)) {
        if (blank_) {
            XSetForeground(display_, gc_, black_);
            XFillRectangle(display_, window_, gc_, drawn_.x, drawn_.y, drawn_.width, drawn_.height);
        } else {
            XClearArea(display_, window_, drawn_.x, drawn_.y, drawn_.width, drawn_.height, False);
        }
    }
    if (box_ != 0) {
        XCopyArea(display_, box_, window_, gc_, 0, 0, box.width, box.height, box.x, box.y);
    }
    drawn_ = box;
}
