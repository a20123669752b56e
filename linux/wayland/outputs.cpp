#include "linux/wayland/outputs.h"

#include <stdio.h>
#include <string.h>

#include "core/screen_scale.h"
#include "linux/wayland/input.h"

// A window's size until the compositor gives it one.
static const int kOwnWidth = 800;
static const int kOwnHeight = 600;

static void Layout(Client& client, Screen& screen);

// The output's current mode as its surfaces see it, turned by its transform; false while the
// compositor has said none.
static bool ModeSize(const Output* output, int32_t* width, int32_t* height) {
    if (output == nullptr || output->modeWidth <= 0 || output->modeHeight <= 0) {
        return false;
    }
    bool turned = (output->transform & 1) != 0;  // 90 and 270, flipped or not
    *width = turned ? output->modeHeight : output->modeWidth;
    *height = turned ? output->modeWidth : output->modeHeight;
    return true;
}

// A kiosk compositor shows every full-screen window over all its outputs, whatever output it
// was asked for: a screen configured larger than its output's mode (no scale makes a surface
// larger than the pixels it is shown on) spans them, and the other screens, mapped above it,
// would only hide the show.
static bool Spans(const Screen* screen) {
    int32_t width = 0;
    int32_t height = 0;
    return screen != nullptr && screen->toplevel != nullptr && ModeSize(screen->output, &width, &height) &&
           (screen->width > width || screen->height > height);
}

// The true scale of an output's screen, in 120ths, from the output's pixels over the surface's
// size: a compositor without the fractional-scale protocol says only a whole scale, rounded up
// (sway says 2 for 1.5). 0 when the surface is not the whole output at one factor.
static int32_t ModeScale120(const Screen& screen) {
    int32_t width = 0;
    int32_t height = 0;
    if (screen.width <= 0 || screen.height <= 0 || !ModeSize(screen.output, &width, &height)) {
        return 0;
    }
    int32_t scale120 = static_cast<int32_t>((static_cast<int64_t>(width) * 120 + screen.width / 2) / screen.width);
    int64_t fitted = (static_cast<int64_t>(screen.height) * scale120 + 60) / 120;
    return scale120 >= 120 && fitted >= height - 2 && fitted <= height + 2 ? scale120 : 0;
}

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
        bool covered = output->closed || Spans(client.showScreen);
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
static int32_t Scale120(const Screen& screen) {
    if (screen.preferred120 > 0) {
        return screen.preferred120;
    }
    if (screen.output != nullptr) {
        int32_t fromMode = ModeScale120(screen);
        return fromMode > 0 ? fromMode : screen.output->scale * 120;
    }
    int32_t scale = 1;
    for (const Output* output : screen.entered) {
        scale = output->scale > scale ? output->scale : scale;
    }
    return scale * 120;
}

// The side of the block each picture pixel becomes on this screen: --scale when the user names
// one, else the one the compositor's scale for the screen asks for.
static int32_t PixelScale(const Client& client, const Screen& screen) {
    if (client.options != nullptr && client.options->scale > 0) {
        return client.options->scale;
    }
    return PixelScaleFor(Scale120(screen), 120);
}

