#include "linux/wayland/wayland_client.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ride_engine.h"
#include "core/screen_scale.h"
#include "fractional-scale-v1-client-protocol.h"
#include "linux/wayland/pixel_canvas.h"
#include "linux/sound/alsa_show_port.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

const int kOwnWidth = 800;
const int kOwnHeight = 600;
// A compositor that does not answer at start-up within this is as good as none.
const int kStartupMs = 5000;
// Travel of the pointer, across plus down, that is a hand on the mouse rather than a tremor
// of the desk: in surface pixels.
const int kMoveThreshold = 4;

struct Client;

struct Output {
    Client* client = nullptr;
    uint32_t name = 0;
    wl_output* output = nullptr;
    int32_t scale = 1;
};

// One wl_shm buffer of XRGB pixels, mapped. `stale` is what the canvas drew since this
// buffer last had its copy.
struct Buffer {
    wl_buffer* buffer = nullptr;
    uint32_t* data = nullptr;
    size_t bytes = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool busy = false;
    ShowRect stale = {0, 0, 0, 0};
    ~Buffer() {
        if (buffer != nullptr) {
            wl_buffer_destroy(buffer);
        }
        if (data != nullptr) {
            munmap(data, bytes);
        }
    }
};

// A surface of the client's: full screen on one output, or the window of -window.
struct Screen {
    Client* client = nullptr;
    Output* output = nullptr;  // the output it covers; null for a window
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wp_viewport* viewport = nullptr;
    wp_fractional_scale_v1* fractional = nullptr;
    std::vector<Output*> entered;  // for a window: the outputs it shows on
    int32_t preferred120 = 0;      // the compositor's fractional scale, in 120ths; 0: none said
    int32_t width = 0;             // surface size, as configured
    int32_t height = 0;
    bool configured = false;
    int32_t coverWidth = -1;  // the cover's size as last laid out
    int32_t coverHeight = -1;
    std::unique_ptr<Buffer> cover;  // without a viewporter: black, the screen's size
    // The show's screen only: the canvas in a subsurface, its buffers' size as last laid out.
    wl_surface* canvasSurface = nullptr;
    wl_subsurface* subsurface = nullptr;
    wp_viewport* canvasViewport = nullptr;
    int32_t laidWidth = -1;
    int32_t laidHeight = -1;
    std::unique_ptr<Buffer> buffers[2];
    wl_callback* frame = nullptr;
    ShowRect pending = {0, 0, 0, 0};  // drawn and not yet committed
};

struct Client {
    const LinuxOptions* options = nullptr;  // the command line's choices, for as long as it runs
    bool saver = false;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_subcompositor* subcompositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wl_seat* seat = nullptr;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractionalManager = nullptr;
    wl_pointer* pointer = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_touch* touch = nullptr;
    std::vector<std::unique_ptr<Output>> outputs;
    std::vector<std::unique_ptr<Screen>> screens;
    Screen* showScreen = nullptr;
    std::unique_ptr<Buffer> black;  // 1x1, stretched by a viewport over every black screen
    PixelCanvas canvas;
    Show show = NewShow();
    bool running = false;  // the show rides (its screen is configured)
    bool started = false;  // the outputs there were at start have their screens
    bool quit = false;
    bool announced = false;
    // The pointer as it came onto one of the screens, for telling a move from a tremor.
    Screen* pointerScreen = nullptr;
    wl_fixed_t pointerX = 0;
    wl_fixed_t pointerY = 0;
};

void Present(Client& client);
void Layout(Client& client, Screen& screen);
void NewScreen(Client& client, Output* output);

// Outputs get their screens one at a time, each once the one before is configured, so that a
// compositor that maps a new surface on the focused output before moving it to the output it
// asked for never has two of them there at once.
void CoverNext(Client& client) {
    if (!client.saver) {
        return;
    }
    for (const std::unique_ptr<Screen>& screen : client.screens) {
        if (!screen->configured) {
            return;
        }
    }
    for (const std::unique_ptr<Output>& output : client.outputs) {
        bool covered = false;
        for (const std::unique_ptr<Screen>& screen : client.screens) {
            covered = covered || screen->output == output.get();
        }
        if (!covered) {
            NewScreen(client, output.get());
            return;
        }
    }
}

