#include "linux/options.h"

#include <stdlib.h>
#include <string.h>

#include "core/screen_scale.h"

namespace {

// Ignored and IgnoredValue are XScreenSaver's choices of visual and colormap, which matter
// only to a module that makes its own: the show draws in whatever the window it is given has.
enum class Kind { Number, Flag, Root, OwnWindow, WindowId, Display, Delay, Fps, Ignored, IgnoredValue, Seed, Steps,
                  Help, Version, Wayland, Scale, Idle };

struct OptionRule {
    const char* name;
    Kind kind;
    const SettingRule* setting;  // for Number and Flag
    const OptionRange* range;    // for Delay and Scale
    int32_t flagValue;           // for Flag and Fps
};

// The show's seven settings are options too, named by the core's table (see SettingOption);
// these are the rest.
const OptionRule kOptions[] = {
    {"root", Kind::Root, nullptr, nullptr, 0},
    {"window", Kind::OwnWindow, nullptr, nullptr, 0},
    {"window-id", Kind::WindowId, nullptr, nullptr, 0},
    {"display", Kind::Display, nullptr, nullptr, 0},
    {"delay", Kind::Delay, nullptr, &kDelayRange, 0},
    {"fps", Kind::Fps, nullptr, nullptr, 1},
    {"no-fps", Kind::Fps, nullptr, nullptr, 0},
    {"install", Kind::Ignored, nullptr, nullptr, 0},
    {"visual", Kind::IgnoredValue, nullptr, nullptr, 0},
    // Other modules' entries carry these; they choose nothing the show draws differently.
    {"mono", Kind::Ignored, nullptr, nullptr, 0},
    {"noinstall", Kind::Ignored, nullptr, nullptr, 0},
    {"pair", Kind::Ignored, nullptr, nullptr, 0},
    {"wayland", Kind::Wayland, nullptr, nullptr, 0},
    {"seed", Kind::Seed, nullptr, nullptr, 0},
    {"steps", Kind::Steps, nullptr, nullptr, 0},
    {"help", Kind::Help, nullptr, nullptr, 0},
    {"h", Kind::Help, nullptr, nullptr, 0},
    {"version", Kind::Version, nullptr, nullptr, 0},
    {"scale", Kind::Scale, nullptr, &kScaleRange, 0},
    {"idle", Kind::Idle, nullptr, nullptr, 0},
};

// A setting's option is its key in lower case: a range takes a number ("--speed 12"), a flag is
// set with its name and cleared with "no-" before it ("--sound", "--no-sound").
std::string OptionName(const SettingRule& setting) {
    std::string name;
    for (const char* at = setting.key; *at != '\0'; ++at) {
        name += static_cast<char>(*at >= 'A' && *at <= 'Z' ? *at - 'A' + 'a' : *at);
    }
    return name;
}

bool SettingOption(const std::string& key, OptionRule* rule) {
    for (const SettingRule& setting : kSettings) {
        std::string name = OptionName(setting);
        if (key == name || (!setting.ranged && key == "no-" + name)) {
            *rule = OptionRule{setting.key, setting.ranged ? Kind::Number : Kind::Flag, &setting, nullptr,
                               key == name ? 1 : 0};
            return true;
        }
    }
    return false;
}

// The settings' lines of the usage, ranges first, each with its default in brackets.
std::string SettingsUsage() {
    std::string text;
    for (bool ranged : {true, false}) {
        for (const SettingRule& setting : kSettings) {
            if (setting.ranged != ranged) {
                continue;
            }
            std::string name = OptionName(setting);
            std::string line = "  --" + name + (ranged ? " N" : ", --no-" + name);
            line.resize(line.size() + 2 <= 26 ? 26 : 34, ' ');
            line += setting.help;
            if (ranged) {
                line += ", " + std::to_string(setting.minimum) + " to " + std::to_string(setting.maximum) + " (" +
                        std::to_string(setting.fallback) + ")\n";
            } else {
                line += setting.fallback != 0 ? " (on)\n" : " (off)\n";
            }
            text += line;
        }
    }
    return text;
}

int32_t Repaired(int32_t value, const OptionRange& range) {
    return value < range.minimum || value > range.maximum ? range.fallback : value;
}

bool TakesValue(Kind kind) {
    return kind == Kind::Number || kind == Kind::Seed || kind == Kind::Steps || kind == Kind::WindowId ||
           kind == Kind::Display || kind == Kind::Delay || kind == Kind::IgnoredValue ||
           kind == Kind::Scale || kind == Kind::Idle;
}

// An optional sign and at least one digit, nothing else. Magnitudes beyond 32 bits saturate:
// they are numbers all the same, and lie outside every range.
bool ParseInteger(const char* text, int64_t* value) {
    const char* at = text;
    bool negative = false;
    if (*at == '+' || *at == '-') {
        negative = *at == '-';
        ++at;
    }
    if (*at == '\0') {
        return false;
    }
    int64_t magnitude = 0;
    for (; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9') {
            return false;
        }
        if (magnitude <= INT64_C(0xFFFFFFFFFF)) {
            magnitude = magnitude * 10 + (*at - '0');
        }
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

int32_t Clamped32(int64_t value) {
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

const OptionRange kDelayRange = {0, 1000000, 10000};
const OptionRange kScaleRange = {0, 8, 0};
const int32_t kIdleMaxMinutes = 1440;

bool ParseIdleMinutes(const char* text, uint32_t* ms) {
    // In milliseconds from the start, so that no fraction is lost to floating point.
    uint64_t whole = 0;
    const char* at = text;
    for (; *at >= '0' && *at <= '9'; ++at) {
        whole = whole <= static_cast<uint64_t>(kIdleMaxMinutes) ? whole * 10 + (*at - '0') : whole;
    }
    bool any = at != text;
    uint64_t fraction = 0;  // of a minute, in millionths: 60000 ms a minute, so a microminute is 0.06 ms
    if (*at == '.') {
        uint64_t place = 100000;
        for (++at; *at >= '0' && *at <= '9'; ++at, place /= 10) {
            fraction += static_cast<uint64_t>(*at - '0') * place;
            any = true;
        }
    }
    if (!any || *at != '\0' || whole > static_cast<uint64_t>(kIdleMaxMinutes) ||
        (whole == static_cast<uint64_t>(kIdleMaxMinutes) && fraction != 0)) {
        return false;
    }
    uint64_t total = whole * 60000 + (fraction * 6 + 50) / 100;
    if (total == 0) {
        return false;
    }
    *ms = static_cast<uint32_t>(total);
    return true;
}

int32_t ScreenPixelScale(const LinuxOptions& options, const char* xftDpi) {
    if (options.scale > 0) {
        return options.scale;
    }
    if (xftDpi == nullptr) {
        return 1;
    }
    // In thousandths, so that 143.9 stays below the 144 that makes 2.
    const char* at = xftDpi;
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    int64_t whole = 0;
    const char* digits = at;
    for (; *at >= '0' && *at <= '9'; ++at) {
        whole = whole < 1000000 ? whole * 10 + (*at - '0') : whole;
    }
    bool any = at != digits;
    int64_t fraction = 0;
    if (*at == '.') {
        int64_t place = 100;
        for (++at; *at >= '0' && *at <= '9'; ++at, place /= 10) {
            fraction += (*at - '0') * place;
            any = true;
        }
    }
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    if (!any || *at != '\0') {
        return 1;
    }
    return PixelScaleFor(static_cast<int32_t>(whole * 1000 + fraction), 96000);
}

bool ParseWindowId(const char* text, unsigned long* id) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    int base = 10;
    const char* digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits += 2;
    }
    if (*digits == '\0') {
        return false;
    }
    uint64_t value = 0;
    for (const char* at = digits; *at != '\0'; ++at) {
        int digit;
        if (*at >= '0' && *at <= '9') {
            digit = *at - '0';
        } else if (base == 16 && *at >= 'a' && *at <= 'f') {
            digit = *at - 'a' + 10;
        } else if (base == 16 && *at >= 'A' && *at <= 'F') {
            digit = *at - 'A' + 10;
        } else {
            return false;
        }
        value = value * base + digit;
        if (value > UINT64_C(0xFFFFFFFF)) {
            return false;
        }
    }
    if (value == 0) {
        return false;
    }
    *id = static_cast<unsigned long>(value);
    return true;
}

bool RootTargetWindow(const char* xscreensaverWindow, unsigned long* id, std::string* error) {
    *id = 0;
    if (xscreensaverWindow == nullptr || ParseWindowId(xscreensaverWindow, id)) {
        return true;
    }
    *error = std::string("XSCREENSAVER_WINDOW is not a window id (decimal or 0x hex): '") + xscreensaverWindow + "'";
    return false;
}

OptionsResult ParseOptions(int argc, const char* const* argv, LinuxOptions* options, std::string* error) {
    LinuxOptions result;
    result.settings = DefaultSettings();
    result.delayMicroseconds = kDelayRange.fallback;
    bool help = false;
    bool version = false;

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') {
            *error = std::string("unexpected argument '") + arg + "'";
            return OptionsResult::Usage;
        }
        const char* name = arg + (arg[1] == '-' ? 2 : 1);
        const char* equals = strchr(name, '=');
        std::string key = equals ? std::string(name, equals - name) : std::string(name);
        // The option as it was written, for the messages.
        std::string written(arg, equals ? equals - arg : strlen(arg));
        OptionRule setting;
        const OptionRule* rule = SettingOption(key, &setting) ? &setting : nullptr;
        for (const OptionRule& candidate : kOptions) {
            if (rule == nullptr && key == candidate.name) {
                rule = &candidate;
                break;
            }
        }
        if (rule == nullptr) {
            *error = std::string("unknown option '") + arg + "'";
            return OptionsResult::Usage;
        }
        const char* value = nullptr;
        if (TakesValue(rule->kind)) {
            if (equals) {
                value = equals + 1;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                *error = std::string("option '") + arg + "' needs a value";
                return OptionsResult::Usage;
            }
        } else if (equals) {
            *error = "option '" + written + "' takes no value";
            return OptionsResult::Usage;
        }

