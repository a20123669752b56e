#include "linux/wayland/wayland_client.h"

#include <errno.h>
#include <stdarg.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

#include <memory>

#include "linux/show_start.h"
#include "linux/wayland/client.h"
#include "linux/wayland/input.h"
#include "linux/wayland/outputs.h"
#include "linux/wayland/saver_lock.h"
#include "linux/clock.h"

namespace {

// A compositor that does not answer at start-up within this is as good as none.
const int kStartupMs = 5000;

void OnPing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {OnPing};

// libwayland writes its own reasons to standard error (a missing XDG_RUNTIME_DIR, a protocol
// error's details) beside the one line the program says.
void Quiet(const char*, va_list) {}

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, offered < wanted ? offered : wanted));
}

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    Client& client = *static_cast<Client*>(data);
    if (strcmp(interface, wl_compositor_interface.name) == 0 && version >= 4) {
        client.compositor = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (strcmp(interface, wl_subcompositor_interface.name) == 0) {
        client.subcompositor = Bind<wl_subcompositor>(registry, name, &wl_subcompositor_interface, version, 1);
    } else if (strcmp(interface, wl_shm_interface.name) == 0) {
        client.shm = Bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (strcmp(interface, xdg_wm_base_interface.name) == 0) {
        client.wmBase = Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 1);
        xdg_wm_base_add_listener(client.wmBase, &kWmBaseListener, &client);
    } else if (strcmp(interface, wl_seat_interface.name) == 0 && client.seat == nullptr) {
        client.seat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
        ListenToSeat(client);
    } else if (strcmp(interface, wp_viewporter_interface.name) == 0) {
        client.viewporter = Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        client.fractionalManager = Bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
        client.layerShell = Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 3);
    } else if (strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        AddOutput(client, name, Bind<wl_output>(registry, name, &wl_output_interface, version, 2));
    }
}

void OnGlobalRemove(void* data, wl_registry*, uint32_t name) {
    RemoveOutput(*static_cast<Client*>(data), name);
}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

enum class Wait { Ready, Timeout, Signal, Gone };

// Sends what is queued, waits up to `ms` (-1: for ever) for the compositor or a signal, and
// dispatches whatever came.
Wait Pump(Client& client, int ms, int signalFd, volatile sig_atomic_t* signalled) {
    if (*signalled) {
        return Wait::Signal;
    }
    while (wl_display_prepare_read(client.display) != 0) {
        if (wl_display_dispatch_pending(client.display) < 0) {
            return Wait::Gone;
        }
    }
    pollfd fds[2] = {{wl_display_get_fd(client.display), POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (wl_display_flush(client.display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(client.display);
            return Wait::Gone;
        }
        fds[0].events |= POLLOUT;
    }
    int ready = poll(fds, 2, ms);
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
        if (wl_display_read_events(client.display) < 0) {
            return Wait::Gone;
        }
    } else {
        wl_display_cancel_read(client.display);
    }
    if (wl_display_dispatch_pending(client.display) < 0) {
        return Wait::Gone;
    }
    if (*signalled) {
        return Wait::Signal;
    }
    return ready == 0 ? Wait::Timeout : Wait::Ready;
}

void OnSynced(void* data, wl_callback* callback, uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}

const wl_callback_listener kSyncListener = {OnSynced};

// A round trip that gives up at the deadline: a socket that accepts and never answers must
// not hold the program.
Wait Roundtrip(Client& client, int signalFd, volatile sig_atomic_t* signalled) {
    bool done = false;
    wl_callback* callback = wl_display_sync(client.display);
    wl_callback_add_listener(callback, &kSyncListener, &done);
    uint64_t deadline = MonotonicMs() + kStartupMs;
    while (!done) {
        uint64_t now = MonotonicMs();
        if (now >= deadline) {
            return Wait::Timeout;
        }
        Wait wait = Pump(client, static_cast<int>(deadline - now), signalFd, signalled);
        if (wait == Wait::Gone || wait == Wait::Signal) {
            return wait;
        }
    }
    return Wait::Ready;
}

const char* Missing(const Client& client) {
    if (client.compositor == nullptr) {
        return "wl_compositor (version 4)";
    }
    if (client.subcompositor == nullptr) {
        return "wl_subcompositor";
    }
    if (client.shm == nullptr) {
        return "wl_shm";
    }
    if (client.wmBase == nullptr) {
        return "xdg_wm_base (xdg-shell)";
    }
    return nullptr;
}

void Disconnect(Client& client) {
    while (!client.screens.empty()) {
        DestroyScreen(client, client.screens.back().get());
    }
    client.black.reset();
    for (std::unique_ptr<Output>& output : client.outputs) {
        wl_output_destroy(output->output);
    }
    client.outputs.clear();
    ReleaseInput(client);
    // Client-side only: the connection's end takes the compositor's side with it.
    void* globals[] = {client.seat, client.viewporter, client.fractionalManager, client.layerShell, client.wmBase,
                       client.shm,           client.subcompositor, client.compositor,     client.registry};
    for (void* global : globals) {
        if (global != nullptr) {
            wl_proxy_destroy(static_cast<wl_proxy*>(global));
        }
    }
    wl_display_disconnect(client.display);
}

}  // namespace

