// The Linux benchmark's baselines, in plain Xlib with none of the show's code:
//   rolvanta_bench_xlib replay ASSET_DIR SCRIPT TICKS
//       the pictures in pixmaps, then the script's copies and fills on the root window on the
//       script's schedule, the way the program's frame loop keeps it (poll on the connection,
//       deadlines that do not drift); after TICKS ticks prints "held" and waits for SIGTERM.
//   rolvanta_bench_xlib window
//       one mapped window and nothing else; prints "ready" and waits for SIGTERM.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/bitmap_file.h"
#include "core/show_assets.h"

namespace {

struct Operation {
    bool copy;
    int picture;
    int a, b, c, d;
};

struct Tick {
    unsigned delay;
    std::vector<Operation> operations;
};

volatile sig_atomic_t stop = 0;

void OnSignal(int) {
    stop = 1;
}

uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

unsigned long Channel(unsigned value, unsigned long mask) {
    int shift = 0;
    while (mask != 0 && ((mask >> shift) & 1) == 0) {
        ++shift;
    }
    return ((value * (mask >> shift) + 127) / 255) << shift;
}

Pixmap LoadPicture(Display* display, Window root, GC gc, const std::string& path, int* width, int* height) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    BitmapFile bitmap;
    if (!ReadBitmapFile(bytes.data(), bytes.size(), &bitmap)) {
        return 0;
    }
    int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    XImage* image = XCreateImage(display, visual, depth, ZPixmap, 0, nullptr, bitmap.width, bitmap.height, 32, 0);
    image->data = static_cast<char*>(calloc(image->bytes_per_line, bitmap.height));
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            uint32_t rgb = bitmap.colours[bitmap.pixels[static_cast<size_t>(y) * bitmap.width + x]];
            XPutPixel(image, x, y,
                      Channel((rgb >> 16) & 0xFF, visual->red_mask) | Channel((rgb >> 8) & 0xFF, visual->green_mask) |
                          Channel(rgb & 0xFF, visual->blue_mask));
        }
    }
    Pixmap pixmap = XCreatePixmap(display, root, bitmap.width, bitmap.height, depth);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, bitmap.width, bitmap.height);
    XDestroyImage(image);
    *width = bitmap.width;
    *height = bitmap.height;
    return pixmap;
}

void WaitForSignal() {
    while (!stop) {
        pause();
    }
}

int Replay(const char* assets, const char* scriptPath, unsigned long ticks) {
    std::vector<Tick> script;
    FILE* in = fopen(scriptPath, "r");
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

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 2;
    }
    Window root = DefaultRootWindow(display);
    XGCValues values;
    values.foreground = BlackPixel(display, DefaultScreen(display));
    values.graphics_exposures = False;
    GC gc = XCreateGC(display, root, GCForeground | GCGraphicsExposures, &values);
    Pixmap pictures[4];
    int widths[4];
    int heights[4];
    for (int i = 0; i < 4; ++i) {
        pictures[i] = LoadPicture(display, root, gc, std::string(assets) + "/" + kPictureFiles[i], &widths[i], &heights[i]);
    }
    XSelectInput(display, root, ExposureMask | StructureNotifyMask);

    uint64_t next = NowMs() + 10;
    unsigned long done = 0;
    pollfd fd = {ConnectionNumber(display), POLLIN, 0};
    while (done < ticks && done < script.size() && !stop) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
        uint64_t now = NowMs();
        if (now >= next) {
            for (const Operation& op : script[done].operations) {
                if (op.copy) {
                    int w = op.c < widths[op.picture] ? op.c : widths[op.picture];
                    int h = op.d < heights[op.picture] ? op.d : heights[op.picture];
                    XCopyArea(display, pictures[op.picture], root, gc, 0, 0, w, h, op.a, op.b);
                } else if (op.c > op.a && op.d > op.b) {
                    XFillRectangle(display, root, gc, op.a, op.b, op.c - op.a, op.d - op.b);
                }
            }
            unsigned delay = script[done].delay;
            ++done;
            next += delay;
            if (next + delay < now) {
                next = now + delay;
            } else if (next < now) {
                next = now;
            }
            now = NowMs();
        }
        XFlush(display);
        poll(&fd, 1, next > now ? static_cast<int>(next - now) : 0);
    }
    XSync(display, False);
    printf("held after %lu steps\n", done);
    fflush(stdout);
    WaitForSignal();
    for (Pixmap pixmap : pictures) {
        XFreePixmap(display, pixmap);
    }
    XFreeGC(display, gc);
    XCloseDisplay(display);
    return 0;
}

int OneWindow() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 2;
    }
    int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 800, 600, 0,
                                        BlackPixel(display, screen), BlackPixel(display, screen));
    XSelectInput(display, window, ExposureMask);
    XMapWindow(display, window);
    XEvent event;
    do {
        XNextEvent(display, &event);
    } while (event.type != Expose);
    printf("ready\n");
    fflush(stdout);
    WaitForSignal();
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    if (argc == 5 && strcmp(argv[1], "replay") == 0) {
        return Replay(argv[2], argv[3], strtoul(argv[4], nullptr, 10));
    }
    if (argc == 2 && strcmp(argv[1], "window") == 0) {
        return OneWindow();
    }
    fprintf(stderr, "usage: rolvanta_bench_xlib replay ASSET_DIR SCRIPT TICKS | window\n");
    return 2;
}