        int64_t number = 0;
        switch (rule->kind) {
        case Kind::Number:
        case Kind::Delay:
        case Kind::Scale:
            if (!ParseInteger(value, &number)) {
                *error = written + " needs a whole number, not '" + value + "'";
                return OptionsResult::Usage;
            }
            if (rule->kind == Kind::Delay) {
                result.delayMicroseconds = Repaired(Clamped32(number), *rule->range);
            } else if (rule->kind == Kind::Scale) {
                // A block size the scale rule never gives is a mistake to name, not a value to
                // ride over at some other size.
                if (number < rule->range->minimum || number > rule->range->maximum) {
                    *error = written + " needs a number from 0 to 8, not '" + value + "'";
                    return OptionsResult::Usage;
                }
                result.scale = static_cast<int32_t>(number);
            } else {
                result.settings.*rule->setting->field = Repaired(Clamped32(number), *rule->setting);
            }
            break;
        case Kind::Fps:
            result.fps = rule->flagValue != 0;
            break;
        case Kind::OwnWindow:
            result.target = DrawTarget::OwnWindow;
            result.windowNamed = true;
            break;
        case Kind::Wayland:
            result.wayland = true;
            break;
        case Kind::Display:
            result.display = value;
            break;
        case Kind::Ignored:
        case Kind::IgnoredValue:
            break;
        case Kind::Flag:
            result.settings.*rule->setting->field = rule->flagValue;
            break;
        case Kind::Root:
            result.target = DrawTarget::Root;
            result.windowNamed = false;
            break;
        case Kind::WindowId:
            if (!ParseWindowId(value, &result.windowId)) {
                *error = std::string("--window-id needs a window id (decimal or 0x hex), not '") + value + "'";
                return OptionsResult::Usage;
            }
            result.target = DrawTarget::WindowId;
            result.windowNamed = false;
            break;
        case Kind::Seed:
            if (!ParseInteger(value, &number) || number < 0 || number > INT64_C(0xFFFFFFFF)) {
                *error = std::string("--seed needs a number from 0 to 4294967295, not '") + value + "'";
                return OptionsResult::Usage;
            }
            result.seeded = true;
            result.seed = static_cast<uint32_t>(number);
            break;
        case Kind::Steps:
            if (!ParseInteger(value, &number) || number < 1 || number > INT64_C(0xFFFFFFFF)) {
                *error = std::string("--steps needs a number from 1 to 4294967295, not '") + value + "'";
                return OptionsResult::Usage;
            }
            result.stepLimited = true;
            result.steps = static_cast<uint32_t>(number);
            break;
        case Kind::Idle:
            if (!ParseIdleMinutes(value, &result.idleMs)) {
                *error = std::string("--idle needs a number of minutes above 0 and at most 1440, like 5 or 0.5, not '") +
                         value + "'";
                return OptionsResult::Usage;
            }
            break;
        case Kind::Help:
            help = true;
            break;
        case Kind::Version:
            version = true;
            break;
        }
    }
    // The idle start waits to cover the whole desktop: a window of any kind is no place for it.
    if (result.idleMs != 0 && (result.target != DrawTarget::OwnWindow || result.windowNamed || !result.display.empty())) {
        *error = "--idle starts the Wayland screen saver, which takes no -root, -window, -window-id or -display";
        return OptionsResult::Usage;
    }
    *options = result;
    return help ? OptionsResult::Help : (version ? OptionsResult::Version : OptionsResult::Run);
}