// The screen's scale in 120ths: what the compositor prefers for the surface when it says so,
// else the output's whole-number scale (a window's: the largest of those it shows on).
int32_t Scale120(const Screen& screen) {
    if (screen.preferred120 > 0) {
        return screen.preferred120;
    }
    if (screen.output != nullptr) {
        return screen.output->scale * 120;
    }
    int32_t scale = 1;
    for (const Output* output : screen.entered) {
        scale = output->scale > scale ? output->scale : scale;
    }
    return scale * 120;
}

// The side of the block each picture pixel becomes on this screen: --scale when the user names
// one, else the one the compositor's scale for the screen asks for.
int32_t PixelScale(const Client& client, const Screen& screen) {
    if (client.options != nullptr && client.options->scale > 0) {
        return client.options->scale;
    }
    return PixelScaleFor(Scale120(screen), 120);
}

void OnBufferRelease(void* data, wl_buffer*) {
    Buffer* buffer = static_cast<Buffer*>(data);
    buffer->busy = false;
}

const wl_buffer_listener kBufferListener = {OnBufferRelease};

std::unique_ptr<Buffer> NewBuffer(Client& client, int32_t width, int32_t height) {
    std::unique_ptr<Buffer> buffer(new Buffer);
    buffer->width = width;
    buffer->height = height;
    buffer->bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    int fd = memfd_create("rolvanta", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(buffer->bytes)) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    void* data = mmap(nullptr, buffer->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    buffer->data = static_cast<uint32_t*>(data);
    wl_shm_pool* pool = wl_shm_create_pool(client.shm, fd, static_cast<int32_t>(buffer->bytes));
    buffer->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(buffer->buffer, &kBufferListener, buffer.get());
    return buffer;
}

void OnFrameDone(void* data, wl_callback* callback, uint32_t) {
    Screen* screen = static_cast<Screen*>(data);
    wl_callback_destroy(callback);
    screen->frame = nullptr;
}

const wl_callback_listener kFrameListener = {OnFrameDone};

// The canvas's new drawing into a free buffer of the show's screen, and that buffer to the
// compositor: at most one frame in flight, the rest gathered for the next.
void Present(Client& client) {
    Screen* screen = client.showScreen;
    ShowRect drawn = client.canvas.TakeDamage();
    if (screen == nullptr || screen->laidWidth < 0) {
        return;
    }
    Unite(screen->pending, drawn);
    for (std::unique_ptr<Buffer>& buffer : screen->buffers) {
        if (buffer) {
            Unite(buffer->stale, drawn);
        }
    }
    if (screen->frame != nullptr || Empty(screen->pending)) {
        return;
    }
    Buffer* free = nullptr;
    for (std::unique_ptr<Buffer>& buffer : screen->buffers) {
        if (buffer && !buffer->busy) {
            free = buffer.get();
            break;
        }
    }
    if (free == nullptr) {
        return;
    }
    const ShowRect& stale = free->stale;
    if (!Empty(stale)) {
        size_t columns = static_cast<size_t>(stale.right - stale.left);
        for (int32_t row = stale.top; row < stale.bottom; ++row) {
            size_t at = static_cast<size_t>(row) * free->width + stale.left;
            memcpy(free->data + at, client.canvas.Pixels() + at, columns * sizeof(uint32_t));
        }
    }
    free->stale = ShowRect{0, 0, 0, 0};
    const ShowRect& pending = screen->pending;
    wl_surface_attach(screen->canvasSurface, free->buffer, 0, 0);
    wl_surface_damage_buffer(screen->canvasSurface, pending.left, pending.top, pending.right - pending.left,
                             pending.bottom - pending.top);
    screen->pending = ShowRect{0, 0, 0, 0};
    screen->frame = wl_surface_frame(screen->canvasSurface);
    wl_callback_add_listener(screen->frame, &kFrameListener, screen);
    wl_surface_commit(screen->canvasSurface);
    free->busy = true;
}

// Gives the screen its cover, one black pixel stretched over the whole output (or a black
// buffer of its size), and the show's screen above that a subsurface of the canvas's size
// and scale with two buffers. The subsurface also keeps the compositor from handing the
// canvas's buffer to the output as it is (direct scan-out), which leaves some compositors'
// own copy of the output stale outside what each frame damaged.
void Layout(Client& client, Screen& screen) {
    if (!screen.configured) {
        return;
    }
    bool committed = false;
    if (screen.width != screen.coverWidth || screen.height != screen.coverHeight) {
        screen.coverWidth = screen.width;
        screen.coverHeight = screen.height;
        Buffer* black = client.black.get();
        if (screen.viewport != nullptr && black != nullptr) {
            wp_viewport_set_destination(screen.viewport, screen.width, screen.height);
        } else {
            screen.cover = NewBuffer(client, screen.width, screen.height);
            black = screen.cover.get();
            if (black != nullptr) {
                memset(black->data, 0, black->bytes);
            }
        }
        if (black != nullptr) {
            wl_surface_attach(screen.surface, black->buffer, 0, 0);
            wl_surface_damage_buffer(screen.surface, 0, 0, black->width, black->height);
        }
        committed = true;
    }
    if (&screen != client.showScreen) {
        if (committed) {
            wl_surface_commit(screen.surface);
        }
        return;
    }
    if (screen.canvasSurface == nullptr) {
        screen.canvasSurface = wl_compositor_create_surface(client.compositor);
        screen.subsurface = wl_subcompositor_get_subsurface(client.subcompositor, screen.canvasSurface, screen.surface);
        // The canvas shows each frame as it comes, not with the cover's next commit.
        wl_subsurface_set_desync(screen.subsurface);
        if (client.viewporter != nullptr) {
            screen.canvasViewport = wp_viewporter_get_viewport(client.viewporter, screen.canvasSurface);
        }
        screen.laidWidth = -1;
        committed = true;
    }
    if (committed) {
        wl_surface_commit(screen.surface);
    }
    int32_t scale120 = Scale120(screen);
    int32_t width = screen.width;
    int32_t height = screen.height;
    int32_t bufferScale = 1;
    if (screen.canvasViewport != nullptr) {
        // Rounded as the fractional-scale protocol asks, so that a buffer pixel is a screen pixel.
        width = static_cast<int32_t>((static_cast<int64_t>(screen.width) * scale120 + 60) / 120);
        height = static_cast<int32_t>((static_cast<int64_t>(screen.height) * scale120 + 60) / 120);
    } else {
        bufferScale = scale120 / 120 > 1 ? scale120 / 120 : 1;
        width *= bufferScale;
        height *= bufferScale;
    }
    int32_t scale = PixelScale(client, screen);
    if (width == screen.laidWidth && height == screen.laidHeight && client.canvas.Scale() == scale) {
        return;
    }
    screen.laidWidth = width;
    screen.laidHeight = height;
    screen.buffers[0].reset();
    screen.buffers[1].reset();
    if (screen.frame != nullptr) {
        wl_callback_destroy(screen.frame);
        screen.frame = nullptr;
    }
    if (screen.canvasViewport != nullptr) {
        wp_viewport_set_destination(screen.canvasViewport, screen.width, screen.height);
    } else {
        wl_surface_set_buffer_scale(screen.canvasSurface, bufferScale);
    }
    client.canvas.Reshape(width, height, scale);
    for (std::unique_ptr<Buffer>& buffer : screen.buffers) {
        buffer = NewBuffer(client, width, height);
        if (buffer) {
            memset(buffer->data, 0, buffer->bytes);
        }
    }
    screen.pending = ShowRect{0, 0, width, height};
    ReshapeShow(client.show, client.canvas.ClientRect());
    EraseBackground(client.show, client.canvas);
    if (!client.running) {
        client.running = true;
        ResumeShow(client.show, client.canvas);
    }
    Present(client);
}

// The show goes to the first screen there is when it has none, and waits while there is none.
void PlaceShow(Client& client) {
    if (client.showScreen != nullptr) {
        return;
    }
    if (client.running) {
        client.running = false;
        PauseShow(client.show, client.canvas);
    }
    if (!client.screens.empty()) {
        client.showScreen = client.screens.front().get();
        Layout(client, *client.showScreen);
    }
}

void OnPreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
    Screen* screen = static_cast<Screen*>(data);
    screen->preferred120 = static_cast<int32_t>(scale);
    Layout(*screen->client, *screen);
}

