// The show's frame loop on X11: it hands the show the window's events and the time, and says
// how long to wait before the next frame. The show decides what is due (RunShow); main() waits
// on the X connection, the signals and that delay.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

#include <memory>

#include "linux/x11/fps_overlay.h"
#include "linux/options.h"
#include "linux/x11/x11_port.h"
#include "core/ride_engine.h"

class FrameLoop {
public:
    // The show is created on the port at once. A window of the program's own is not seen
    // before its first exposure, so the show waits for it; any other window is already on
    // screen.
    FrameLoop(X11Port& port, Window window, bool ownWindow, const LinuxOptions& options);
    FrameLoop(const FrameLoop&) = delete;
    FrameLoop& operator=(const FrameLoop&) = delete;

    void Handle(const XEvent& event);
    // Runs what is due at nowMs; returns the milliseconds until the next frame, or -1 when
    // only an event can bring one.
    int Frame(uint64_t nowMs);
    // Ends the show: sound stopped, pictures released. Idempotent.
    void End();

    bool Quit() const { return quit_; }
    // --steps reached: the show holds still from here on, and says so once (HeldNotice).
    const char* HeldNotice() { return ::HeldNotice(show_); }
    uint64_t Ticks() const { return ShowTicks(show_); }

private:
    X11Port& port_;
    Window window_;
    bool ownWindow_;
    Show show_;
    bool exposed_;
    bool quit_ = false;
    bool ended_ = false;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<FpsOverlay> fps_;  // -fps
};
