// The Linux program's command line, read into the show's settings and the few choices the
// X11 layer acts on. Portable: no X11 or ALSA types, so every rule here is unit-tested.
#pragma once

#include <stdint.h>

#include <string>

#include "core/settings.h"

// Where the show draws.
enum class DrawTarget {
    OwnWindow,  // a window of the program's own; closing it ends the program
    Root,       // the screen saver's window named by XSCREENSAVER_WINDOW, else the root window
    WindowId,   // the window given with --window-id
};

// A number option's bounds, and the value that replaces one outside them.
struct OptionRange {
    int32_t minimum;
    int32_t maximum;
    int32_t fallback;
};

// XScreenSaver's -delay, in microseconds: the shortest time between two steps of the show.
// The default is the Windows timer's floor, so that a ride takes as long as it does there.
extern const OptionRange kDelayRange;  // 0 to 1000000, 10000

struct LinuxOptions {
    SaverSettings settings;
    DrawTarget target = DrawTarget::OwnWindow;
    unsigned long windowId = 0;  // for DrawTarget::WindowId
    bool seeded = false;         // --seed: the show's chance starts from this value
    uint32_t seed = 0;
    bool stepLimited = false;    // --steps: the show holds still after this many ticks
    uint32_t steps = 0;
    int32_t delayMicroseconds = 0;  // -delay; ParseOptions starts from kDelayRange's fallback
    bool fps = false;               // -fps: the frame-rate box in a corner
    std::string display;            // -display: the X server, else $DISPLAY
    int32_t scale = 0;              // --scale: picture blocks of this side; 0 takes the screen's
    bool windowNamed = false;       // -window is the target, not only the default
    bool wayland = false;           // --wayland: a Wayland client whatever the environment says
    uint32_t idleMs = 0;            // --idle: wait for the seat to idle this long before each show; 0: show now
};

enum class OptionsResult {
    Run,      // options read: run the show
    Help,     // --help or -h: print the usage to standard output, exit 0
    Version,  // --version: print the version to standard output, exit 0
    Usage,    // bad command line: print the one-line error and a hint to --help, exit 1
};

// Reads argv[1..argc-1]. Options take one or two leading dashes, and a value either as the
// next argument or after "=". Besides the show's own, it takes the options XScreenSaver's
// display modules share, so that a line copied from another module's entry runs. A number
// outside its setting's range is repaired to the setting's fallback as a settings file's
// value is; anything that is not a number is an error. On Usage, *error says what was wrong.
OptionsResult ParseOptions(int argc, const char* const* argv, LinuxOptions* options, std::string* error);

// --idle's minutes as a decimal number ("5", "0.05"), in milliseconds: above 0 and at most
// kIdleMaxMinutes. False for anything else, and for a value that rounds to 0 ms.
extern const int32_t kIdleMaxMinutes;  // 1440: a day
bool ParseIdleMinutes(const char* text, uint32_t* ms);

// A window id as X tools print it: decimal, or hexadecimal after "0x". False for anything
// else, for 0 and for values beyond 32 bits.
bool ParseWindowId(const char* text, unsigned long* id);

// The window a --root show draws on: the one XSCREENSAVER_WINDOW names, or 0 for the root
// window when it is unset (`xscreensaverWindow` null). A value set but not a window id is a
// fault of whoever started the program, not a reason to draw over the whole screen: false,
// with *error saying so.
bool RootTargetWindow(const char* xscreensaverWindow, unsigned long* id, std::string* error);

// --scale, 0 to 8: 0 (the fallback) takes the scale the X resources give the screen; anything
// else is refused.
extern const OptionRange kScaleRange;

// The side of the block each picture pixel becomes: --scale when given, else the one the X
// resources' Xft.dpi (`xftDpi`, null when unset) asks for, else 1. Xft.dpi is a number of dots
// per inch, with or without a fraction; anything else in it counts as unset.
int32_t ScreenPixelScale(const LinuxOptions& options, const char* xftDpi);
// Whether the show is a Wayland client: told so with --wayland, or with WAYLAND_DISPLAY set and
// no X11 target named (-root, -window-id, -display, XSCREENSAVER_WINDOW), even where DISPLAY is
// set too, as it is under XWayland. XScreenSaver's daemon always names its target, so it keeps
// the X11 module.
bool SpeaksWayland(const LinuxOptions& options, const char* waylandDisplay, const char* xscreensaverWindow);

// The usage text, ending in a newline. `program` is the name it was started under.
std::string UsageText(const char* program);