static void OnFrameDone(void* data, wl_callback* callback, uint32_t) {
    Screen* screen = static_cast<Screen*>(data);
    wl_callback_destroy(callback);
    screen->frame = nullptr;
    NoteShown(*screen->client);
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

// Gives the screen its cover, a black pixel stretched over the whole output (or a black
// buffer of its size), and the show's screen above that a subsurface of the canvas's size
// and scale with two buffers. The subsurface also keeps the compositor from handing the
// canvas's buffer to the output as it is (direct scan-out), which leaves some compositors'
// own copy of the output stale outside what each frame damaged.
static void Layout(Client& client, Screen& screen) {
    if (!screen.configured) {
        return;
    }
    bool committed = false;
    // A rotated or flipped output takes a black buffer of its own size: sway's software renderer
    // places a stretched one a pixel off there, and a row or a column of the desktop shows.
    bool whole = client.black == nullptr || screen.viewport == nullptr ||
                 (screen.output != nullptr && screen.output->transform != WL_OUTPUT_TRANSFORM_NORMAL);
    if (screen.width != screen.coverWidth || screen.height != screen.coverHeight || whole != (screen.cover != nullptr)) {
        screen.coverWidth = screen.width;
        screen.coverHeight = screen.height;
        Buffer* black = client.black.get();
        screen.cover.reset();
        if (!whole) {
            // The middle pixel of the three by three: a renderer whose stretch overshoots the
            // source by a fraction of a pixel (software ones do, by up to six rows of a
            // 1080-row screen) still finds black there, not the desktop past the buffer's edge.
            wp_viewport_set_source(screen.viewport, wl_fixed_from_int(1), wl_fixed_from_int(1), wl_fixed_from_int(1),
                                   wl_fixed_from_int(1));
            wp_viewport_set_destination(screen.viewport, screen.width, screen.height);
        } else {
            if (screen.viewport != nullptr) {
                wp_viewport_set_source(screen.viewport, wl_fixed_from_int(-1), wl_fixed_from_int(-1),
                                       wl_fixed_from_int(-1), wl_fixed_from_int(-1));
                wp_viewport_set_destination(screen.viewport, -1, -1);
            }
            screen.cover = NewBuffer(client.shm, screen.width, screen.height);
            black = screen.cover.get();
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
    if (screen.canvasViewport != nullptr && screen.preferred120 == 0 && ModeScale120(screen) > 0) {
        // The output's own pixels, whatever the surface's size rounded away.
        ModeSize(screen.output, &width, &height);
    } else if (screen.canvasViewport != nullptr) {
        // Rounded as the fractional-scale protocol asks, so that a buffer pixel is a screen pixel.
        width = static_cast<int32_t>((static_cast<int64_t>(screen.width) * scale120 + 60) / 120);
        height = static_cast<int32_t>((static_cast<int64_t>(screen.height) * scale120 + 60) / 120);
    } else {
        bufferScale = scale120 / 120 > 1 ? scale120 / 120 : 1;
        width *= bufferScale;
        height *= bufferScale;
    }
    int32_t scale = PixelScale(client, screen);
    if (width == screen.laidWidth && height == screen.laidHeight && screen.laidScale == scale) {
        return;
    }
    if (!FitsShm(width, height)) {
        char fault[128];
        snprintf(fault, sizeof(fault), "a surface of %dx%d pixels is more than a shared-memory buffer can hold",
                 static_cast<int>(width), static_cast<int>(height));
        client.fault = fault;
        client.quit = true;
        return;
    }
    screen.laidWidth = width;
    screen.laidHeight = height;
    screen.laidScale = scale;
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
    client.canvas.Reshape(width, height);
    RescaleShow(client.show, scale);
    for (std::unique_ptr<Buffer>& buffer : screen.buffers) {
        buffer = NewBuffer(client.shm, width, height);
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

static void OnPreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
    Screen* screen = static_cast<Screen*>(data);
    screen->preferred120 = static_cast<int32_t>(scale);
    RebasePointer(*screen->client);
    Layout(*screen->client, *screen);
}

const wp_fractional_scale_v1_listener kFractionalListener = {OnPreferredScale};

static void OnSurfaceEnter(void* data, wl_surface*, wl_output* output) {
    Screen* screen = static_cast<Screen*>(data);
    for (std::unique_ptr<Output>& known : screen->client->outputs) {
        if (known->output == output) {
            screen->entered.push_back(known.get());
        }
    }
    Layout(*screen->client, *screen);
}

static void OnSurfaceLeave(void* data, wl_surface*, wl_output* output) {
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

static void OnXdgConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    Screen* screen = static_cast<Screen*>(data);
    Client& client = *screen->client;
    xdg_surface_ack_configure(surface, serial);
    screen->configured = true;
    for (size_t i = client.screens.size(); Spans(screen) && screen == client.showScreen && i-- > 0;) {
        if (client.screens[i].get() != screen) {
            DestroyScreen(client, client.screens[i].get());
        }
    }
    Layout(*screen->client, *screen);
    // Every acknowledged configure is answered with a commit, changed or not: a compositor
    // may keep showing the surface's old frame until it has one.
    wl_surface_commit(screen->surface);
    if (screen->client->started) {
        CoverNext(*screen->client);
    }
}

const xdg_surface_listener kXdgSurfaceListener = {OnXdgConfigure};

static void OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
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

static void OnToplevelClose(void* data, xdg_toplevel*) {
    static_cast<Screen*>(data)->client->quit = true;
}

const xdg_toplevel_listener kToplevelListener = {OnToplevelConfigure, OnToplevelClose, nullptr, nullptr};

static void OnLayerConfigure(void* data, zwlr_layer_surface_v1* surface, uint32_t serial, uint32_t width,
                             uint32_t height) {
    Screen* screen = static_cast<Screen*>(data);
    zwlr_layer_surface_v1_ack_configure(surface, serial);
    if (width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX) {
        if (screen->configured &&
            (static_cast<int32_t>(width) != screen->width || static_cast<int32_t>(height) != screen->height)) {
            RebasePointer(*screen->client);
        }
        screen->width = static_cast<int32_t>(width);
        screen->height = static_cast<int32_t>(height);
    }
    screen->configured = screen->width > 0 && screen->height > 0;
    Layout(*screen->client, *screen);
    wl_surface_commit(screen->surface);
    if (screen->client->started) {
        CoverNext(*screen->client);
    }
}

// The compositor will not show the surface again (its output is going): the screen goes, and
// the show, if it was there, moves to another.
static void OnLayerClosed(void* data, zwlr_layer_surface_v1*) {
    Screen* screen = static_cast<Screen*>(data);
    Client& client = *screen->client;
    if (screen->output != nullptr) {
        screen->output->closed = true;
    }
    DestroyScreen(client, screen);
    RebasePointer(client);
    PlaceShow(client);
}

const zwlr_layer_surface_v1_listener kLayerListener = {OnLayerConfigure, OnLayerClosed};

// An overlay over the whole output, above every window and panel, that takes the keyboard
// for itself: no workspace holds it, so nothing the window manager does to workspaces can
// uncover the output or take the keys away.
static void MakeLayer(Client& client, Screen& screen) {
    screen.layerSurface = zwlr_layer_shell_v1_get_layer_surface(client.layerShell, screen.surface,
                                                                 screen.output->output,
                                                                 ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "rolvanta");
    zwlr_layer_surface_v1_add_listener(screen.layerSurface, &kLayerListener, &screen);
    zwlr_layer_surface_v1_set_anchor(screen.layerSurface,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(screen.layerSurface, 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(screen.layerSurface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(screen.layerSurface,
                                                     ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
}

static void MakeToplevel(Client& client, Screen& screen) {
    screen.xdgSurface = xdg_wm_base_get_xdg_surface(client.wmBase, screen.surface);
    xdg_surface_add_listener(screen.xdgSurface, &kXdgSurfaceListener, &screen);
    screen.toplevel = xdg_surface_get_toplevel(screen.xdgSurface);
    xdg_toplevel_add_listener(screen.toplevel, &kToplevelListener, &screen);
    xdg_toplevel_set_title(screen.toplevel, "Rolvanta");
    xdg_toplevel_set_app_id(screen.toplevel, "rolvanta");
    if (screen.output != nullptr) {
        xdg_toplevel_set_fullscreen(screen.toplevel, screen.output->output);
    }
}

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
    if (output != nullptr && client.layerShell != nullptr) {
        MakeLayer(client, *screen);
    } else {
        MakeToplevel(client, *screen);
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
    if (screen->layerSurface != nullptr) {
        zwlr_layer_surface_v1_destroy(screen->layerSurface);
    } else {
        xdg_toplevel_destroy(screen->toplevel);
        xdg_surface_destroy(screen->xdgSurface);
    }
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

static void OnOutputGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                             const char*, int32_t transform) {
    static_cast<Output*>(data)->transform = transform;
}

static void OnOutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        static_cast<Output*>(data)->modeWidth = width;
        static_cast<Output*>(data)->modeHeight = height;
    }
}

// Done closes every change of the output's mode, scale or place.
static void OnOutputDone(void* data, wl_output*) {
    Output* output = static_cast<Output*>(data);
    Client& client = *output->client;
    RebasePointer(client);
    for (std::unique_ptr<Screen>& screen : client.screens) {
        if (screen->output == output || (screen->output == nullptr && !screen->entered.empty())) {
            Layout(client, *screen);
        }
    }
}

static void OnOutputScale(void* data, wl_output*, int32_t scale) {
    static_cast<Output*>(data)->scale = scale > 0 ? scale : 1;
}

const wl_output_listener kOutputListener = {OnOutputGeometry, OnOutputMode, OnOutputDone, OnOutputScale,
                                            nullptr, nullptr};


void AddOutput(Client& client, uint32_t name, wl_output* proxy) {
    std::unique_ptr<Output> output(new Output);
    output->client = &client;
    output->name = name;
    output->output = proxy;
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    client.outputs.push_back(std::move(output));
    RebasePointer(client);
    // Outputs at start-up get their screens once everything the screens need is bound.
    if (client.saver && client.started) {
        CoverNext(client);
    }
}

bool RemoveOutput(Client& client, uint32_t name) {
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
        RebasePointer(client);
        PlaceShow(client);
        CoverNext(client);
        return true;
    }
    return false;
}
