// What the Wayland client knows of the compositor and of its own surfaces, shared by its
// parts: the registry and the loop, the outputs with the screens laid out on them, and input.
#pragma once

#include <stdint.h>
#include <wayland-client.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ride_engine.h"
#include "fractional-scale-v1-client-protocol.h"
#include "linux/options.h"
#include "linux/wayland/pixel_canvas.h"
#include "linux/wayland/shm_buffer.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

struct Client;

struct Output {
    Client* client = nullptr;
    uint32_t name = 0;
    wl_output* output = nullptr;
    int32_t scale = 1;
    int32_t modeWidth = 0;  // the current mode, in the output's pixels before its transform
    int32_t modeHeight = 0;
    int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    bool closed = false;  // the compositor closed its layer surface: it gets no other
};

// A surface of the client's: the cover of one output (a layer surface above everything where
// the compositor has layer shell, else a full-screen window), or the window of -window.
struct Screen {
    Client* client = nullptr;
    Output* output = nullptr;  // the output it covers; null for a window
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    zwlr_layer_surface_v1* layerSurface = nullptr;  // in place of the two above
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
    int32_t laidScale = 0;  // asked of the show, which takes it as its next ride begins
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
    zwlr_layer_shell_v1* layerShell = nullptr;
    wl_pointer* pointer = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_touch* touch = nullptr;
    std::vector<std::unique_ptr<Output>> outputs;
    std::vector<std::unique_ptr<Screen>> screens;
    Screen* showScreen = nullptr;
    std::unique_ptr<Buffer> black;  // 3x3, its middle stretched by a viewport over every black screen
    PixelCanvas canvas;
    Show show = NewShow();
    bool running = false;  // the show rides (its screen is configured)
    bool started = false;  // the outputs there were at start have their screens
    bool quit = false;
    std::string fault;  // why the client must stop with status 1; said in one line
    // The pointer as it came onto one of the screens, for telling a move from a tremor.
    Screen* pointerScreen = nullptr;
    wl_fixed_t pointerX = 0;
    wl_fixed_t pointerY = 0;
    // The next motion is the pointer's new base, not travel: when outputs, their scale or mode
    // change, the compositor puts the pointer somewhere new in the surface's coordinates (on
    // some backends only once the device next reports), and where is not known until then.
    bool rebase = false;
    // What the pointer said since its last frame, judged as one when the frame ends: a motion
    // sharing its frame with a leave or an enter is where the compositor put the pointer
    // (sway moves it with an output), not travel.
    bool frameMoved = false;
    bool frameCrossed = false;
    wl_fixed_t frameX = 0;
    wl_fixed_t frameY = 0;
    // A locker that holds the keyboard as the saver starts keeps it from the saver's screens,
    // which show once the user has unlocked: the keyboard coming to them long after the
    // first frame is the user back.
    uint64_t shownAt = 0;  // when the show's first frame was on screen
    bool keyboardEntered = false;
    bool keyboardWithheld = false;  // the seat had a keyboard then, and it was not the saver's
};

