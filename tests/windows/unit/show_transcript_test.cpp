// The show's Win32 layer. It makes exactly the platform calls it always made: a seeded run of several
// rides, replayed through the window procedure's show stage against the recording platform,
// must reproduce the transcript recorded from the program as shipped, call for call.
//
// ROLVANTA_RECORD_TRANSCRIPT=<file> writes the transcript instead of comparing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fake_platform.h"
#include "windows/host/host.h"
#include "core/ride_engine.h"
#include "windows/show/show_win32.h"

#ifndef ROLVANTA_TRANSCRIPT_FILE
#error "the build names the recorded transcript"
#endif

namespace {

const HWND kWindow = FakeHandle<HWND>(0x100);
const char kSection[] = "ScreenSaver.Rolvanta";

struct Scenario {
    const char* name;
    std::map<std::string, std::string> settings;
    RECT client;
    uint32_t clock;
    int rides;  // rides to finish before the window is destroyed
    std::vector<std::string> missingPictures;
    std::vector<std::string> missingSounds;
    uintptr_t timerResult;
};

// Every ride kind, the pause, sound on and off, blank on and off, and a run with failed loads.
const Scenario kScenarios[] = {
    {"sound_blank_both_models",
     {{"Sound", "1"}, {"Blank", "1"}, {"Speed", "15"}, {"Rate", "40"}, {"Volume", "200"}},
     {0, 0, 360, 240}, 1u, 8, {}, {}, 1},
    {"silent_desktop_valtorne_only",
     {{"Sound", "0"}, {"Blank", "0"}, {"Coravendia", "0"}, {"Speed", "4"}, {"Rate", "1"}},
     {0, 0, 250, 150}, 7u, 2, {}, {}, 1},
    {"failed_loads_and_timer",
     {{"Sound", "1"}, {"Blank", "1"}, {"Speed", "9"}, {"Volume", "0"}},
     {0, 0, 200, 120}, 424242u, 4, {"VALTMAPL", "CORMAPR"}, {"COR_START_SOUND", "COR_FADE_SOUND"}, 0},
};

// The show's stage of the window procedure, as the host runs it after its own first stop.
LRESULT Stage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ShowStage(hostState, kWindow, message, wParam, lParam);
}

void Tick() {
    Stage(WM_TIMER, 1, 0);
}

std::string Run(const Scenario& scenario) {
    ResetProcess();
    hostState.instance = fake.ownModule;
    fake.windows.insert(kWindow);
    fake.clientRects[kWindow] = scenario.client;
    fake.clockSeconds = scenario.clock;
    fake.timerResult = scenario.timerResult;
    for (const auto& entry : scenario.settings) {
        fake.profile[kSection][entry.first] = entry.second;
    }
    for (const std::string& name : scenario.missingPictures) {
        fake.bitmaps.erase(name);
    }
    for (const std::string& name : scenario.missingSounds) {
        fake.waveResources.erase(name);
    }

    Stage(WM_CREATE, 0, 0);
    Stage(WM_ERASEBKGND, 0xDC1, 0);
    int ended = 0;
    for (int ticks = 0; ended < scenario.rides && ticks < 100000; ++ticks) {
        Tick();
        ended += hostState.show.show.rideState.rideOver;
    }
    Tick();  // the tick after the pause starts the next ride
    Stage(WM_DESTROY, 0, 0);

    std::ostringstream text;
    text << "== " << scenario.name << "\n";
    for (const std::string& call : fake.calls) {
        text << call << "\n";
    }
    return text.str();
}

std::string RunAll() {
    std::string all;
    for (const Scenario& scenario : kScenarios) {
        all += Run(scenario);
    }
    return all;
}

TEST(ShowTranscript, VolumeSettingMapsToBothWaveOutChannels) {
    EXPECT_EQ(WaveVolumeFor(0), 0x00FF00FFu);
    EXPECT_EQ(WaveVolumeFor(127), 0x7FFF7FFFu);
    EXPECT_EQ(WaveVolumeFor(255), 0xFFFFFFFFu);
    EXPECT_EQ(WaveVolumeFor(1), 0x01FF01FFu);
}

// What cannot be read is never set, nor put back as 0.
TEST(ShowTranscript, OnlyAVolumeThatWasReadIsSetAndPutBack) {
    ResetProcess();
    hostState.instance = fake.ownModule;
    fake.windows.insert(kWindow);
    fake.volumeReadResult = 5;  // MMSYSERR_INVALHANDLE
    Stage(WM_CREATE, 0, 0);
    Stage(WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.Calls("waveOutGetVolume"), std::vector<std::string>{"waveOutGetVolume(0xFFFFFFFF)"});
    EXPECT_EQ(fake.Count("waveOutSetVolume"), 0u);
}