int RunWaylandShow(const LinuxOptions& options, int signalFd, volatile sig_atomic_t* signalled) {
    Client client;
    client.options = &options;
    client.saver = !options.windowNamed;
    wl_log_set_handler_client(Quiet);
    const char* name = getenv("WAYLAND_DISPLAY");
    const char* runtimeDir = getenv("XDG_RUNTIME_DIR");
    if ((runtimeDir == nullptr || runtimeDir[0] == '\0') && (name == nullptr || name[0] != '/')) {
        fputs("rolvanta: XDG_RUNTIME_DIR is not set, so there is no Wayland compositor to find\n", stderr);
        return 1;
    }
    if (client.saver && TakeSaverLock(runtimeDir, name) == SaverLock::Held) {
        return 0;
    }
    client.display = wl_display_connect(nullptr);
    if (client.display == nullptr) {
        fprintf(stderr, "rolvanta: cannot connect to the Wayland compositor %s\n",
                name != nullptr ? name : "(WAYLAND_DISPLAY is not set)");
        return 1;
    }
    client.registry = wl_display_get_registry(client.display);
    wl_registry_add_listener(client.registry, &kRegistryListener, &client);
    // The globals, then what the outputs and the seat say of themselves.
    Wait wait = Roundtrip(client, signalFd, signalled);
    if (wait == Wait::Ready) {
        wait = Roundtrip(client, signalFd, signalled);
    }
    int status = 0;
    const char* missing = nullptr;
    if (wait == Wait::Timeout) {
        fprintf(stderr, "rolvanta: the Wayland compositor did not answer within %d s\n", kStartupMs / 1000);
        status = 1;
    } else if (wait == Wait::Gone) {
        fprintf(stderr, "rolvanta: the Wayland compositor closed the connection at start-up\n");
        status = 1;
    } else if (wait == Wait::Ready && (missing = Missing(client)) != nullptr) {
        fprintf(stderr, "rolvanta: the Wayland compositor offers no %s, which the show needs\n", missing);
        status = 1;
    }
    if (wait != Wait::Ready || status != 0) {
        Disconnect(client);
        return status;
    }

    if (client.viewporter != nullptr) {
        client.black = NewBuffer(client.shm, 3, 3);
    }
    StartShow(client.show, client.canvas, options);
    // Nothing is seen before the first configure.
    PauseShow(client.show, client.canvas);
    if (client.saver) {
        CoverNext(client);
    } else {
        NewScreen(client, nullptr);
    }
    client.started = true;
    PlaceShow(client);
    while (!client.quit) {
        int delay = WaitForEvent;
        if (client.running) {
            delay = RunShow(client.show, client.canvas, MonotonicMs());
        }
        Present(client);
        // Told only once the compositor has shown the held step's frame, so that a picture
        // taken now is that step's.
        const char* notice = client.showScreen != nullptr && client.showScreen->frame == nullptr &&
                                     Empty(client.showScreen->pending)
                                 ? HeldNotice(client.show)
                                 : nullptr;
        if (notice != nullptr) {
            printf("rolvanta: %s\n", notice);
            fflush(stdout);
        }
        // A frame in flight or a busy buffer holds drawing back: its answer wakes the wait.
        wait = Pump(client, delay, signalFd, signalled);
        if (wait == Wait::Signal) {
            break;
        }
        if (wait == Wait::Gone) {
            int error = wl_display_get_error(client.display);
            if (error == EPROTO) {
                fprintf(stderr, "rolvanta: the Wayland compositor reported a protocol error\n");
            } else {
                fprintf(stderr, "rolvanta: the Wayland compositor went away\n");
            }
            status = 1;
            break;
        }
    }
    if (!client.fault.empty()) {
        fprintf(stderr, "rolvanta: %s\n", client.fault.c_str());
        status = 1;
    }
    DestroyShow(client.show, client.canvas);
    // Proxies go before the display, whether the compositor is still there or not.
    Disconnect(client);
    return status;
}
