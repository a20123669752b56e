// -fps: the frame rate in a small box in the window's bottom-left corner, as XScreenSaver's
// display modules show theirs, in the server's core font. It counts the show's ticks, each
// of which is one frame drawn.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

class FpsOverlay {
public:
    FpsOverlay(Display* display, Window window, unsigned long black, unsigned long white, uint64_t nowMs);
    FpsOverlay(const FpsOverlay&) = delete;
    FpsOverlay& operator=(const FpsOverlay&) = delete;
    ~FpsOverlay();

    // Draws the box; once a second the number is counted again from the show's ticks so far.
    void Draw(uint64_t nowMs, uint64_t ticks, int windowHeight);
    // Milliseconds until the number is due again.
    int UntilDue(uint64_t nowMs) const;

private:
    Display* display_;
    Window window_;
    GC gc_ = nullptr;
    XFontStruct* font_ = nullptr;
    unsigned long black_;
    unsigned long white_;
    uint64_t since_;
    uint64_t ticksSince_ = 0;
    char text_[32];
};
