#include "linux/frame_loop.h"

#include "show/ride_engine.h"
#include "show/settings.h"

FrameLoop::FrameLoop(X11Port& port, Window window, bool ownWindow, const LinuxOptions& options, uint64_t nowMs)
    : port_(port), window_(window), ownWindow_(ownWindow), options_(options), started_(!ownWindow) {
    ShowRect client = port_.ClientRect();
    width_ = client.right;
    height_ = client.bottom;
    saverSettings = options_.settings;
    CreateShow(port_);
    if (options_.settings.sound) {
        port_.Player().Open();
    }
    if (options_.seeded) {
        SeedRandom(options_.seed);
    }
    if (started_) {
        EraseBackground(port_);
        nextTickMs_ = nowMs;
    }
}

void FrameLoop::Handle(const XEvent& event) {
    if (event.xany.window != window_) {
        return;
    }
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            EraseBackground(port_);
            if (!started_) {
                started_ = true;
                scheduled_ = false;
            }
        }
        break;
    case ConfigureNotify:
        if (event.xconfigure.width != width_ || event.xconfigure.height != height_) {
            width_ = event.xconfigure.width;
            height_ = event.xconfigure.height;
            port_.Resized(width_, height_);
            ReshapeShow(ShowRect{0, 0, width_, height_});
        }
        break;
    case UnmapNotify:
        PauseShow(port_);
        break;
    case MapNotify:
        ResumeShow(port_);
        scheduled_ = false;
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
    if (quit_ || ended_ || held_ || !started_ || !port_.TimerArmed()) {
        return -1;
    }
    if (!scheduled_) {
        // Armed by creation or by waking: the first tick comes one floored interval later.
        uint32_t interval = port_.TimerInterval();
        nextTickMs_ = nowMs + (interval > kTimerFloorMs ? interval : kTimerFloorMs);
        scheduled_ = true;
    }
    if (nowMs >= nextTickMs_) {
        uint32_t total = ShowTick(port_);
        ++ticks_;
        uint32_t interval = port_.TimerInterval();
        // What the show adds to its interval is a wait for a sound; only the timer has a floor.
        uint32_t soundWait = total > interval ? total - interval : 0;
        uint64_t delay = (interval > kTimerFloorMs ? interval : kTimerFloorMs) + soundWait;
        // Keep to the schedule across a late frame, but never try to catch up a backlog.
        nextTickMs_ += delay;
        if (nextTickMs_ + delay < nowMs) {
            nextTickMs_ = nowMs + delay;
        } else if (nextTickMs_ < nowMs) {
            nextTickMs_ = nowMs;
        }
        if (options_.stepLimited && ticks_ >= options_.steps) {
            held_ = true;
            return -1;
        }
        if (!port_.TimerArmed()) {
            return -1;
        }
        scheduled_ = true;
        nowMs = MonotonicMs();
    }
    return nextTickMs_ > nowMs ? static_cast<int>(nextTickMs_ - nowMs) : 0;
}

void FrameLoop::End() {
    if (!ended_) {
        ended_ = true;
        DestroyShow(port_);
    }
}
