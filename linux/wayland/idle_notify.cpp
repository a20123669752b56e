#include "linux/wayland/idle_notify.h"

#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include <deque>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

namespace {

const int kAnswerMs = 5000;

class WaylandIdle : public IdleSource {
public:
    WaylandIdle(int signalFd, volatile sig_atomic_t* signalled) : signalFd_(signalFd), signalled_(signalled) {}

    ~WaylandIdle() override {
        if (notification_ != nullptr) {
            ext_idle_notification_v1_destroy(notification_);
        }
        if (kdeTimeout_ != nullptr) {
            org_kde_kwin_idle_timeout_release(kdeTimeout_);
        }
        void* proxies[] = {notifier_, kdeIdle_, seat_, registry_};
        for (void* proxy : proxies) {
            if (proxy != nullptr) {
                wl_proxy_destroy(static_cast<wl_proxy*>(proxy));
            }
        }
        if (display_ != nullptr) {
            wl_display_disconnect(display_);
        }
    }

    // False with *error set where the compositor cannot be had; true with `Watching()` false
    // where it offers nothing to watch with.
    bool Open(uint32_t ms, std::string* error) {
        display_ = wl_display_connect(nullptr);
        if (display_ == nullptr) {
            const char* name = getenv("WAYLAND_DISPLAY");
            *error = std::string("cannot connect to the Wayland compositor ") +
                     (name != nullptr ? name : "(WAYLAND_DISPLAY is not set)");
            return false;
        }
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener kRegistry = {OnGlobal, [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry_, &kRegistry, this);
        if (!Roundtrip(error)) {
            return false;
        }
        if (seat_ == nullptr) {
            return true;
        }
        if (notifier_ != nullptr) {
            static const ext_idle_notification_v1_listener kNotification = {
                [](void* data, ext_idle_notification_v1*) { static_cast<WaylandIdle*>(data)->Say(IdleEvent::Idle); },
                [](void* data, ext_idle_notification_v1*) { static_cast<WaylandIdle*>(data)->Say(IdleEvent::Active); }};
            notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, ms, seat_);
            ext_idle_notification_v1_add_listener(notification_, &kNotification, this);
        } else if (kdeIdle_ != nullptr) {
            static const org_kde_kwin_idle_timeout_listener kTimeout = {
                [](void* data, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdle*>(data)->Say(IdleEvent::Idle); },
                [](void* data, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdle*>(data)->Say(IdleEvent::Active); }};
            kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat_, ms);
            org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kTimeout, this);
        }
        return Roundtrip(error);
    }

    bool Watching() const { return notification_ != nullptr || kdeTimeout_ != nullptr; }

    IdleEvent Next() override {
        while (events_.empty()) {
            if (*signalled_) {
                return IdleEvent::Signal;
            }
            if (!Pump(-1)) {
                return IdleEvent::Gone;
            }
        }
        IdleEvent event = events_.front();
        events_.pop_front();
        return event;
    }

    const char* Name() const override {
        return notification_ != nullptr ? "the compositor's idle notification (ext-idle-notify-v1)"
                                        : "the compositor's idle timeout (org_kde_kwin_idle)";
    }

private:
    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        WaylandIdle& self = *static_cast<WaylandIdle*>(data);
        if (strcmp(interface, wl_seat_interface.name) == 0 && self.seat_ == nullptr) {
            self.seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
            self.notifier_ = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        } else if (strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
            self.kdeIdle_ =
                static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
        }
    }

    void Say(IdleEvent event) { events_.push_back(event); }

    // Sends what is queued, waits up to `ms` (-1: for ever) for the compositor or a signal, and
    // dispatches what came. False once the connection is gone.
    bool Pump(int ms) {
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) {
                return false;
            }
        }
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {signalFd_, POLLIN, 0}};
        if (poll(fds, 2, ms) > 0 && fds[0].revents != 0) {
            if (wl_display_read_events(display_) < 0) {
                return false;
            }
        } else {
            wl_display_cancel_read(display_);
        }
        return wl_display_dispatch_pending(display_) >= 0;
    }

    // A round trip that gives up after kAnswerMs: a socket that accepts and never answers must
    // not hold the program.
    bool Roundtrip(std::string* error) {
        bool done = false;
        static const wl_callback_listener kDone = {[](void* data, wl_callback* callback, uint32_t) {
            *static_cast<bool*>(data) = true;
            wl_callback_destroy(callback);
        }};
        wl_callback_add_listener(wl_display_sync(display_), &kDone, &done);
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        while (!done && !*signalled_) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long left = kAnswerMs - ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000);
            if (left <= 0) {
                *error = "the Wayland compositor did not answer within 5 s";
                return false;
            }
            if (!Pump(static_cast<int>(left))) {
                *error = "the Wayland compositor closed the connection at start-up";
                return false;
            }
        }
        return true;
    }

    int signalFd_;
    volatile sig_atomic_t* signalled_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* notifier_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
    std::deque<IdleEvent> events_;
};

}  // namespace

std::unique_ptr<IdleSource> OpenWaylandIdle(uint32_t ms, int signalFd, volatile sig_atomic_t* signalled,
                                            std::string* error) {
    std::unique_ptr<WaylandIdle> idle(new WaylandIdle(signalFd, signalled));
    if (!idle->Open(ms, error) || !idle->Watching()) {
        return nullptr;
    }
    return idle;
}
