#include "linux/x11/x11_show.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "linux/clock.h"
#include "linux/x11/frame_loop.h"
#include "linux/x11/x11_port.h"

namespace {

const int kOwnWidth = 800;
const int kOwnHeight = 600;

Window targetWindow = 0;
bool targetGone = false;

// Errors arrive long after the request that caused them. The one that matters is the
// window going away under the show (the daemon destroys its window when it is done);
// every other one is ignored, as a saver that must not stop the screen from being saved.
int OnXError(Display*, XErrorEvent* error) {
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && error->resourceid == targetWindow) {
        targetGone = true;
    }
    return 0;
}

// -geometry as the toolkit reads it: any of its parts may be missing, and a negative place
// counts from the right or bottom edge of the screen.
void PlaceOwnWindow(Display* display, const std::string& geometry, XSizeHints* hints) {
    int x = 0;
    int y = 0;
    unsigned width = kOwnWidth;
    unsigned height = kOwnHeight;
    int parts = geometry.empty() ? 0 : XParseGeometry(geometry.c_str(), &x, &y, &width, &height);
    if (!geometry.empty() && (parts & (XValue | YValue | WidthValue | HeightValue)) == 0) {
        fprintf(stderr, "rolvanta: -geometry '%s' is no size or place; ignored\n", geometry.c_str());
    }
    int screen = DefaultScreen(display);
    hints->flags = (parts & (WidthValue | HeightValue) ? USSize : PSize) | (parts & (XValue | YValue) ? USPosition : 0);
    hints->width = width > 0 && width <= 32767 ? static_cast<int>(width) : kOwnWidth;
    hints->height = height > 0 && height <= 32767 ? static_cast<int>(height) : kOwnHeight;
    hints->x = parts & XNegative ? DisplayWidth(display, screen) - hints->width + x : x;
    hints->y = parts & YNegative ? DisplayHeight(display, screen) - hints->height + y : y;
}

Window CreateOwnWindow(Display* display, bool blank, const LinuxOptions& options) {
    int screen = DefaultScreen(display);
    XSizeHints size;
    PlaceOwnWindow(display, options.geometry, &size);
    XSetWindowAttributes attributes;
    unsigned long mask = CWEventMask | CWBackPixmap;
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    attributes.background_pixmap = None;
    if (blank) {
        mask = (mask & ~CWBackPixmap) | CWBackPixel;
        attributes.background_pixel = BlackPixel(display, screen);
    }
    Window window = XCreateWindow(display, RootWindow(display, screen), size.x, size.y,
                                  static_cast<unsigned>(size.width), static_cast<unsigned>(size.height), 0,
                                  CopyFromParent, InputOutput, CopyFromParent, mask, &attributes);
    if (!options.geometry.empty()) {
        XSetWMNormalHints(display, window, &size);
    }
    XStoreName(display, window, options.title.empty() ? "Rolvanta" : options.title.c_str());
    XClassHint* hint = XAllocClassHint();
    if (hint != nullptr) {
        hint->res_name = const_cast<char*>(options.name.empty() ? "rolvanta" : options.name.c_str());
        hint->res_class = const_cast<char*>("Rolvanta");
        XSetClassHint(display, window, hint);
        XFree(hint);
    }
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    XMapWindow(display, window);
    return window;
}

// Xft.dpi as the X resources set it (xrdb), which is where desktops say how large their
// screen's text and pictures are, or as -xrm sets it over them; false when neither does.
bool XftDpi(Display* display, const std::vector<std::string>& overrides, std::string* dpi) {
    const char* resources = XResourceManagerString(display);
    XrmInitialize();
    XrmDatabase database = resources != nullptr ? XrmGetStringDatabase(resources) : nullptr;
    for (const std::string& line : overrides) {
        XrmPutLineResource(&database, line.c_str());
    }
    char* type = nullptr;
    XrmValue value = {0, nullptr};
    bool found = database != nullptr && XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) &&
                 value.addr != nullptr;
    if (found) {
        dpi->assign(value.addr, strnlen(value.addr, value.size));
    }
    if (database != nullptr) {
        XrmDestroyDatabase(database);
    }
    return found;
}

