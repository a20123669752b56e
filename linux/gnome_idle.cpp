#include "linux/gnome_idle.h"

#include <dbus/dbus.h>
#include <poll.h>

namespace {

const char kService[] = "org.gnome.Mutter.IdleMonitor";
const char kPath[] = "/org/gnome/Mutter/IdleMonitor/Core";
const int kAnswerMs = 5000;

class GnomeIdle : public IdleSource {
public:
    GnomeIdle(int signalFd, volatile sig_atomic_t* signalled) : signalFd_(signalFd), signalled_(signalled) {}

    ~GnomeIdle() override {
        if (bus_ != nullptr) {
            dbus_connection_close(bus_);
            dbus_connection_unref(bus_);
        }
    }

    bool Open(uint32_t ms) {
        DBusError error;
        dbus_error_init(&error);
        // A connection of its own, closed with the source, never the process's end on a bus
        // that goes.
        bus_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        if (bus_ == nullptr) {
            dbus_error_free(&error);
            return false;
        }
        dbus_connection_set_exit_on_disconnect(bus_, FALSE);
        if (!dbus_bus_name_has_owner(bus_, kService, &error)) {
            dbus_error_free(&error);
            return false;
        }
        // The watch's signal, and the monitor's owner leaving the bus with the compositor.
        dbus_bus_add_match(bus_,
                           "type='signal',interface='org.gnome.Mutter.IdleMonitor',member='WatchFired',"
                           "path='/org/gnome/Mutter/IdleMonitor/Core'",
                           &error);
        if (!dbus_error_is_set(&error)) {
            dbus_bus_add_match(bus_,
                               "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
                               "arg0='org.gnome.Mutter.IdleMonitor'",
                               &error);
        }
        if (dbus_error_is_set(&error)) {
            dbus_error_free(&error);
            return false;
        }
        DBusMessage* call = dbus_message_new_method_call(kService, kPath, kService, "AddIdleWatch");
        dbus_uint64_t interval = ms;
        dbus_message_append_args(call, DBUS_TYPE_UINT64, &interval, DBUS_TYPE_INVALID);
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus_, call, kAnswerMs, &error);
        dbus_message_unref(call);
        bool added = reply != nullptr &&
                     dbus_message_get_args(reply, &error, DBUS_TYPE_UINT32, &watch_, DBUS_TYPE_INVALID);
        if (reply != nullptr) {
            dbus_message_unref(reply);
        }
        dbus_error_free(&error);
        return added;
    }

    IdleEvent Next() override {
        for (;;) {
            if (*signalled_) {
                return IdleEvent::Signal;
            }
            while (DBusMessage* message = dbus_connection_pop_message(bus_)) {
                IdleEvent event = Read(message);
                dbus_message_unref(message);
                if (event != IdleEvent::Active) {
                    return event;
                }
            }
            int fd = -1;
            dbus_connection_get_unix_fd(bus_, &fd);
            pollfd fds[2] = {{fd, POLLIN, 0}, {signalFd_, POLLIN, 0}};
            poll(fds, 2, -1);
            if (!dbus_connection_read_write(bus_, 0)) {
                return IdleEvent::Gone;
            }
        }
    }

    const char* Name() const override { return "GNOME's idle monitor (org.gnome.Mutter.IdleMonitor)"; }

private:
    // Idle for the watch's signal, Gone for the monitor's or the bus's end; Active stands for
    // anything else, which the wait passes over.
    IdleEvent Read(DBusMessage* message) {
        dbus_uint32_t id = 0;
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (dbus_message_is_signal(message, kService, "WatchFired") &&
            dbus_message_get_args(message, nullptr, DBUS_TYPE_UINT32, &id, DBUS_TYPE_INVALID) && id == watch_) {
            return IdleEvent::Idle;
        }
        if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged") &&
            dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &before,
                                  DBUS_TYPE_STRING, &after, DBUS_TYPE_INVALID) &&
            after[0] == '\0') {
            return IdleEvent::Gone;
        }
        if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
            return IdleEvent::Gone;
        }
        return IdleEvent::Active;
    }

    int signalFd_;
    volatile sig_atomic_t* signalled_;
    DBusConnection* bus_ = nullptr;
    dbus_uint32_t watch_ = 0;
};

}  // namespace

std::unique_ptr<IdleSource> OpenGnomeIdle(uint32_t ms, int signalFd, volatile sig_atomic_t* signalled) {
    std::unique_ptr<GnomeIdle> idle(new GnomeIdle(signalFd, signalled));
    if (!idle->Open(ms)) {
        return nullptr;
    }
    return idle;
}
