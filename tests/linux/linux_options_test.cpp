#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linux/idle_cycle.h"
#include "linux/options.h"

namespace {

struct OptionsCase {
    std::vector<const char*> args;
    OptionsResult result;
    // Expected settings when the result is Run: sound, blank, coravendia, valtorne, speed, rate, volume.
    SaverSettings settings;
};

const SaverSettings kDefaults = {0, 0, 1, 1, 6, 10, 127};

SaverSettings With(int32_t SaverSettings::*field, int32_t value) {
    SaverSettings settings = kDefaults;
    settings.*field = value;
    return settings;
}

// Numbers are repaired as the settings file's are: in range kept, out of range the fallback;
// anything that is not a whole number is refused, as is any option the program does not know.
const OptionsCase kCases[] = {
    {{}, OptionsResult::Run, kDefaults},
    {{"--speed", "15"}, OptionsResult::Run, With(&SaverSettings::speed, 15)},
    {{"-speed", "1"}, OptionsResult::Run, With(&SaverSettings::speed, 1)},
    {{"--speed=16"}, OptionsResult::Run, kDefaults},
    {{"--speed", "0"}, OptionsResult::Run, kDefaults},
    {{"--speed", "-3"}, OptionsResult::Run, kDefaults},
    {{"--speed", "99999999999999999999"}, OptionsResult::Run, kDefaults},
    {{"--rate", "40"}, OptionsResult::Run, With(&SaverSettings::rate, 40)},
    {{"--rate", "41"}, OptionsResult::Run, kDefaults},
    {{"--volume", "0"}, OptionsResult::Run, With(&SaverSettings::volume, 0)},
    {{"--volume", "+255"}, OptionsResult::Run, With(&SaverSettings::volume, 255)},
    {{"--volume", "256"}, OptionsResult::Run, kDefaults},
    {{"--sound"}, OptionsResult::Run, With(&SaverSettings::sound, 1)},
    {{"--sound", "--no-sound"}, OptionsResult::Run, kDefaults},
    {{"--blank"}, OptionsResult::Run, With(&SaverSettings::blankScreen, 1)},
    {{"--no-coravendia"}, OptionsResult::Run, With(&SaverSettings::rideCoravendia, 0)},
    {{"--no-valtorne", "--valtorne"}, OptionsResult::Run, kDefaults},
    {{"--help"}, OptionsResult::Help, kDefaults},
    {{"-h"}, OptionsResult::Help, kDefaults},
    {{"--version"}, OptionsResult::Version, kDefaults},
    // Another module's entry, copied: XScreenSaver's shared options run the show as it is.
    {{"-root", "-delay", "20000", "-fps", "-install", "-visual", "TrueColor", "-display", ":0"}, OptionsResult::Run,
     kDefaults},
    {{"-mono", "-noinstall", "-pair", "--wayland"}, OptionsResult::Run, kDefaults},
    {{"-delay", "20ms"}, OptionsResult::Usage, kDefaults},
    {{"-visual"}, OptionsResult::Usage, kDefaults},
    {{"-install=1"}, OptionsResult::Usage, kDefaults},
    {{"--speed", "6x"}, OptionsResult::Usage, kDefaults},
    {{"--speed", ""}, OptionsResult::Usage, kDefaults},
    {{"--speed", "-"}, OptionsResult::Usage, kDefaults},
    {{"--speed", " 6"}, OptionsResult::Usage, kDefaults},
    {{"--rate"}, OptionsResult::Usage, kDefaults},
    {{"--volume", "0x10"}, OptionsResult::Usage, kDefaults},
    {{"--sound=1"}, OptionsResult::Usage, kDefaults},
    {{"--speedy", "6"}, OptionsResult::Usage, kDefaults},
    {{"--fpsx"}, OptionsResult::Usage, kDefaults},
    {{"speed"}, OptionsResult::Usage, kDefaults},
    {{"-"}, OptionsResult::Usage, kDefaults},
    {{"--window-id", "0"}, OptionsResult::Usage, kDefaults},
    {{"--window-id", "0x"}, OptionsResult::Usage, kDefaults},
    {{"--window-id", "12g"}, OptionsResult::Usage, kDefaults},
    {{"--window-id", "0x100000000"}, OptionsResult::Usage, kDefaults},
    {{"--seed", "-1"}, OptionsResult::Usage, kDefaults},
    {{"--steps", "0"}, OptionsResult::Usage, kDefaults},
    // --idle: minutes as a decimal number, for the Wayland saver only.
    {{"--idle", "5", "--sound"}, OptionsResult::Run, With(&SaverSettings::sound, 1)},
    {{"--idle", "0"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "0.0000001"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "-1"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "1440.5"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "99999999999999999999"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "5m"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "."}, OptionsResult::Usage, kDefaults},
    {{"--idle", "1,5"}, OptionsResult::Usage, kDefaults},
    {{"--idle", "5", "-window"}, OptionsResult::Usage, kDefaults},
    {{"-root", "--idle", "5"}, OptionsResult::Usage, kDefaults},
};

TEST(LinuxOptions, SettingsAreReadAndRepairedAsTheSettingsFileIs) {
    for (const OptionsCase& c : kCases) {
        std::vector<const char*> argv = {"rolvanta"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string label;
        for (const char* arg : c.args) {
            label += std::string(" '") + arg + "'";
        }
        LinuxOptions options;
        std::string error;
        OptionsResult result = ParseOptions(static_cast<int>(argv.size()), argv.data(), &options, &error);
        EXPECT_EQ(result, c.result) << label;
        if (result == OptionsResult::Usage) {
            EXPECT_FALSE(error.empty()) << label;
        } else if (result == OptionsResult::Run) {
            const SaverSettings& s = options.settings;
            EXPECT_EQ((std::vector<int32_t>{s.sound, s.blankScreen, s.rideCoravendia, s.rideValtorne, s.speed, s.rate,
                                            s.volume}),
                      (std::vector<int32_t>{c.settings.sound, c.settings.blankScreen, c.settings.rideCoravendia,
                                            c.settings.rideValtorne, c.settings.speed, c.settings.rate,
                                            c.settings.volume}))
                << label;
        }
    }
}

TEST(LinuxOptions, TargetsSeedAndStepsAndTheWindowXScreenSaverNames) {
    const char* argv[] = {"rolvanta", "--window-id", "0x1e00007", "--seed", "4294967295", "--steps=40"};
    LinuxOptions options;
    std::string error;
    ASSERT_EQ(ParseOptions(6, argv, &options, &error), OptionsResult::Run) << error;
    EXPECT_EQ(options.target, DrawTarget::WindowId);
    EXPECT_EQ(options.windowId, 0x1e00007ul);
    EXPECT_TRUE(options.seeded);
    EXPECT_EQ(options.seed, 4294967295u);
    EXPECT_TRUE(options.stepLimited);
    EXPECT_EQ(options.steps, 40u);

    const char* root[] = {"rolvanta", "-root"};
    ASSERT_EQ(ParseOptions(2, root, &options, &error), OptionsResult::Run);
    EXPECT_EQ(options.target, DrawTarget::Root);
    EXPECT_FALSE(options.seeded);
    EXPECT_EQ(options.delayMicroseconds, 10000);
    EXPECT_FALSE(options.fps);
    EXPECT_EQ(options.display, "");

    const char* shared[] = {"rolvanta", "-root", "-delay", "20000", "-fps", "-display", "host:1", "-window"};
    ASSERT_EQ(ParseOptions(8, shared, &options, &error), OptionsResult::Run) << error;
    EXPECT_EQ(options.target, DrawTarget::OwnWindow);
    EXPECT_EQ(options.delayMicroseconds, 20000);
    EXPECT_TRUE(options.fps);
    EXPECT_EQ(options.display, "host:1");
    const char* repaired[] = {"rolvanta", "-delay", "1000001", "-fps", "-no-fps"};
    ASSERT_EQ(ParseOptions(5, repaired, &options, &error), OptionsResult::Run) << error;
    EXPECT_EQ(options.delayMicroseconds, 10000);
    EXPECT_FALSE(options.fps);

    // --scale overrides Xft.dpi up to 8 (480 dpi gives 5 too); 0 leaves the scale to Xft.dpi. A dpi not a number is
    // no scale. Beyond 0 to 8, --scale is refused.
    const struct { const char *scale, *dpi; int32_t s; } kScales[] = {
        {"0", "192", 2},    {"0", "143.9", 1}, {"0", " 144.0 ", 2}, {"0", "288", 3}, {"0", nullptr, 1}, {"0", "", 1},
        {"0", "192dpi", 1}, {"0", "-192", 1}, {"3", "96", 3}, {"1", "192", 1}, {"5", "192", 5}, {"8", nullptr, 8},
        {"0", "480", 5}};
    for (const auto& c : kScales) {
        const char* scaled[] = {"rolvanta", "--scale", c.scale};
        ASSERT_EQ(ParseOptions(3, scaled, &options, &error), OptionsResult::Run) << error;
        EXPECT_EQ(ScreenPixelScale(options, c.dpi), c.s) << c.scale << " " << (c.dpi ? c.dpi : "(unset)");
    }
    for (const char* refused : {"9", "-1", "2147483648"}) {
        const char* scaled[] = {"rolvanta", "--scale", refused};
        EXPECT_EQ(ParseOptions(3, scaled, &options, &error), OptionsResult::Usage) << refused;
        EXPECT_EQ(error, std::string("--scale needs a number from 0 to 8, not '") + refused + "'");
    }

    const struct { const char* minutes; uint32_t ms; } kIdle[] = {
        {"5", 300000}, {"0.02", 1200}, {".5", 30000}, {"0.0001", 6}, {"1440", 86400000}, {"1440.000", 86400000},
        {"2.123456789", 127407}};
    for (const auto& c : kIdle) {
        const char* idle[] = {"rolvanta", "--idle", c.minutes};
        ASSERT_EQ(ParseOptions(3, idle, &options, &error), OptionsResult::Run) << c.minutes;
        EXPECT_EQ(options.idleMs, c.ms) << c.minutes;
    }
    EXPECT_EQ(options.target, DrawTarget::OwnWindow);

    // Only an unset variable means the root window; a value that names no window is refused.
    const struct {
        const char* value;
        bool read;
        unsigned long id;
    } kWindows[] = {{"31457287", true, 31457287}, {"0x1E00007", true, 0x1e00007}, {nullptr, true, 0},
                    {"", false, 0}, {"garbage", false, 0}, {"0", false, 0}, {"0x400001 ", false, 0}};
    for (const auto& c : kWindows) {
        unsigned long id = 99;
        error.clear();
        EXPECT_EQ(RootTargetWindow(c.value, &id, &error), c.read) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(error.empty(), c.read);
    }
}

// Wayland where the session is Wayland's and nothing names an X11 target, or where told.
TEST(LinuxOptions, WaylandUnlessAnX11TargetIsNamed) {
    const char* const kWindow = "0x1e00007";
    const struct {
        std::vector<const char*> args;
        const char *wayland, *xscreensaverWindow;
        bool speaks;
    } kCases[] = {{{}, "wayland-1", nullptr, true},         {{"-window"}, "wayland-1", nullptr, true},
                  {{}, "", nullptr, false},                 {{"-root"}, "wayland-1", nullptr, false},
                  {{}, "wayland-1", kWindow, false},        {{"-display", ":0"}, "wayland-1", nullptr, false},
                  {{"-window-id", kWindow}, "wayland-1", nullptr, false}, {{"--wayland"}, nullptr, kWindow, true}};
    for (const auto& c : kCases) {
        std::vector<const char*> argv = {"rolvanta"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        LinuxOptions options;
        std::string error;
        ASSERT_EQ(ParseOptions(static_cast<int>(argv.size()), argv.data(), &options, &error), OptionsResult::Run);
        EXPECT_EQ(SpeaksWayland(options, c.wayland, c.xscreensaverWindow), c.speaks) << argv.back();
    }
}

// The idle start shows once per stretch of idleness, never over a locker, and ends on a signal, a
// show that fails or the source's end.
TEST(LinuxIdle, ShowsOncePerIdleUnlessLockedAndEndsOnSignalFailureOrTheSourcesEnd) {
    struct Script : IdleSource {
        std::vector<IdleEvent> events;
        size_t at = 0;
        IdleEvent Next() override { return at < events.size() ? events[at++] : IdleEvent::Gone; }
        const char* Name() const override { return "the script"; }
    };
    const IdleEvent I = IdleEvent::Idle, A = IdleEvent::Active, S = IdleEvent::Signal, G = IdleEvent::Gone;
    const struct {
        std::vector<IdleEvent> events;
        std::vector<bool> locked;  // at each Idle
        std::vector<int> shows;    // each show's status, in turn
        int status;
        size_t shown;
        const char* error;
    } kCases[] = {
        {{I, A, I, A, I, S}, {false, true, false}, {0, 0}, 0, 2, ""},
        {{I, I, S}, {false}, {1}, 1, 1, ""},
        {{A, I, A, G}, {false}, {0}, 1, 1, "the script went away"},
        {{S, I}, {}, {}, 0, 0, ""},
    };
    for (const auto& c : kCases) {
        Script script;
        script.events = c.events;
        size_t asked = 0, shown = 0;
        IdleCycle cycle;
        cycle.source = &script;
        cycle.screenLocked = [&]() { return c.locked.at(asked++); };
        cycle.show = [&]() { return c.shows.at(shown++); };
        std::string error;
        EXPECT_EQ(RunIdleCycle(cycle, &error), c.status) << c.events.size();
        EXPECT_EQ(shown, c.shown) << c.events.size();
        EXPECT_EQ(asked, c.locked.size()) << c.events.size();
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
