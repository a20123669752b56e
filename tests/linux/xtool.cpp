// The Linux end-to-end tests' hands on the X display, for what the stock X tools cannot do:
//   rolvanta_xtool window WIDTH HEIGHT X Y RRGGBB|input-only
//       makes a top-level window of that colour (or one that cannot be drawn on), prints
//       "window 0x<id>" once it is mapped,
//       then reads commands from standard input ("resize W H"; each answered "ok") and
//       destroys the window when its input ends.
//   rolvanta_xtool close 0x<id>
//       asks a window to close as a window manager does (WM_DELETE_WINDOW).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int MakeWindow(Display* display, int width, int height, int x, int y, const char* colourName) {
    unsigned long rgb = strtoul(colourName, nullptr, 16);
    bool inputOnly = strcmp(colourName, "input-only") == 0;
    int screen = DefaultScreen(display);
    XColor colour;
    colour.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257);
    colour.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257);
    colour.blue = static_cast<unsigned short>((rgb & 0xFF) * 257);
    colour.flags = DoRed | DoGreen | DoBlue;
    XAllocColor(display, DefaultColormap(display, screen), &colour);
    XSetWindowAttributes attributes;
    attributes.background_pixel = colour.pixel;
    attributes.event_mask = StructureNotifyMask | ExposureMask;
    attributes.override_redirect = True;  // no window manager here; placed exactly
    unsigned long mask = CWEventMask | CWOverrideRedirect | (inputOnly ? 0 : CWBackPixel);
    Window window = XCreateWindow(display, RootWindow(display, screen), x, y, width, height, 0,
                                  inputOnly ? 0 : CopyFromParent, inputOnly ? InputOnly : InputOutput,
                                  CopyFromParent, mask, &attributes);
    XMapWindow(display, window);
    XEvent event;
    do {
        XNextEvent(display, &event);
    } while (event.type != (inputOnly ? MapNotify : Expose));
    XSync(display, False);
    printf("window 0x%lx\n", window);
    fflush(stdout);
    char line[200];
    while (fgets(line, sizeof line, stdin) != nullptr) {
        unsigned w = 0, h = 0;
        if (sscanf(line, "resize %u %u", &w, &h) == 2) {
            XResizeWindow(display, window, w, h);
            XSync(display, False);
        }
        printf("ok\n");
        fflush(stdout);
    }
    XDestroyWindow(display, window);
    XSync(display, False);
    return 0;
}

int CloseWindow(Display* display, Window window) {
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        fprintf(stderr, "rolvanta_xtool: cannot open display\n");
        return 2;
    }
    int status = 2;
    if (argc == 7 && strcmp(argv[1], "window") == 0) {
        status = MakeWindow(display, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), argv[6]);
    } else if (argc == 3 && strcmp(argv[1], "close") == 0) {
        status = CloseWindow(display, strtoul(argv[2], nullptr, 0));
    } else {
        fprintf(stderr, "usage: rolvanta_xtool window W H X Y RRGGBB | close ID\n");
    }
    XCloseDisplay(display);
    return status;
}
