// The show's frame loop on X11, as a state machine: it is handed the window's events and the
// time, runs what has come due, and answers how long to wait before the next frame. It never
// sleeps itself; main() waits on the X connection, the signals and that delay.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

#include <memory>

#include "linux/fps_overlay.h"
#include "linux/options.h"
#include "linux/x11_port.h"

// The Windows timer's floor is 10 ms: a show that arms 1 ms gets its tick 10 ms later there.
// Here -delay sets it, 10 ms unless told otherwise, so that a ride takes as long on screen.

class FrameLoop {
public:
    // The show is created on the port at once. A window of the program's own waits for its
    // first exposure before the first tick; any other window is already on screen.
    FrameLoop(X11Port& port, Window window, bool ownWindow, const LinuxOptions& options, uint64_t nowMs);
    FrameLoop(const FrameLoop&) = delete;
    FrameLoop& operator=(const FrameLoop&) = delete;

    void Handle(const XEvent& event);
    // Runs what is due at nowMs; returns the milliseconds until the next frame, or -1 when
    // only an event can bring one.
    int Frame(uint64_t nowMs);
    // Ends the show: sound stopped, pictures released. Idempotent.
    void End();

    bool Quit() const { return quit_; }
    void RequestQuit() { quit_ = true; }
    // --steps reached: the show holds still from here on.
    bool Held() const { return held_; }
    uint64_t Ticks() const { return ticks_; }

private:
    // The wait before the next frame, with the frame-rate box's recount in it.
    int WithOverlay(int wait, uint64_t nowMs);

    X11Port& port_;
    Window window_;
    bool ownWindow_;
    LinuxOptions options_;
    bool started_;
    bool quit_ = false;
    bool ended_ = false;
    bool held_ = false;
    bool scheduled_ = false;
    uint64_t nextTickMs_ = 0;
    uint64_t ticks_ = 0;
    int width_ = 0;
    int height_ = 0;
    uint32_t floorMs_;
    std::unique_ptr<FpsOverlay> fps_;
};
