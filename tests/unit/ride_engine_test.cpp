#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"
#include "host/host.h"
#include "show/ride_engine.h"
#include "show/settings.h"

namespace {

const HWND kWindow = FakeHandle<HWND>(0x100);
const char kSection[] = "ScreenSaver.Rolvanta";

// A seed whose first draws satisfy the given tests: lets a test pick a ride's direction,
// model and height through the real generator.
uint32_t SeedFor(const std::vector<std::function<bool(int32_t)>>& wanted, std::vector<int32_t>* draws = nullptr) {
    for (uint32_t seed = 0; seed < 50000000u; ++seed) {
        SeedRandom(seed);
        std::vector<int32_t> drawn;
        for (const auto& test : wanted) {
            drawn.push_back(NextRandom());
            if (!test(drawn.back())) {
                break;
            }
        }
        if (drawn.size() == wanted.size() && wanted.back()(drawn.back())) {
            if (draws != nullptr) {
                *draws = drawn;
            }
            return seed;
        }
    }
    ADD_FAILURE() << "no seed found";
    return 0;
}

std::function<bool(int32_t)> Right() { return [](int32_t r) { return r > 16383; }; }
std::function<bool(int32_t)> Left() { return [](int32_t r) { return r <= 16383; }; }
std::function<bool(int32_t)> Exactly(int32_t value) { return [value](int32_t r) { return r == value; }; }
std::function<bool(int32_t)> Any() { return [](int32_t) { return true; }; }

class RideEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcess();
        hostState.instance = fake.ownModule;
        fake.windows.insert(kWindow);
        fake.clientRects[kWindow] = RECT{0, 0, 640, 480};
    }

    void Setting(const char* key, const char* text) { fake.profile[kSection][key] = text; }

    void Create() { ShowProc(kWindow, WM_CREATE, 0, 0); }

    void CreateSeeded(uint32_t seed) {
        fake.clockSeconds = seed;
        Create();
        fake.calls.clear();
    }

    // The x of the last opaque copy of the whole picture in the calls so far.
    std::vector<int> CopiesX() const {
        std::vector<int> xs;
        for (const std::string& call : fake.Calls("BitBlt(")) {
            xs.push_back(std::stoi(call.substr(call.find(',') + 1)));
        }
        return xs;
    }

    int StepsUntilRideEnds(int limit = 100000) {
        for (int steps = 1; steps <= limit; ++steps) {
            RideStep(kWindow);
            if (rideState.rideOver) {
                return steps;
            }
        }
        return -1;
    }
};

