// The Linux benchmark's Wayland baseline, with none of the show's code:
//   rolvanta_bench_wayland ASSET_DIR SCRIPT TICKS WIDTH HEIGHT
// one full-screen toplevel of the output's size; the script's copies and fills into a canvas on
// its schedule, what changed copied into a free one of two wl_shm buffers and committed, one
// frame in flight. After TICKS ticks and that frame's answer, prints "held"; SIGTERM ends it.
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
#include "core/show_assets.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct Operation {
    bool copy;
    int picture, a, b, c, d;
};
struct Buffer {
    wl_buffer* buffer = nullptr;
    uint32_t* data = nullptr;
    bool busy = false;
    int box[4] = {0, 0, 0, 0};  // what it lacks of the canvas: left, top, right, bottom
};

volatile sig_atomic_t stop = 0;
wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
xdg_wm_base* base = nullptr;
wl_surface* surface = nullptr;
wl_callback* frame = nullptr;
int width = 0, height = 0;

uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void Unite(int* box, int l, int t, int r, int b) {
    bool empty = box[2] <= box[0];
    box[0] = empty || l < box[0] ? l : box[0], box[1] = empty || t < box[1] ? t : box[1];
    box[2] = empty || r > box[2] ? r : box[2], box[3] = empty || b > box[3] ? b : box[3];
}

const wl_registry_listener kRegistry = {
    [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        if (strcmp(interface, wl_compositor_interface.name) == 0) {
            compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
        } else if (strcmp(interface, wl_shm_interface.name) == 0) {
            shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        } else if (strcmp(interface, xdg_wm_base_interface.name) == 0) {
            base = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        }
    },
    [](void*, wl_registry*, uint32_t) {}};
const xdg_wm_base_listener kBase = {[](void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }};
const xdg_surface_listener kSurface = {
    [](void*, xdg_surface* xdg, uint32_t serial) { xdg_surface_ack_configure(xdg, serial); }};
const wl_buffer_listener kBuffer = {[](void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }};
const wl_callback_listener kFrame = {[](void*, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    frame = nullptr;
}};

bool Make(Buffer& buffer, int w, int h) {
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
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    FILE* in = argc == 6 ? fopen(argv[2], "r") : nullptr;
    if (in == nullptr) {
        return 2;
    }
    width = atoi(argv[4]);
    height = atoi(argv[5]);
    struct sigaction action = {};
    action.sa_handler = [](int) { stop = 1; };
    sigaction(SIGTERM, &action, nullptr);
    // SIGTERM comes only inside the wait, so that one sent just before it cannot be missed.
    sigset_t term, none;
    sigemptyset(&term);
    sigemptyset(&none);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    unsigned long ticks = strtoul(argv[3], nullptr, 10);
    std::vector<std::vector<Operation>> script(1);
    std::vector<unsigned> delays;
    char line[200];
    while (fgets(line, sizeof line, in) != nullptr) {
        Operation op{};
        unsigned delay = 0;
        op.copy = sscanf(line, "copy %d %d %d %d %d", &op.picture, &op.a, &op.b, &op.c, &op.d) == 5;
        if (op.copy || sscanf(line, "fill %d %d %d %d", &op.a, &op.b, &op.c, &op.d) == 4) {
            script.back().push_back(op);
        } else if (sscanf(line, "tick %u", &delay) == 1) {
            delays.push_back(delay);
            script.emplace_back();
        }
    }
    fclose(in);
    BitmapFile pictures[4];
    std::vector<uint32_t> rgb[4];
    for (int i = 0; i < 4; ++i) {
        std::ifstream file(std::string(argv[1]) + "/" + kPictureFiles[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ReadBitmapFile(bytes.data(), bytes.size(), &pictures[i]);
        for (uint8_t index : pictures[i].pixels) {
            rgb[i].push_back(pictures[i].colours[index]);
        }
    }

    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return 2;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (compositor == nullptr || shm == nullptr || base == nullptr) {
        return 2;
    }
    xdg_wm_base_add_listener(base, &kBase, nullptr);
    surface = wl_compositor_create_surface(compositor);
    xdg_surface* xdg = xdg_wm_base_get_xdg_surface(base, surface);
    xdg_surface_add_listener(xdg, &kSurface, nullptr);
    xdg_toplevel_set_fullscreen(xdg_surface_get_toplevel(xdg), nullptr);
    wl_surface_commit(surface);
    wl_display_roundtrip(display);
    Buffer buffers[2];
    if (width <= 0 || height <= 0 || !Make(buffers[0], width, height) || !Make(buffers[1], width, height)) {
        return 2;
    }
    std::vector<uint32_t> canvas(static_cast<size_t>(width) * height, 0);
    int pending[4] = {0, 0, width, height};

    uint64_t next = NowMs() + 10;
    unsigned long done = 0;
    bool announced = false;
    pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    while (!stop) {
        uint64_t now = NowMs();
        if (done < ticks && done < delays.size() && now >= next) {
            for (const Operation& op : script[done]) {
                const BitmapFile& p = pictures[op.picture];
                int l = op.a, t = op.b;
                int r = op.copy ? l + (op.c < p.width ? op.c : p.width) : op.c;
                int b = op.copy ? t + (op.d < p.height ? op.d : p.height) : op.d;
                int x0 = l < 0 ? 0 : l, y0 = t < 0 ? 0 : t, x1 = r > width ? width : r, y1 = b > height ? height : b;
                if (x1 <= x0 || y1 <= y0) {
                    continue;
                }
                for (int y = y0; y < y1; ++y) {
                    uint32_t* to = &canvas[static_cast<size_t>(y) * width + x0];
                    if (op.copy) {
                        memcpy(to, &rgb[op.picture][static_cast<size_t>(y - t) * p.width + (x0 - l)], (x1 - x0) * 4u);
                    } else {
                        memset(to, 0, (x1 - x0) * 4u);
                    }
                }
                for (int* box : {pending, buffers[0].box, buffers[1].box}) {
                    Unite(box, x0, y0, x1, y1);
                }
            }
            unsigned delay = delays[done++];
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
        bool finished = done >= ticks || done >= delays.size();
        if (!announced && finished && frame == nullptr && pending[2] <= pending[0]) {
            printf("held after %lu steps\n", done);
            fflush(stdout);
            announced = true;
        }
        wl_display_flush(display);
        while (wl_display_prepare_read(display) != 0) {
            wl_display_dispatch_pending(display);
        }
        now = NowMs();
        uint64_t wait = next > now ? next - now : 0;
        timespec until = {static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000) * 1000000};
        if (ppoll(&fd, 1, finished ? nullptr : &until, &none) > 0) {
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
