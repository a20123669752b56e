#include "linux/fps_overlay.h"

#include <stdio.h>
#include <string.h>

namespace {

const uint64_t kRecountMs = 1000;
const int kPadding = 4;

}  // namespace

FpsOverlay::FpsOverlay(Display* display, Window window, unsigned long black, unsigned long white, uint64_t nowMs)
    : display_(display), window_(window), black_(black), white_(white), since_(nowMs) {
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
    if (font_ != nullptr) {
        XFreeFont(display_, font_);
    }
    XFreeGC(display_, gc_);
}

int FpsOverlay::UntilDue(uint64_t nowMs) const {
    return nowMs >= since_ + kRecountMs ? 0 : static_cast<int>(since_ + kRecountMs - nowMs);
}

void FpsOverlay::Draw(uint64_t nowMs, uint64_t ticks, int windowHeight) {
    if (nowMs >= since_ + kRecountMs) {
        double fps = static_cast<double>(ticks - ticksSince_) * 1000.0 / static_cast<double>(nowMs - since_);
        snprintf(text_, sizeof(text_), "FPS: %.1f", fps);
        ticksSince_ = ticks;
        since_ = nowMs;
    }
    if (font_ == nullptr) {
        return;
    }
    int length = static_cast<int>(strlen(text_));
    int width = XTextWidth(font_, text_, length) + 2 * kPadding;
    int height = font_->ascent + font_->descent + 2 * kPadding;
    int top = windowHeight - height;
    XSetForeground(display_, gc_, black_);
    XFillRectangle(display_, window_, gc_, 0, top, width, height);
    XSetForeground(display_, gc_, white_);
    XDrawString(display_, window_, gc_, kPadding, top + kPadding + font_->ascent, text_, length);
}