TEST(RandomSource, ProducesThePublishedSequences) {
    SeedRandom(1);
    std::vector<int32_t> fromOne;
    for (int i = 0; i < 6; ++i) {
        fromOne.push_back(NextRandom());
    }
    EXPECT_EQ(fromOne, (std::vector<int32_t>{41, 18467, 6334, 26500, 19169, 15724}));
    SeedRandom(0);
    std::vector<int32_t> fromZero;
    for (int i = 0; i < 3; ++i) {
        fromZero.push_back(NextRandom());
    }
    EXPECT_EQ(fromZero, (std::vector<int32_t>{38, 7719, 21238}));
    SeedRandom(0xFFFFFFFFu);
    for (int i = 0; i < 100000; ++i) {
        int32_t r = NextRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST_F(RideEngine, CreationLoadsEverythingAndStartsTheTimer) {
    fake.waveVolume = 0xAAAABBBB;
    fake.clockSeconds = 1234567;
    EXPECT_EQ(ShowProc(kWindow, WM_CREATE, 0, 0), 0);
    std::vector<std::string> expected = {
        "LoadStringA(0x400000,1007,40)", "LoadStringA(0x400000,1001,13)"};
    for (const std::string& call : expected) {
        EXPECT_GE(fake.IndexOf(call), 0) << call;
    }
    EXPECT_EQ(fake.Calls("LoadBitmapA"),
              (std::vector<std::string>{"LoadBitmapA(0x400000,\"CORMAPL\")", "LoadBitmapA(0x400000,\"CORMAPR\")",
                                        "LoadBitmapA(0x400000,\"VALTMAPL\")", "LoadBitmapA(0x400000,\"VALTMAPR\")"}));
    EXPECT_EQ(fake.Calls("FindResourceA"),
              (std::vector<std::string>{"FindResourceA(0x400000,\"COR_START_SOUND\",\"WAVE\")",
                                        "FindResourceA(0x400000,\"COR_RUN_SOUND\",\"WAVE\")",
                                        "FindResourceA(0x400000,\"COR_FADE_SOUND\",\"WAVE\")",
                                        "FindResourceA(0x400000,\"VALT_RUN_SOUND\",\"WAVE\")"}));
    EXPECT_EQ(fake.Count("LockResource"), 4u);
    EXPECT_EQ(fake.Calls("waveOut"), (std::vector<std::string>{"waveOutGetVolume(0xFFFFFFFF)",
                                                               "waveOutSetVolume(0xFFFFFFFF,0x7FFF7FFF)"}));
    EXPECT_EQ(fake.Calls("SetTimer"), std::vector<std::string>{"SetTimer(0x100,1,1,0)"});
    EXPECT_LT(fake.IndexOf("GetClientRect"), fake.IndexOf("SetTimer"));
    EXPECT_LT(fake.IndexOf("SetTimer"), fake.IndexOf("ClockSeconds"));
    EXPECT_EQ(randomState, 1234567u);
    EXPECT_EQ(fake.calls.back(), "DefWindowProcA(0x100,0x1,0x0,0)");
    EXPECT_EQ(showResources.savedVolume, 0xAAAABBBBu);
    EXPECT_EQ(showResources.clientRect.right, 640);
}

TEST_F(RideEngine, VolumeSettingMapsToBothChannels) {
    EXPECT_EQ(WaveVolumeFor(0), 0x00FF00FFu);
    EXPECT_EQ(WaveVolumeFor(127), 0x7FFF7FFFu);
    EXPECT_EQ(WaveVolumeFor(255), 0xFFFFFFFFu);
    EXPECT_EQ(WaveVolumeFor(1), 0x01FF01FFu);
}

TEST_F(RideEngine, MissingSoundStagesLeaveTheSoundEmpty) {
    fake.waveResources.erase("COR_FADE_SOUND");
    Create();
    EXPECT_EQ(fake.Count("LoadResource"), 3u);
    EXPECT_EQ(showResources.sounds[CoravendiaFade].image, nullptr);
    EXPECT_NE(showResources.sounds[CoravendiaRun].image, nullptr);
}

TEST_F(RideEngine, WorkedRideLeftToRight) {
    Setting("Valtorne", "0");
    CreateSeeded(SeedFor({Right(), Exactly(10000)}));
    RideStep(kWindow);
    EXPECT_EQ(rideState.towardRight, 1);
    EXPECT_EQ(rideState.isValtorne, 0);
    EXPECT_EQ(rideState.step, 6);
    EXPECT_EQ(rideState.y, 92);
    EXPECT_EQ(fake.Calls("SelectObject")[0], "SelectObject(0xDC1,0xB2)") << "facing right";
    EXPECT_EQ(fake.Calls("BitBlt"), std::vector<std::string>{"BitBlt(0xDC0,0,92,168,110,0xDC1,0,0,0xCC0020)"});
    EXPECT_EQ(fake.Calls("FillRect"), std::vector<std::string>{"FillRect(0xDC0,-6,92,0,202,0x5704)"});

    fake.calls.clear();
    RideStep(kWindow);
    EXPECT_EQ(CopiesX(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6})) << "smeared across every pixel it passed";
    EXPECT_EQ(fake.Calls("FillRect"), std::vector<std::string>{"FillRect(0xDC0,0,92,6,202,0x5704)"});

    fake.calls.clear();
    int more = StepsUntilRideEnds();
    EXPECT_EQ(more + 2, 108) << "the step drawn at 642 ends the ride";
    EXPECT_EQ(CopiesX().back(), 642);
    EXPECT_EQ(rideState.x, 10000);
    EXPECT_EQ(fake.Calls("ReleaseDC").size(), fake.Calls("GetDC").size());
    EXPECT_EQ(fake.Calls("DeleteDC").size(), fake.Calls("CreateCompatibleDC").size());
}

TEST_F(RideEngine, WorkedRideRightToLeft) {
    Setting("Valtorne", "0");
    CreateSeeded(SeedFor({Left(), Exactly(10000)}));
    RideStep(kWindow);
    EXPECT_EQ(fake.Calls("SelectObject")[0], "SelectObject(0xDC1,0xB1)") << "facing left";
    EXPECT_EQ(CopiesX(), std::vector<int>{472});
    EXPECT_EQ(fake.Calls("FillRect"), std::vector<std::string>{"FillRect(0xDC0,640,92,646,202,0x5704)"});
    fake.calls.clear();
    RideStep(kWindow);
    EXPECT_EQ(CopiesX(), (std::vector<int>{472, 471, 470, 469, 468, 467, 466}));
    StepsUntilRideEnds();
    EXPECT_EQ(CopiesX().back(), -170);
    std::vector<int> all = CopiesX();
    EXPECT_EQ(all[all.size() - 8], -164) << "-164 + 168 > 0 did not end it";
}

TEST_F(RideEngine, EndTestAtItsBoundaries) {
    // A ride from the left drawn exactly at the client width goes on for one more step.
    fake.clientRects[kWindow] = RECT{0, 0, 336, 480};
    Setting("Valtorne", "0");
    Setting("Speed", "1");
    CreateSeeded(SeedFor({Right(), Any()}));
    int steps = StepsUntilRideEnds();
    EXPECT_EQ(steps, 338) << "x 0..336 drawn, 337 ends";
    EXPECT_EQ(CopiesX().back(), 337);

    SetUp();
    fake.clientRects[kWindow] = RECT{0, 0, 336, 480};
    Setting("Valtorne", "0");
    Setting("Speed", "1");
    CreateSeeded(SeedFor({Left(), Any()}));
    steps = StepsUntilRideEnds();
    EXPECT_EQ(CopiesX().back(), -169) << "x + width == 0 does not end it";
    EXPECT_EQ(steps, 168 + 169 + 1);
}

TEST_F(RideEngine, NarrowPaneStartsTheRideFromTheRightAtANegativeX) {
    fake.clientRects[kWindow] = RECT{0, 0, 150, 112};
    Setting("Valtorne", "0");
    CreateSeeded(SeedFor({Left(), Any()}));
    RideStep(kWindow);
    EXPECT_EQ(CopiesX(), std::vector<int>{-18});
}

TEST_F(RideEngine, ModelChoiceDrawsOnlyWhenBothOrNeitherAreEnabled) {
    for (const char* both : {"1", "0"}) {
        SetUp();
        Setting("Coravendia", both);
        Setting("Valtorne", both);
        std::vector<int32_t> draws;
        CreateSeeded(SeedFor({Any(), Exactly(16383), Any()}, &draws));
        RideStep(kWindow);
        EXPECT_EQ(rideState.isValtorne, 0) << both;
        EXPECT_EQ(rideState.y, draws[2] / 68 - 55) << "the height is the third draw";
        SetUp();
        Setting("Coravendia", both);
        Setting("Valtorne", both);
        CreateSeeded(SeedFor({Any(), Exactly(16384), Any()}, &draws));
        RideStep(kWindow);
        EXPECT_EQ(rideState.isValtorne, 1) << both;
        EXPECT_EQ(rideState.y, draws[2] / 68 - 50) << "the height is the third draw";
    }
    SetUp();
    Setting("Coravendia", "0");
    Setting("Valtorne", "5");
    CreateSeeded(SeedFor({Any(), Exactly(32767)}));
    RideStep(kWindow);
    EXPECT_EQ(rideState.isValtorne, 1);
    EXPECT_EQ(rideState.y, 32767 / 68 - 50) << "the height is the second draw";
}

TEST_F(RideEngine, DirectionSplitsAt16384) {
    Setting("Valtorne", "0");
    CreateSeeded(SeedFor({Exactly(16383)}));
    RideStep(kWindow);
    EXPECT_EQ(rideState.towardRight, 0);
    SetUp();
    Setting("Valtorne", "0");
    CreateSeeded(SeedFor({Exactly(16384)}));
    RideStep(kWindow);
    EXPECT_EQ(rideState.towardRight, 1);
}

TEST_F(RideEngine, StepFollowsSpeedAndModel) {
    const int valtorne[15] = {1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18};
    for (int speed = 1; speed <= 15; ++speed) {
        for (int model = 0; model < 2; ++model) {
            SetUp();
            Setting("Speed", std::to_string(speed).c_str());
            Setting(model ? "Coravendia" : "Valtorne", "0");
            CreateSeeded(1);
            RideStep(kWindow);
            EXPECT_EQ(rideState.step, model ? valtorne[speed - 1] : speed) << speed;
            fake.calls.clear();
            RideStep(kWindow);
            size_t copies = fake.Count("BitBlt");
            EXPECT_EQ(copies, rideState.step > 1 ? static_cast<size_t>(rideState.step) + 1 : 1u)
                << "speed 1 draws no smear";
        }
    }
}

TEST_F(RideEngine, TicksComeEveryMillisecondDuringARideAndAfterAPauseBetweenRides) {
    Setting("Rate", "40");
    Setting("Valtorne", "0");
    fake.clientRects[kWindow] = RECT{0, 0, 200, 200};
    CreateSeeded(7);
    int ticks = 0;
    while (true) {
        fake.calls.clear();
        ShowProc(kWindow, WM_TIMER, 1, 0);
        ++ticks;
        ASSERT_EQ(fake.calls.front(), "KillTimer(0x100,1)");
        std::vector<std::string> timers = fake.Calls("SetTimer");
        ASSERT_EQ(timers.size(), 1u);
        if (rideState.rideOver) {
            int interval = std::stoi(timers[0].substr(std::string("SetTimer(0x100,1,").size()));
            EXPECT_GE(interval, 1000);
            EXPECT_LE(interval, 1819);
            break;
        }
        EXPECT_EQ(timers[0], "SetTimer(0x100,1,1,0)");
        ASSERT_LT(ticks, 1000);
    }
    EXPECT_EQ(PauseAfterRide(32767, 1), 33767u);
    EXPECT_EQ(PauseAfterRide(0, 1), 1000u);
    EXPECT_EQ(PauseAfterRide(32767, 10), 4276u);
    EXPECT_EQ(PauseAfterRide(32767, 40), 1819u);
}

TEST_F(RideEngine, CoravendiaSoundsStartAfterTheFirstPictureAndFadeAtTheEnd) {
    Setting("Sound", "1");
    Setting("Valtorne", "0");
    fake.clientRects[kWindow] = RECT{0, 0, 200, 200};
    CreateSeeded(3);
    RideStep(kWindow);
    EXPECT_EQ(fake.Calls("sndPlaySoundA"),
              (std::vector<std::string>{"sndPlaySoundA(COR_START_SOUND,6)", "sndPlaySoundA(COR_RUN_SOUND,15)"}));
    EXPECT_LT(fake.IndexOf("BitBlt"), fake.IndexOf("sndPlaySoundA"));
    EXPECT_LT(fake.IndexOf("sndPlaySoundA"), fake.IndexOf("ReleaseDC"));
    fake.calls.clear();
    StepsUntilRideEnds();
    EXPECT_EQ(fake.Calls("sndPlaySoundA"), std::vector<std::string>{"sndPlaySoundA(COR_FADE_SOUND,7)"});
}

TEST_F(RideEngine, ValtorneLoopsItsSoundAndStopsAllSoundAtTheEnd) {
    Setting("Sound", "1");
    Setting("Coravendia", "0");
    fake.clientRects[kWindow] = RECT{0, 0, 200, 200};
    CreateSeeded(3);
    StepsUntilRideEnds();
    EXPECT_EQ(fake.Calls("sndPlaySoundA"),
              (std::vector<std::string>{"sndPlaySoundA(VALT_RUN_SOUND,15)", "sndPlaySoundA(null,7)"}));
}

TEST_F(RideEngine, MissingSoundsAreSkipped) {
    Setting("Sound", "1");
    Setting("Valtorne", "0");
    fake.waveResources.erase("COR_START_SOUND");
    fake.waveResources.erase("COR_FADE_SOUND");
    fake.clientRects[kWindow] = RECT{0, 0, 200, 200};
    CreateSeeded(3);
    StepsUntilRideEnds();
    EXPECT_EQ(fake.Calls("sndPlaySoundA"), std::vector<std::string>{"sndPlaySoundA(COR_RUN_SOUND,15)"});
}

TEST_F(RideEngine, SilentRidesPlayAndStopNothing) {
    Setting("Sound", "0");
    fake.clientRects[kWindow] = RECT{0, 0, 200, 200};
    CreateSeeded(3);
    for (int ride = 0; ride < 4; ++ride) {
        StepsUntilRideEnds();
    }
    EXPECT_EQ(fake.Count("sndPlaySoundA"), 0u);
    ShowProc(kWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.Calls("sndPlaySoundA"), std::vector<std::string>{"sndPlaySoundA(null,0)"});
}

TEST_F(RideEngine, BackgroundIsBlackOnlyWhenAskedAndNeverPassedOn) {
    Setting("Blank", "3");
    Create();
    fake.calls.clear();
    EXPECT_EQ(ShowProc(kWindow, WM_ERASEBKGND, 0xDC9, 0), 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetClientRect(0x100)", "FillRect(0xDC9,0,0,640,480,0x5704)"}));

    SetUp();
    Create();
    fake.calls.clear();
    EXPECT_EQ(ShowProc(kWindow, WM_ERASEBKGND, 0xDC9, 0), 0);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(RideEngine, DestructionReleasesInOrderAndRestoresTheVolume) {
    fake.waveVolume = 0x11112222;
    fake.bitmaps.erase("CORMAPR");
    fake.waveResources.erase("COR_RUN_SOUND");
    Create();
    fake.calls.clear();
    ShowProc(kWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{
                              "DeleteObject(0xB3)", "DeleteObject(0xB4)", "DeleteObject(0xB1)", "KillTimer(0x100,1)",
                              "sndPlaySoundA(null,0)", "FreeResource(COR_START_SOUND)", "FreeResource(COR_FADE_SOUND)",
                              "FreeResource(VALT_RUN_SOUND)", "waveOutSetVolume(0xFFFFFFFF,0x11112222)",
                              "DefWindowProcA(0x100,0x2,0x0,0)"}));
}

TEST_F(RideEngine, TimerThatFailedToArmIsNotKilledAtDestruction) {
    fake.timerResult = 0;
    Create();
    fake.calls.clear();
    ShowProc(kWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.Count("KillTimer"), 0u);
}

TEST_F(RideEngine, WindowWithoutHeightDoesNotCrash) {
    fake.clientRects[kWindow] = RECT{0, 0, 100, 0};
    CreateSeeded(9);
    RideStep(kWindow);
    fake.clientRects[kWindow] = RECT{0, 0, 100, 40000};
    SetUp();
    fake.clientRects[kWindow] = RECT{0, 0, 100, 40000};
    CreateSeeded(9);
    RideStep(kWindow);
    EXPECT_EQ(fake.Count("BitBlt"), 1u);
}

TEST_F(RideEngine, OtherMessagesEndInTheHostsDefaultHandling) {
    fake.defaultResult = 0x77;
    for (UINT message : std::initializer_list<UINT>{WM_KEYUP, WM_PAINT, WM_SYSCOMMAND, VerifyPasswordMessage}) {
        hostState.isPreview = 1;
        fake.calls.clear();
        EXPECT_EQ(ShowProc(kWindow, message, 5, 6), 0x77);
        EXPECT_EQ(fake.calls, std::vector<std::string>{"DefWindowProcA(0x100," + Hex(message) + ",0x5,6)"});
    }
}

}  // namespace
