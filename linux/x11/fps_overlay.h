// -fps: the frame rate in a small box in the window's bottom-left corner, as XScreenSaver's
// display modules show theirs, in the server's core font. It counts the show's ticks, each
// of which is one frame drawn. On a screen of scale s the box is drawn as the pictures are,
// each of its pixels an s-by-s block.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

class FpsOverlay {
public:
    // `blank`: the show keeps the window black behind the rides. The box is `ink` on `paper`.
    FpsOverlay(Display* display, Window window, unsigned long black, unsigned long paper, unsigned long ink,
               int32_t scale, bool blank, uint64_t nowMs);
    FpsOverlay(const FpsOverlay&) = delete;
    FpsOverlay& operator=(const FpsOverlay&) = delete;
    ~FpsOverlay();

    // Draws the box; once a second the number is counted again from the show's ticks so far.
    void Draw(uint64_t nowMs, uint64_t ticks, int windowHeight);
    // Milliseconds until the number is due again.
    int UntilDue(uint64_t nowMs) const;

private:
    // The box for text_, scaled, into box_.
    void Render();

    Display* display_;
    Window window_;
    GC gc_ = nullptr;
    XFontStruct* font_ = nullptr;
    unsigned long black_;
    unsigned long paper_;
    unsigned long ink_;
    int32_t scale_;
    bool blank_;
    int depth_;
    uint64_t since_;
    uint64_t ticksSince_ = 0;
    char text_[32];
    Pixmap box_ = 0;  // the box as the window shows it, made again only when the text changes
    int boxWidth_ = 0;
    int boxHeight_ = 0;
    XRectangle drawn_ = {0, 0, 0, 0};  // where the box was drawn last, to be cleared if it shrinks
};