const wp_fractional_scale_v1_listener kFractionalListener = {OnPreferredScale};

void OnSurfaceEnter(void* data, wl_surface*, wl_output* output) {
    Screen* screen = static_cast<Screen*>(data);
    for (std::unique_ptr<Output>& known : screen->client->outputs) {
        if (known->output == output) {
            screen->entered.push_back(known.get());
        }
    }
    Layout(*screen->client, *screen);
}

void OnSurfaceLeave(void* data, wl_surface*, wl_output* output) {
    Screen* screen = static_cast<Screen*>(data);
    for (size_t i = 0; i < screen->entered.size(); ++i) {
        if (screen->entered[i]->output == output) {
            screen->entered.erase(screen->entered.begin() + static_cast<long>(i));
            break;
        }
    }
    Layout(*screen->client, *screen);
}

const wl_surface_listener kSurfaceListener = {OnSurfaceEnter, OnSurfaceLeave};

void OnXdgConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    Screen* screen = static_cast<Screen*>(data);
    xdg_surface_ack_configure(surface, serial);
    screen->configured = true;
    Layout(*screen->client, *screen);
    // Every acknowledged configure is answered with a commit, changed or not: a compositor
    // may keep showing the surface's old frame until it has one.
    wl_surface_commit(screen->surface);
    if (screen->client->started) {
        CoverNext(*screen->client);
    }
}

