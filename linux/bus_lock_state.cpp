#include "linux/bus_lock_state.h"

#include <dbus/dbus.h>

namespace {

struct Locker {
    const char* service;
    const char* path;
};

// Both name their interface after the service.
const Locker kLockers[] = {
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
    {"org.freedesktop.ScreenSaver", "/ScreenSaver"},
};

const int kAnswerMs = 2000;

}  // namespace

bool ScreenLockedOnBus() {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (bus == nullptr) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    dbus_bool_t active = FALSE;
    for (const Locker& locker : kLockers) {
        DBusMessage* call = dbus_message_new_method_call(locker.service, locker.path, locker.service, "GetActive");
        // Asked of one that runs, never started for the question.
        dbus_message_set_auto_start(call, FALSE);
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, kAnswerMs, &error);
        dbus_message_unref(call);
        if (reply != nullptr) {
            dbus_message_get_args(reply, &error, DBUS_TYPE_BOOLEAN, &active, DBUS_TYPE_INVALID);
            dbus_message_unref(reply);
        }
        dbus_error_free(&error);
        if (active) {
            break;
        }
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return active;
}