TEST(ShowTranscript, ReproducesTheShippedProgramsCallsForASeededRunOfSeveralRides) {
    std::string transcript = RunAll();
    if (const char* record = std::getenv("ROLVANTA_RECORD_TRANSCRIPT")) {
        std::ofstream(record) << transcript;
        GTEST_SKIP() << "recorded to " << record;
    }
    std::ifstream file(ROLVANTA_TRANSCRIPT_FILE);
    ASSERT_TRUE(file) << ROLVANTA_TRANSCRIPT_FILE;
    std::stringstream expected;
    expected << file.rdbuf();
    // Line by line, so a difference names its first call rather than dumping both runs.
    std::istringstream want(expected.str());
    std::istringstream got(transcript);
    std::string wantLine;
    std::string gotLine;
    for (int line = 1;; ++line) {
        bool moreWanted = static_cast<bool>(std::getline(want, wantLine));
        bool moreGot = static_cast<bool>(std::getline(got, gotLine));
        if (!moreWanted && !moreGot) {
            break;
        }
        ASSERT_EQ(moreWanted ? wantLine : "<end>", moreGot ? gotLine : "<end>") << "at line " << line;
    }
}

TEST(ShowProcStage, MessagesTheShowDoesNotAnswerEndInTheHostsDefaultHandling) {
    ResetProcess();
    hostState.isPreview = 1;
    fake.defaultResult = 0x77;
    for (UINT message : std::initializer_list<UINT>{WM_KEYUP, WM_PAINT, WM_SYSCOMMAND, hostState.verifyPasswordMessage}) {
        fake.calls.clear();
        LRESULT result = 0x55;
        EXPECT_FALSE(ShowProc(hostState.show, kWindow, message, 5, 6, ShowContext{}, &result));
        EXPECT_TRUE(fake.calls.empty());
        EXPECT_EQ(Stage(message, 5, 6), 0x77);
        EXPECT_EQ(fake.calls, std::vector<std::string>{"DefWindowProcA(0x100," + Hex(message) + ",0x5,6)"});
    }
    fake.calls.clear();
    EXPECT_EQ(Stage(WM_ERASEBKGND, 0xDC9, 0), 0);
    EXPECT_EQ(fake.Count("DefWindowProcA"), 0u) << "the background erase is answered completely";
}

// The display sleeping and waking reaches the show as the platform's power notice.
TEST(ShowProcStage, DisplaySleepPausesTheRideAndItsSoundAndWakingResumesThem) {
    ResetProcess();
    hostState.instance = fake.ownModule;
    fake.windows.insert(kWindow);
    fake.clientRects[kWindow] = RECT{0, 0, 640, 480};
    fake.profile[kSection] = {{"Sound", "1"}, {"Coravendia", "0"}};
    Stage(WM_CREATE, 0, 0);
    Tick();
    Tick();
    // Before the registration, and then as another program's post, a notice is not read: its
    // lParam points nowhere.
    Stage(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0x10);
    fake.loadedModules["USER32.DLL"] = kFakeUser32;
    fake.entryPoints["RegisterPowerSettingNotification"] =
        reinterpret_cast<FARPROC>(FakeRegisterPowerSettingNotification);
    WatchDisplayPower(hostState, kWindow);
    Stage(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0x10);
    fake.inSendMessage = TRUE;
    PowerSettingNotice notice = {kConsoleDisplayState, 4, {0}};
    auto power = [&notice](BYTE state) {
        // The state is a whole DWORD behind the header, as the platform sends it.
        alignas(PowerSettingNotice) BYTE bytes[sizeof(PowerSettingNotice) + 3] = {};
        memcpy(bytes, &notice.setting, sizeof(notice.setting));
        memcpy(bytes + offsetof(PowerSettingNotice, length), &notice.length, sizeof(notice.length));
        bytes[offsetof(PowerSettingNotice, data)] = state;
        fake.calls.clear();
        Stage(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(bytes));
    };
    power(0);
    EXPECT_EQ(fake.Calls("KillTimer"), std::vector<std::string>{"KillTimer(0x100,1)"});
    EXPECT_EQ(fake.Calls("sndPlaySoundA"), std::vector<std::string>{"sndPlaySoundA(null,7)"});
    fake.calls.clear();
    Tick();
    EXPECT_EQ(fake.Count("BitBlt") + fake.Count("SetTimer"), 0u) << "a tick already queued does nothing";
    power(2);
    EXPECT_EQ(fake.Calls("sndPlaySoundA"), std::vector<std::string>{"sndPlaySoundA(VALT_RUN_SOUND,15)"});
    EXPECT_EQ(fake.Calls("SetTimer"), std::vector<std::string>{"SetTimer(0x100,1,1,0)"});

    // Another setting's notice, or another broadcast, is not the display's.
    notice.setting.Data1 ^= 1;
    power(0);
    Stage(WM_POWERBROADCAST, 0x000A, 0);
    EXPECT_EQ(fake.Count("KillTimer"), 0u);
}

}  // namespace