const xdg_surface_listener kXdgSurfaceListener = {OnXdgConfigure};

void OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    Screen* screen = static_cast<Screen*>(data);
    // 0 leaves the size to the client: a window's own, or the one it has.
    if (width > 0 && height > 0) {
        screen->width = width;
        screen->height = height;
    } else if (screen->width <= 0 || screen->height <= 0) {
        screen->width = kOwnWidth;
        screen->height = kOwnHeight;
    }
}

void OnToplevelClose(void* data, xdg_toplevel*) {
    static_cast<Screen*>(data)->client->quit = true;
}

const xdg_toplevel_listener kToplevelListener = {OnToplevelConfigure, OnToplevelClose, nullptr, nullptr};

void NewScreen(Client& client, Output* output) {
    std::unique_ptr<Screen> screen(new Screen);
    screen->client = &client;
    screen->output = output;
    screen->surface = wl_compositor_create_surface(client.compositor);
    wl_surface_add_listener(screen->surface, &kSurfaceListener, screen.get());
    if (client.viewporter != nullptr) {
        screen->viewport = wp_viewporter_get_viewport(client.viewporter, screen->surface);
    }
    if (client.fractionalManager != nullptr) {
        screen->fractional =
            wp_fractional_scale_manager_v1_get_fractional_scale(client.fractionalManager, screen->surface);
        wp_fractional_scale_v1_add_listener(screen->fractional, &kFractionalListener, screen.get());
    }
    screen->xdgSurface = xdg_wm_base_get_xdg_surface(client.wmBase, screen->surface);
    xdg_surface_add_listener(screen->xdgSurface, &kXdgSurfaceListener, screen.get());
    screen->toplevel = xdg_surface_get_toplevel(screen->xdgSurface);
    xdg_toplevel_add_listener(screen->toplevel, &kToplevelListener, screen.get());
    xdg_toplevel_set_title(screen->toplevel, "Rolvanta");
    xdg_toplevel_set_app_id(screen->toplevel, "rolvanta");
    if (output != nullptr) {
        xdg_toplevel_set_fullscreen(screen->toplevel, output->output);
    }
    wl_surface_commit(screen->surface);
    client.screens.push_back(std::move(screen));
    PlaceShow(client);
}

