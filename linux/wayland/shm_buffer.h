// Buffers of memory pixels shared with the compositor (wl_shm): the canvas's frames, and the
// black that covers a screen.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wayland-client.h>

#include <memory>

#include "core/show_port.h"

// One wl_shm buffer of XRGB pixels, mapped. `stale` is what the canvas drew since this
// buffer last had its copy.
struct Buffer {
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    wl_buffer* buffer = nullptr;
    uint32_t* data = nullptr;
    size_t bytes = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool busy = false;
    ShowRect stale = {0, 0, 0, 0};
    ~Buffer();
};

// Whether a buffer of that size can be shared at all: a pool's size is a 32-bit signed number.
bool FitsShm(int32_t width, int32_t height);
// Black with its unused byte set: XRGB8888 leaves that byte to the compositor, and a software
// renderer that copies pixels as they are (weston's pixman) otherwise hands on a transparent
// picture, which a screenshot or a blending output shows as nothing at all.
const uint32_t kOpaqueBlack = 0xFF000000u;

// A buffer of XRGB pixels, width by height, opaque black; null when the memory cannot be had.
std::unique_ptr<Buffer> NewBuffer(wl_shm* shm, int32_t width, int32_t height);
