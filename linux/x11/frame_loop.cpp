#include "linux/x11/frame_loop.h"

#include "linux/clock.h"
#include "linux/show_start.h"

FrameLoop::FrameLoop(X11Port& port, Window window, bool ownWindow, const LinuxOptions& options,
                     uint32_t boxBackground, uint32_t boxText)
    : port_(port), window_(window), ownWindow_(ownWindow), show_(NewShow()), exposed_(!ownWindow) {
    width_ = port_.ScreenWidth();
    height_ = port_.ScreenHeight();
    StartShow(show_, port_, options);
    if (options.fps) {
        fps_.reset(new FpsOverlay(port_.XDisplay(), port_.XWindow(), port_.PixelFor(0), port_.PixelFor(boxBackground),
                                  port_.PixelFor(boxText),
                                  port_.Scale(), options.settings.blankScreen != 0, MonotonicMs()));
    }
    if (exposed_) {
        EraseBackground(show_, port_);
    } else {
        PauseShow(show_, port_);
    }
}

void FrameLoop::Handle(const XEvent& event) {
    if (event.xany.window != window_) {
        return;
    }
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            EraseBackground(show_, port_);
            if (fps_) {
                fps_->Draw(MonotonicMs(), Ticks(), height_);
            }
            if (!exposed_) {
                exposed_ = true;
                ResumeShow(show_, port_);
            }
        }
        break;
    case ConfigureNotify:
        if (event.xconfigure.width != width_ || event.xconfigure.height != height_) {
            width_ = event.xconfigure.width;
            height_ = event.xconfigure.height;
            port_.Resized(width_, height_);
            ReshapeShow(show_, port_.ClientRect());
        }
        break;
    case UnmapNotify:
        PauseShow(show_, port_);
        break;
    case MapNotify:
        if (exposed_) {
            ResumeShow(show_, port_);
        }
        break;
    case DestroyNotify:
        quit_ = true;
        break;
    case ClientMessage:
        if (ownWindow_ && static_cast<Atom>(event.xclient.data.l[0]) ==
                              XInternAtom(event.xany.display, "WM_DELETE_WINDOW", True)) {
            quit_ = true;
        }
        break;
    default:
        break;
    }
}

int FrameLoop::Frame(uint64_t nowMs) {
    if (quit_ || ended_) {
        return WaitForEvent;
    }
    uint64_t ticks = Ticks();
    int wait = RunShow(show_, port_, nowMs);
    if (!fps_ || !exposed_) {
        return wait;
    }
    // Drawn again over whatever a step drew there, and when the number is due.
    if (Ticks() != ticks || fps_->UntilDue(nowMs) == 0) {
        fps_->Draw(nowMs, Ticks(), height_);
    }
    int due = fps_->UntilDue(nowMs);
    return wait != WaitForEvent && wait < due ? wait : due;
}

void FrameLoop::End() {
    if (!ended_) {
        ended_ = true;
        DestroyShow(show_, port_);
    }
}