void DestroyScreen(Client& client, Screen* screen) {
    if (client.pointerScreen == screen) {
        client.pointerScreen = nullptr;
    }
    if (screen->frame != nullptr) {
        wl_callback_destroy(screen->frame);
    }
    screen->buffers[0].reset();
    screen->buffers[1].reset();
    screen->cover.reset();
    if (screen->canvasViewport != nullptr) {
        wp_viewport_destroy(screen->canvasViewport);
    }
    if (screen->subsurface != nullptr) {
        wl_subsurface_destroy(screen->subsurface);
        wl_surface_destroy(screen->canvasSurface);
    }
    if (screen->fractional != nullptr) {
        wp_fractional_scale_v1_destroy(screen->fractional);
    }
    if (screen->viewport != nullptr) {
        wp_viewport_destroy(screen->viewport);
    }
    xdg_toplevel_destroy(screen->toplevel);
    xdg_surface_destroy(screen->xdgSurface);
    wl_surface_destroy(screen->surface);
    if (client.showScreen == screen) {
        client.showScreen = nullptr;
    }
    for (size_t i = 0; i < client.screens.size(); ++i) {
        if (client.screens[i].get() == screen) {
            client.screens.erase(client.screens.begin() + static_cast<long>(i));
            break;
        }
    }
}

void OnOutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                      int32_t) {}
void OnOutputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}

void OnOutputDone(void* data, wl_output*) {
    Output* output = static_cast<Output*>(data);
    Client& client = *output->client;
    for (std::unique_ptr<Screen>& screen : client.screens) {
        if (screen->output == output || (screen->output == nullptr && !screen->entered.empty())) {
            Layout(client, *screen);
        }
    }
}

void OnOutputScale(void* data, wl_output*, int32_t scale) {
    static_cast<Output*>(data)->scale = scale > 0 ? scale : 1;
}

const wl_output_listener kOutputListener = {OnOutputGeometry, OnOutputMode, OnOutputDone, OnOutputScale,
                                            nullptr, nullptr};

void OnPing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {OnPing};

// Input ends a screen saver; a window is an ordinary window and takes no notice.
void Input(Client& client) {
    if (client.saver) {
        client.quit = true;
    }
}

void OnPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                    wl_fixed_t y) {
    Client& client = *static_cast<Client*>(data);
    if (!client.saver) {
        return;
    }
    wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    client.pointerScreen = nullptr;
    for (std::unique_ptr<Screen>& screen : client.screens) {
        if (screen->surface == surface || screen->canvasSurface == surface) {
            client.pointerScreen = screen.get();
        }
    }
    client.pointerX = x;
    client.pointerY = y;
}

void OnPointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
    static_cast<Client*>(data)->pointerScreen = nullptr;
}

void OnPointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    Client& client = *static_cast<Client*>(data);
    if (client.pointerScreen == nullptr) {
        return;
    }
    int travel = abs(wl_fixed_to_int(x - client.pointerX)) + abs(wl_fixed_to_int(y - client.pointerY));
    if (travel > kMoveThreshold) {
        Input(client);
    }
}

void OnPointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_POINTER_BUTTON_STATE_PRESSED) {
        Input(*static_cast<Client*>(data));
    }
}

void OnPointerAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {
    Input(*static_cast<Client*>(data));
}

void OnPointerFrame(void*, wl_pointer*) {}
void OnPointerAxisSource(void*, wl_pointer*, uint32_t) {}
void OnPointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void OnPointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

const wl_pointer_listener kPointerListener = {OnPointerEnter,  OnPointerLeave,      OnPointerMotion,
                                              OnPointerButton, OnPointerAxis,       OnPointerFrame,
                                              OnPointerAxisSource, OnPointerAxisStop, OnPointerAxisDiscrete,
                                              nullptr};

void OnKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
    close(fd);
}
void OnKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void OnKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}

void OnKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
        Input(*static_cast<Client*>(data));
    }
}

void OnModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboardListener = {OnKeymap,    OnKeyboardEnter, OnKeyboardLeave,
                                                OnKey,       OnModifiers,     OnRepeatInfo};

void OnTouchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t, wl_fixed_t) {
    Input(*static_cast<Client*>(data));
}
void OnTouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
void OnTouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void OnTouchFrame(void*, wl_touch*) {}
void OnTouchCancel(void*, wl_touch*) {}
void OnTouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
void OnTouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}

const wl_touch_listener kTouchListener = {OnTouchDown,   OnTouchUp,    OnTouchMotion,     OnTouchFrame,
                                          OnTouchCancel, OnTouchShape, OnTouchOrientation};

void OnSeatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    Client& client = *static_cast<Client*>(data);
    bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    bool touch = (capabilities & WL_SEAT_CAPABILITY_TOUCH) != 0;
    if (pointer && client.pointer == nullptr) {
        client.pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(client.pointer, &kPointerListener, &client);
    } else if (!pointer && client.pointer != nullptr) {
        wl_pointer_destroy(client.pointer);
        client.pointer = nullptr;
        client.pointerScreen = nullptr;
    }
    if (keyboard && client.keyboard == nullptr) {
        client.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(client.keyboard, &kKeyboardListener, &client);
    } else if (!keyboard && client.keyboard != nullptr) {
        wl_keyboard_destroy(client.keyboard);
        client.keyboard = nullptr;
    }
    if (touch && client.touch == nullptr) {
        client.touch = wl_seat_get_touch(seat);
        wl_touch_add_listener(client.touch, &kTouchListener, &client);
    } else if (!touch && client.touch != nullptr) {
        wl_touch_destroy(client.touch);
        client.touch = nullptr;
    }
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {OnSeatCapabilities, OnSeatName};

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
        wl_seat_add_listener(client.seat, &kSeatListener, &client);
    } else if (strcmp(interface, wp_viewporter_interface.name) == 0) {
        client.viewporter = Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        client.fractionalManager = Bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        std::unique_ptr<Output> output(new Output);
        output->client = &client;
        output->name = name;
        output->output = Bind<wl_output>(registry, name, &wl_output_interface, version, 2);
        wl_output_add_listener(output->output, &kOutputListener, output.get());
        client.outputs.push_back(std::move(output));
        // Outputs at start-up get their screens once everything the screens need is bound.
        if (client.saver && client.started) {
            CoverNext(client);
        }
    }
}

void OnGlobalRemove(void* data, wl_registry*, uint32_t name) {
    Client& client = *static_cast<Client*>(data);
    for (size_t i = 0; i < client.outputs.size(); ++i) {
        Output* output = client.outputs[i].get();
        if (output->name != name) {
            continue;
        }
        for (size_t j = client.screens.size(); j-- > 0;) {
            Screen* screen = client.screens[j].get();
            if (screen->output == output) {
                DestroyScreen(client, screen);
            } else {
                for (size_t k = 0; k < screen->entered.size(); ++k) {
                    if (screen->entered[k] == output) {
                        screen->entered.erase(screen->entered.begin() + static_cast<long>(k));
                        break;
                    }
                }
            }
        }
        wl_output_destroy(output->output);
        client.outputs.erase(client.outputs.begin() + static_cast<long>(i));
        PlaceShow(client);
        CoverNext(client);
        return;
    }
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
    if (client.pointer != nullptr) {
        wl_pointer_destroy(client.pointer);
    }
    if (client.keyboard != nullptr) {
        wl_keyboard_destroy(client.keyboard);
    }
    if (client.touch != nullptr) {
        wl_touch_destroy(client.touch);
    }
    // Client-side only: the connection's end takes the compositor's side with it.
    void* globals[] = {client.seat,          client.viewporter, client.fractionalManager, client.wmBase,
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
    client.display = wl_display_connect(nullptr);
    if (client.display == nullptr) {
        const char* name = getenv("WAYLAND_DISPLAY");
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
        client.black = NewBuffer(client, 1, 1);
        if (client.black) {
            client.black->data[0] = 0;
        }
    }
    CreateShow(client.show, client.canvas, options.settings);
    if (options.settings.sound) {
        client.canvas.Player().Open();
    }
    if (options.seeded) {
        SeedRandom(client.show, options.seed);
    }
    if (options.stepLimited) {
        client.show.schedule.tickLimit = options.steps;
    }
    client.show.schedule.floorMs = static_cast<uint32_t>(options.delayMicroseconds) / 1000u;
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
        if (client.show.schedule.held && !client.announced && client.showScreen != nullptr &&
            client.showScreen->frame == nullptr && Empty(client.showScreen->pending)) {
            // Told only once the compositor has shown the held step's frame, so that a
            // picture taken now is that step's.
            printf("rolvanta: held after %llu steps\n", static_cast<unsigned long long>(client.show.schedule.ticks));
            fflush(stdout);
            client.announced = true;
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
    DestroyShow(client.show, client.canvas);
    // Proxies go before the display, whether the compositor is still there or not.
    Disconnect(client);
    return status;
}