// A colour as X names them ("navy", "#102030"), as 0xRRGGBB; `fallback` for none, and for a
// name X does not know, with a word.
uint32_t NamedColour(Display* display, const char* option, const std::string& name, uint32_t fallback) {
    XColor colour;
    if (name.empty()) {
        return fallback;
    }
    if (!XParseColor(display, DefaultColormap(display, DefaultScreen(display)), name.c_str(), &colour)) {
        fprintf(stderr, "rolvanta: %s '%s' is no colour; ignored\n", option, name.c_str());
        return fallback;
    }
    return static_cast<uint32_t>(colour.red >> 8) << 16 | static_cast<uint32_t>(colour.green >> 8) << 8 |
           static_cast<uint32_t>(colour.blue >> 8);
}

}  // namespace

int RunX11Show(const LinuxOptions& options, int signalFd, volatile sig_atomic_t* signalled) {
    std::string error;
    unsigned long xscreensaverWindow = 0;
    if (options.target == DrawTarget::Root &&
        !RootTargetWindow(getenv("XSCREENSAVER_WINDOW"), &xscreensaverWindow, &error)) {
        fprintf(stderr, "rolvanta: %s\n", error.c_str());
        return 1;
    }
    const char* displayName = options.display.empty() ? nullptr : options.display.c_str();
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        const char* name = displayName != nullptr ? displayName : getenv("DISPLAY");
        fprintf(stderr, "rolvanta: cannot open display %s\n", name != nullptr ? name : "(DISPLAY is not set)");
        return 1;
    }
    XSetErrorHandler(OnXError);

    bool ownWindow = options.target == DrawTarget::OwnWindow;
    Window window;
    if (ownWindow) {
        window = CreateOwnWindow(display, options.settings.blankScreen != 0, options);
    } else if (options.target == DrawTarget::WindowId) {
        window = options.windowId;
    } else {
        window = xscreensaverWindow != 0 ? xscreensaverWindow : DefaultRootWindow(display);
    }
    targetWindow = window;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        fprintf(stderr, "rolvanta: no window 0x%lx on this display\n", window);
        XCloseDisplay(display);
        return 1;
    }
    if (attributes.c_class == InputOnly) {
        fprintf(stderr, "rolvanta: window 0x%lx is input-only: nothing can be drawn on it\n", window);
        XCloseDisplay(display);
        return 1;
    }
    if (!ownWindow) {
        // Only what this client itself asks to hear; the window's owner keeps its own.
        XSelectInput(display, window, ExposureMask | StructureNotifyMask);
    }

    std::string dpi;
    int32_t scale = ScreenPixelScale(options, XftDpi(display, options.resources, &dpi) ? dpi.c_str() : nullptr);
    uint32_t background = NamedColour(display, "-bg", options.background, 0);
    uint32_t foreground = NamedColour(display, "-fg", options.foreground, 0xFFFFFF);

    int status = 0;
    {
        X11Port port(display, window, attributes.width, attributes.height, scale);
        // The show blanks in black; without that, a window of its own shows -bg behind the rides.
        if (ownWindow && !options.background.empty() && options.settings.blankScreen == 0) {
            XSetWindowBackground(display, window, port.PixelFor(background));
            XClearWindow(display, window);  // it may have been mapped and exposed already
        }
        FrameLoop loop(port, window, ownWindow, options, background, foreground);
        pollfd fds[2];
        fds[0].fd = ConnectionNumber(display);
        fds[0].events = POLLIN;
        fds[1].fd = signalFd;
        fds[1].events = POLLIN;
        while (true) {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                loop.Handle(event);
            }
            if (*signalled || targetGone || loop.Quit()) {
                break;
            }
            int delay = loop.Frame(MonotonicMs());
            if (const char* notice = loop.HeldNotice()) {
                // Told only once the server has drawn everything, so a picture taken now is
                // the held step's.
                XSync(display, False);
                printf("rolvanta: %s\n", notice);
                fflush(stdout);
            }
            XFlush(display);
            // Only what Xlib already holds; whatever comes later wakes the poll.
            if (XEventsQueued(display, QueuedAlready) > 0) {
                continue;
            }
            if (poll(fds, 2, delay) < 0 && errno != EINTR) {
                status = 1;
                break;
            }
        }
        loop.End();
    }
    if (ownWindow && !targetGone) {
        XDestroyWindow(display, window);
    }
    XSync(display, True);
    XCloseDisplay(display);
    return status;
}