bool SpeaksWayland(const LinuxOptions& options, const char* waylandDisplay, const char* xscreensaverWindow) {
    if (options.wayland) {
        return true;
    }
    bool x11Named = options.target != DrawTarget::OwnWindow || !options.display.empty() ||
                    (xscreensaverWindow != nullptr && *xscreensaverWindow != '\0');
    return !x11Named && waylandDisplay != nullptr && *waylandDisplay != '\0';
}

std::string UsageText(const char* program) {
    std::string name = program != nullptr && *program != '\0' ? program : "rolvanta";
    const char* slash = strrchr(name.c_str(), '/');
    if (slash != nullptr) {
        name = slash + 1;
    }
    return "usage: " + name +
           " [options]\n"
           "Motorcycles ride across the screen: a display module for XScreenSaver, or a\n"
           "Wayland screen saver.\n"
           "\n"
           "  -root                   draw on XSCREENSAVER_WINDOW, else on the root window\n"
           "  -window-id ID           draw on the window ID (decimal or 0x hex)\n"
           "  -window                 open a window of its own, as without either of those\n"
           "  -display NAME           the X server to draw on, else $DISPLAY\n"
           "  -delay N                at least N microseconds a step, 0 to 1000000 (10000)\n"
           "  -fps, -no-fps           the frame rate in a corner (off)\n"
           "  -install, -visual V     taken for XScreenSaver; the window's own are used\n"
           "  -mono, -noinstall, -pair  taken as other modules' entries carry them; no effect\n"
           "  --wayland               a Wayland client, as with WAYLAND_DISPLAY set and no X11\n"
           "                          target named; full screen on every output unless -window\n" +
           SettingsUsage() +
           "  --seed N                start the show's chance from N, to repeat a show\n"
           "  --steps N               ride N steps, then hold still until ended\n"
           "  --idle MINUTES          wait for the seat to be idle this long (a decimal number),\n"
           "                          show the saver, and wait again after it ends (Wayland)\n"
           "  --scale N               each picture pixel an N-by-N block, 1 to 8; 0 (the default)\n"
           "                          follows the X resources' Xft.dpi: 144 and over give 2\n"
           "  -h, --help              this text\n"
           "  --version               the program's version\n"
           "\n"
           "Options take one dash or two. Numbers outside their range take the value in\n"
           "brackets.\n";
}
