// The Linux benchmark's Wayland baseline, with none of the show's code:
//   rolvanta_bench_wayland ASSET_DIR SCRIPT TICKS
// one full-screen xdg toplevel; the pictures as XRGB rows in memory; the script's copies and
// fills into a canvas of the surface's size on the script's schedule; after each tick what
// changed is copied into a free one of two wl_shm buffers and committed, one frame in flight
// at a time. After TICKS ticks and the last frame's answer, prints "held" and waits for
// SIGTERM.
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/bitmap_file.h"
#include "xdg-shell-client-protocol.h"

namespace {

const char* const kFiles[4] = {"cormapl.bmp", "cormapr.bmp", "valtmapl.bmp", "valtmapr.bmp"};

struct Operation {
    bool copy;
    int picture, a, b, c, d;
};
struct Tick {
    unsigned delay;
    std::vector<Operation> operations;
};
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
};
struct Buffer {
    wl_buffer* buffer = nullptr;
    uint32_t* data = nullptr;
    bool busy = false;
    int box[4] = {0, 0, 0, 0};  // stale: left, top, right, bottom
};

volatile sig_atomic_t stop = 0;
wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
xdg_wm_base* base = nullptr;
int width = 0, height = 0;
bool configured = false;
wl_callback* frame = nullptr;
wl_surface* surface = nullptr;

void OnSignal(int) {
    stop = 1;
}

uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void Unite(int* box, int l, int t, int r, int b) {
    if (r <= l || b <= t) {
        return;
    }
    if (box[2] <= box[0]) {
        box[0] = l, box[1] = t, box[2] = r, box[3] = b;
        return;
    }
    box[0] = l < box[0] ? l : box[0], box[1] = t < box[1] ? t : box[1];
    box[2] = r > box[2] ? r : box[2], box[3] = b > box[3] ? b : box[3];
}

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (strcmp(interface, wl_compositor_interface.name) == 0) {
        compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    } else if (strcmp(interface, wl_shm_interface.name) == 0) {
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (strcmp(interface, xdg_wm_base_interface.name) == 0) {
        base = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    }
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};
void OnPing(void*, xdg_wm_base* wm, uint32_t serial) {
    xdg_wm_base_pong(wm, serial);
}
const xdg_wm_base_listener kBase = {OnPing};
void OnConfigure(void*, xdg_surface* xdg, uint32_t serial) {
    xdg_surface_ack_configure(xdg, serial);
    // Answered at once: the full-screen size comes only after this commit.
    wl_surface_commit(surface);
    configured = true;
}
const xdg_surface_listener kSurface = {OnConfigure};
void OnToplevel(void*, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
    width = w > 0 ? w : width;
    height = h > 0 ? h : height;
}
void OnClose(void*, xdg_toplevel*) {}
const xdg_toplevel_listener kToplevel = {OnToplevel, OnClose, nullptr, nullptr};
void OnRelease(void* data, wl_buffer*) {
    static_cast<Buffer*>(data)->busy = false;
}
const wl_buffer_listener kBuffer = {OnRelease};
void OnFrame(void*, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    frame = nullptr;
}
const wl_callback_listener kFrame = {OnFrame};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: rolvanta_bench_wayland ASSET_DIR SCRIPT TICKS\n");
        return 2;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    unsigned long ticks = strtoul(argv[3], nullptr, 10);
    std::vector<Tick> script;
    FILE* in = fopen(argv[2], "r");
    if (in == nullptr) {
        return 2;
    }
    char line[200];
    Tick current{0, {}};
    while (fgets(line, sizeof line, in) != nullptr) {
        Operation op{};
        unsigned delay = 0;
        int riding = 0;
        if (sscanf(line, "copy %d %d %d %d %d", &op.picture, &op.a, &op.b, &op.c, &op.d) == 5) {
            op.copy = true;
            current.operations.push_back(op);
        } else if (sscanf(line, "fill %d %d %d %d", &op.a, &op.b, &op.c, &op.d) == 4) {
            current.operations.push_back(op);
        } else if (sscanf(line, "tick %u %d", &delay, &riding) == 2) {
            current.delay = delay;
            script.push_back(current);
            current = Tick{0, {}};
        }
    }
    fclose(in);
    Picture pictures[4];
    for (int i = 0; i < 4; ++i) {
        std::ifstream file(std::string(argv[1]) + "/" + kFiles[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        BitmapFile bitmap;
        if (ReadBitmapFile(bytes.data(), bytes.size(), &bitmap)) {
            pictures[i].width = bitmap.width;
            pictures[i].height = bitmap.height;
            for (uint8_t index : bitmap.pixels) {
                pictures[i].rgb.push_back(bitmap.colours[index]);
            }
        }
    }

    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return 2;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (compositor == nullptr || shm == nullptr || base == nullptr) {
        return 2;
    }
    xdg_wm_base_add_listener(base, &kBase, nullptr);
    surface = wl_compositor_create_surface(compositor);
    xdg_surface* xdg = xdg_wm_base_get_xdg_surface(base, surface);
    xdg_surface_add_listener(xdg, &kSurface, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdg);
    xdg_toplevel_add_listener(toplevel, &kToplevel, nullptr);
    xdg_toplevel_set_fullscreen(toplevel, nullptr);
    wl_surface_commit(surface);
    auto make = [](Buffer& buffer, int w, int h) {
        size_t bytes = static_cast<size_t>(w) * h * 4;
        int fd = memfd_create("bench", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            return false;
        }
        buffer.data = static_cast<uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
        buffer.buffer = wl_shm_pool_create_buffer(pool, 0, w, h, w * 4, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        close(fd);
        wl_buffer_add_listener(buffer.buffer, &kBuffer, &buffer);
        memset(buffer.data, 0, bytes);
        return true;
    };
    // Mapped first with one pixel, as a surface must be before it is made full screen.
    Buffer first;
    for (int round = 0; round < 2 && width == 0; ++round) {
        configured = false;
        while (!configured && !stop) {
            if (wl_display_dispatch(display) < 0) {
                return 2;
            }
        }
        if (width == 0 && make(first, 1, 1)) {
            wl_surface_attach(surface, first.buffer, 0, 0);
            wl_surface_commit(surface);
        }
    }
    if (width == 0) {
        return 2;
    }
    std::vector<uint32_t> canvas(static_cast<size_t>(width) * height, 0);
    Buffer buffers[2];
    for (Buffer& buffer : buffers) {
        if (!make(buffer, width, height)) {
            return 2;
        }
    }
    int pending[4] = {0, 0, width, height};

    uint64_t next = NowMs() + 10;
    unsigned long done = 0;
    pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    while (!stop) {
        uint64_t now = NowMs();
        if (done < ticks && done < script.size() && now >= next) {
            for (const Operation& op : script[done].operations) {
                int l, t, r, b;
                if (op.copy) {
                    const Picture& p = pictures[op.picture];
                    l = op.a, t = op.b, r = op.a + (op.c < p.width ? op.c : p.width);
                    b = op.b + (op.d < p.height ? op.d : p.height);
                } else {
                    l = op.a, t = op.b, r = op.c, b = op.d;
                }
                int x0 = l < 0 ? 0 : l, y0 = t < 0 ? 0 : t;
                int x1 = r > width ? width : r, y1 = b > height ? height : b;
                if (x1 <= x0 || y1 <= y0) {
                    continue;
                }
                for (int y = y0; y < y1; ++y) {
                    uint32_t* to = &canvas[static_cast<size_t>(y) * width + x0];
                    if (op.copy) {
                        const Picture& p = pictures[op.picture];
                        memcpy(to, &p.rgb[static_cast<size_t>(y - t) * p.width + (x0 - l)], (x1 - x0) * 4u);
                    } else {
                        memset(to, 0, (x1 - x0) * 4u);
                    }
                }
                Unite(pending, x0, y0, x1, y1);
                Unite(buffers[0].box, x0, y0, x1, y1);
                Unite(buffers[1].box, x0, y0, x1, y1);
            }
            unsigned delay = script[done].delay;
            ++done;
            next += delay;
            next = next + delay < now ? now + delay : (next < now ? now : next);
        }
        Buffer* free = !buffers[0].busy ? &buffers[0] : (!buffers[1].busy ? &buffers[1] : nullptr);
        if (frame == nullptr && free != nullptr && pending[2] > pending[0]) {
            for (int y = free->box[1]; y < free->box[3]; ++y) {
                size_t at = static_cast<size_t>(y) * width + free->box[0];
                memcpy(free->data + at, &canvas[at], (free->box[2] - free->box[0]) * 4u);
            }
            memset(free->box, 0, sizeof free->box);
            wl_surface_attach(surface, free->buffer, 0, 0);
            wl_surface_damage_buffer(surface, pending[0], pending[1], pending[2] - pending[0], pending[3] - pending[1]);
            memset(pending, 0, sizeof pending);
            frame = wl_surface_frame(surface);
            wl_callback_add_listener(frame, &kFrame, nullptr);
            wl_surface_commit(surface);
            free->busy = true;
        }
        static bool announced = false;
        if (!announced && (done >= ticks || done >= script.size()) && frame == nullptr && pending[2] <= pending[0]) {
            printf("held after %lu steps\n", done);
            fflush(stdout);
            announced = true;
        }
        wl_display_flush(display);
        while (wl_display_prepare_read(display) != 0) {
            wl_display_dispatch_pending(display);
        }
        int wait = announced || done >= ticks ? -1 : (next > NowMs() ? static_cast<int>(next - NowMs()) : 0);
        if (poll(&fd, 1, wait) > 0) {
            wl_display_read_events(display);
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) {
            return 2;
        }
    }
    wl_display_disconnect(display);
    return 0;
}
