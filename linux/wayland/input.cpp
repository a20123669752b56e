#include "linux/wayland/input.h"

#include <stdlib.h>
#include <unistd.h>

#include "linux/clock.h"

// Travel of the pointer, across plus down, that is a hand on the mouse rather than a tremor
// of the desk: in surface pixels.
static const int kMoveThreshold = 4;

// A compositor gives the keyboard to a surface as it maps it, before its first frame is shown;
// one that comes this long after was held by another program.
static const uint64_t kWithheldMs = 1000;

// Input ends a screen saver; a window is an ordinary window and takes no notice.
static void Input(Client& client) {
    if (client.saver) {
        client.quit = true;
    }
}

static void OnPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x,
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
    client.rebase = false;
    client.frameCrossed = true;
}

static void OnPointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
    Client& client = *static_cast<Client*>(data);
    client.pointerScreen = nullptr;
    client.frameCrossed = true;
}

// The pointer's frame ends: its motion is travel from the base, or the new base when the frame
// crossed a surface's edge or the outputs changed since the base was taken.
static void OnPointerFrame(void* data, wl_pointer*) {
    Client& client = *static_cast<Client*>(data);
    bool moved = client.frameMoved;
    bool crossed = client.frameCrossed;
    client.frameMoved = false;
    client.frameCrossed = false;
    if (!moved || client.pointerScreen == nullptr) {
        return;
    }
    if (crossed || client.rebase) {
        client.rebase = false;
        client.pointerX = client.frameX;
        client.pointerY = client.frameY;
        return;
    }
    int travel = abs(wl_fixed_to_int(client.frameX - client.pointerX)) +
                 abs(wl_fixed_to_int(client.frameY - client.pointerY));
    if (travel > kMoveThreshold) {
        Input(client);
    }
}

static void OnPointerMotion(void* data, wl_pointer* pointer, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    Client& client = *static_cast<Client*>(data);
    client.frameMoved = true;
    client.frameX = x;
    client.frameY = y;
    // A seat before version 5 sends no frames: each motion is a frame of its own.
    if (wl_pointer_get_version(pointer) < WL_POINTER_FRAME_SINCE_VERSION) {
        OnPointerFrame(data, pointer);
    }
}

static void OnPointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_POINTER_BUTTON_STATE_PRESSED) {
        Input(*static_cast<Client*>(data));
    }
}

static void OnPointerAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {
    Input(*static_cast<Client*>(data));
}

static void OnPointerAxisSource(void*, wl_pointer*, uint32_t) {}
static void OnPointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
static void OnPointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

const wl_pointer_listener kPointerListener = {OnPointerEnter,  OnPointerLeave,      OnPointerMotion,
                                              OnPointerButton, OnPointerAxis,       OnPointerFrame,
                                              OnPointerAxisSource, OnPointerAxisStop, OnPointerAxisDiscrete,
                                              nullptr};

static void OnKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
    close(fd);
}
// A key held as the keyboard arrives is a key pressed for the saver: its press went to
// whatever had the keyboard before, and only its release would follow. A keyboard withheld
// at the first frame and given later was let go by a locker the user has just unlocked.
static void OnKeyboardEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
    Client& client = *static_cast<Client*>(data);
    bool unlocked = client.keyboardWithheld && !client.keyboardEntered && MonotonicMs() - client.shownAt >= kWithheldMs;
    client.keyboardEntered = true;
    if (unlocked || (keys != nullptr && keys->size > 0)) {
        Input(client);
    }
}
static void OnKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}

static void OnKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
        Input(*static_cast<Client*>(data));
    }
}

static void OnModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
static void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboardListener = {OnKeymap,    OnKeyboardEnter, OnKeyboardLeave,
                                                OnKey,       OnModifiers,     OnRepeatInfo};

static void OnTouchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t, wl_fixed_t) {
    Input(*static_cast<Client*>(data));
}
static void OnTouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
static void OnTouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
static void OnTouchFrame(void*, wl_touch*) {}
static void OnTouchCancel(void*, wl_touch*) {}
static void OnTouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
static void OnTouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}

const wl_touch_listener kTouchListener = {OnTouchDown,   OnTouchUp,    OnTouchMotion,     OnTouchFrame,
                                          OnTouchCancel, OnTouchShape, OnTouchOrientation};

static void OnSeatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
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

static void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {OnSeatCapabilities, OnSeatName};

void ListenToSeat(Client& client) {
    wl_seat_add_listener(client.seat, &kSeatListener, &client);
}

void NoteShown(Client& client) {
    if (client.shownAt == 0) {
        client.shownAt = MonotonicMs();
        client.keyboardWithheld = client.keyboard != nullptr && !client.keyboardEntered;
    }
}

void RebasePointer(Client& client) {
    client.rebase = true;
}

void ReleaseInput(Client& client) {
    if (client.pointer != nullptr) {
        wl_pointer_destroy(client.pointer);
    }
    if (client.keyboard != nullptr) {
        wl_keyboard_destroy(client.keyboard);
    }
    if (client.touch != nullptr) {
        wl_touch_destroy(client.touch);
    }
}
