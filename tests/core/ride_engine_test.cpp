// The portable show, driven through a recording port: what it draws, plays and times.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "memory_port.h"
#include "recording_port.h"
#include "core/ride_engine.h"
#include "core/screen_scale.h"
#include "core/settings.h"

namespace {

// A seed whose first draws satisfy the given tests: lets a test pick a ride's direction,
// model and height through the real generator.
uint32_t SeedFor(const std::vector<std::function<bool(int32_t)>>& wanted, std::vector<int32_t>* draws = nullptr) {
    Show probe = NewShow();
    for (uint32_t seed = 0; seed < 50000000u; ++seed) {
        SeedRandom(probe, seed);
        std::vector<int32_t> drawn;
        for (const auto& test : wanted) {
            drawn.push_back(NextRandom(probe));
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
    RecordingPort port;
    Show show;
    SaverSettings settings;

    void SetUp() override {
        port = RecordingPort();
        show = NewShow();
        settings = SaverSettings{0, 0, 1, 1, 6, 10, 127};
    }

    void Create() { CreateShow(show, port, settings); }

    void CreateSeeded(uint32_t seed) {
        port.clock = seed;
        Create();
        port.calls.clear();
    }

    int StepsUntilRideEnds(int limit = 100000) {
        for (int steps = 1; steps <= limit; ++steps) {
            RideStep(show, port);
            if (show.rideState.rideOver) {
                return steps;
            }
        }
        return -1;
    }
};

TEST(RandomSource, ProducesThePublishedSequences) {
    Show show = NewShow();
    SeedRandom(show, 1);
    std::vector<int32_t> fromOne;
    for (int i = 0; i < 6; ++i) {
        fromOne.push_back(NextRandom(show));
    }
    EXPECT_EQ(fromOne, (std::vector<int32_t>{41, 18467, 6334, 26500, 19169, 15724}));
    SeedRandom(show, 0);
    std::vector<int32_t> fromZero;
    for (int i = 0; i < 3; ++i) {
        fromZero.push_back(NextRandom(show));
    }
    EXPECT_EQ(fromZero, (std::vector<int32_t>{38, 7719, 21238}));
    SeedRandom(show, 0xFFFFFFFFu);
    for (int i = 0; i < 100000; ++i) {
        int32_t r = NextRandom(show);
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST_F(RideEngine, CreationLoadsEverythingSetsTheVolumeAndStartsTheTimer) {
    port.clock = 1234567;
    settings.volume = 200;
    Create();
    EXPECT_EQ(port.calls,
              (std::vector<PortCall>{{Op::LoadPicture, CoravendiaLeft}, {Op::LoadPicture, CoravendiaRight},
                                     {Op::LoadPicture, ValtorneLeft}, {Op::LoadPicture, ValtorneRight},
                                     {Op::LoadSound, CoravendiaStart}, {Op::LoadSound, CoravendiaRun},
                                     {Op::LoadSound, CoravendiaFade}, {Op::LoadSound, ValtorneRun},
                                     {Op::SetVolume, 200}, {Op::ClientRect}, Arm(1), {Op::Clock}}));
    EXPECT_EQ(show.randomState, 1234567u);
    EXPECT_EQ(show.showResources.clientRect.right, 640);
}

TEST_F(RideEngine, WorkedRideLeftToRight) {
    settings.rideValtorne = 0;
    CreateSeeded(SeedFor({Right(), Exactly(10000)}));
    RideStep(show, port);
    EXPECT_EQ(show.rideState.towardRight, 1);
    EXPECT_EQ(show.rideState.model, 0);
    EXPECT_EQ(show.rideState.step, 6);
    EXPECT_EQ(show.rideState.y, 92);
    EXPECT_EQ(port.calls, (std::vector<PortCall>{{Op::SizeOfPicture, CoravendiaRight}, {Op::BeginStep, CoravendiaRight},
                                                 Copy(0, 92, 168, 110), Fill(-6, 92, 0, 202), {Op::EndStep}}))
        << "facing right, wholly inside at the left edge, its strip outside the window";

    port.calls.clear();
    RideStep(show, port);
    EXPECT_EQ(port.CopiesX(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6})) << "smeared across every pixel it passed";
    EXPECT_EQ(port.Only(Op::Fill), std::vector<PortCall>{Fill(0, 92, 6, 202)});

    port.calls.clear();
    int more = StepsUntilRideEnds();
    EXPECT_EQ(more + 2, 108) << "the step drawn at 642 ends the ride";
    EXPECT_EQ(port.CopiesX().back(), 642);
    EXPECT_EQ(show.rideState.x, NoRide);
    EXPECT_EQ(port.Only(Op::BeginStep).size(), port.Only(Op::EndStep).size());
}

TEST_F(RideEngine, WorkedRideRightToLeft) {
    settings.rideValtorne = 0;
    CreateSeeded(SeedFor({Left(), Exactly(10000)}));
    RideStep(show, port);
    EXPECT_EQ(port.Only(Op::BeginStep), (std::vector<PortCall>{{Op::BeginStep, CoravendiaLeft}})) << "facing left";
    EXPECT_EQ(port.CopiesX(), std::vector<int>{472});
    EXPECT_EQ(port.Only(Op::Fill), std::vector<PortCall>{Fill(640, 92, 646, 202)});
    port.calls.clear();
    RideStep(show, port);
    EXPECT_EQ(port.CopiesX(), (std::vector<int>{472, 471, 470, 469, 468, 467, 466}));
    StepsUntilRideEnds();
    EXPECT_EQ(port.CopiesX().back(), -170);
    std::vector<int> all = port.CopiesX();
    EXPECT_EQ(all[all.size() - 8], -164) << "-164 + 168 > 0 did not end it";
}

TEST_F(RideEngine, EndTestAtItsBoundaries) {
    // A ride from the left drawn exactly at the client width goes on for one more step.
    port.client = ShowRect{0, 0, 336, 480};
    settings.rideValtorne = 0;
    settings.speed = 1;
    CreateSeeded(SeedFor({Right(), Any()}));
    int steps = StepsUntilRideEnds();
    EXPECT_EQ(steps, 338) << "x 0..336 drawn, 337 ends";
    EXPECT_EQ(port.CopiesX().back(), 337);

    SetUp();
    port.client = ShowRect{0, 0, 336, 480};
    settings.rideValtorne = 0;
    settings.speed = 1;
    CreateSeeded(SeedFor({Left(), Any()}));
    steps = StepsUntilRideEnds();
    EXPECT_EQ(port.CopiesX().back(), -169) << "x + width == 0 does not end it";
    EXPECT_EQ(steps, 168 + 169 + 1);
}

TEST_F(RideEngine, NarrowPaneStartsTheRideFromTheRightAtANegativeX) {
    port.client = ShowRect{0, 0, 150, 112};
    settings.rideValtorne = 0;
    CreateSeeded(SeedFor({Left(), Any()}));
    RideStep(show, port);
    EXPECT_EQ(port.CopiesX(), std::vector<int>{-18});
}

TEST_F(RideEngine, ModelChoiceDrawsOnlyWhenBothOrNeitherAreEnabled) {
    for (int32_t both : {1, 0}) {
        SetUp();
        settings.rideCoravendia = both;
        settings.rideValtorne = both;
        std::vector<int32_t> draws;
        CreateSeeded(SeedFor({Any(), Exactly(16383), Any()}, &draws));
        RideStep(show, port);
        EXPECT_EQ(show.rideState.model, 0) << both;
        EXPECT_EQ(show.rideState.y, draws[2] / 68 - 55) << "the height is the third draw";
        SetUp();
        settings.rideCoravendia = both;
        settings.rideValtorne = both;
        CreateSeeded(SeedFor({Any(), Exactly(16384), Any()}, &draws));
        RideStep(show, port);
        EXPECT_EQ(show.rideState.model, 1) << both;
        EXPECT_EQ(show.rideState.y, draws[2] / 68 - 50) << "the height is the third draw";
    }
    SetUp();
    settings.rideCoravendia = 0;
    settings.rideValtorne = 5;
    CreateSeeded(SeedFor({Any(), Exactly(32767)}));
    RideStep(show, port);
    EXPECT_EQ(show.rideState.model, 1);
    EXPECT_EQ(show.rideState.y, 32767 / 68 - 50) << "the height is the second draw";
}

TEST_F(RideEngine, DirectionSplitsAt16384) {
    settings.rideValtorne = 0;
    CreateSeeded(SeedFor({Exactly(16383)}));
    RideStep(show, port);
    EXPECT_EQ(show.rideState.towardRight, 0);
    SetUp();
    settings.rideValtorne = 0;
    CreateSeeded(SeedFor({Exactly(16384)}));
    RideStep(show, port);
    EXPECT_EQ(show.rideState.towardRight, 1);
}

TEST_F(RideEngine, StepFollowsSpeedAndModel) {
    const int valtorne[15] = {1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18};
    for (int speed = 1; speed <= 15; ++speed) {
        for (int model = 0; model < 2; ++model) {
            SetUp();
            settings.speed = speed;
            (model ? settings.rideCoravendia : settings.rideValtorne) = 0;
            CreateSeeded(1);
            RideStep(show, port);
            EXPECT_EQ(show.rideState.step, model ? valtorne[speed - 1] : speed) << speed;
            port.calls.clear();
            RideStep(show, port);
            size_t copies = port.Only(Op::Copy).size();
            EXPECT_EQ(copies, show.rideState.step > 1 ? static_cast<size_t>(show.rideState.step) + 1 : 1u)
                << "speed 1 draws no smear";
        }
    }
}

TEST_F(RideEngine, TicksComeEveryMillisecondDuringARideAndAfterAPauseBetweenRides) {
    settings.rate = 40;
    settings.rideValtorne = 0;
    port.client = ShowRect{0, 0, 200, 200};
    CreateSeeded(7);
    for (int ticks = 1;; ++ticks) {
        port.calls.clear();
        uint32_t next = ShowTick(show, port);
        ASSERT_EQ(port.calls.front(), Kill());
        std::vector<PortCall> arms = port.Only(Op::Arm);
        ASSERT_EQ(arms.size(), 1u);
        ASSERT_EQ(port.calls.back(), arms[0]) << "armed again only when the tick is done";
        EXPECT_EQ(next, arms[0].a);
        if (show.rideState.rideOver) {
            EXPECT_GE(arms[0].a, 1000);
            EXPECT_LE(arms[0].a, 1819);
            break;
        }
        EXPECT_EQ(arms[0], Arm(1));
        ASSERT_LT(ticks, 1000);
    }
    EXPECT_EQ(PauseAfterRide(32767, 1), 33767u);
    EXPECT_EQ(PauseAfterRide(0, 1), 1000u);
    EXPECT_EQ(PauseAfterRide(32767, 10), 4276u);
    EXPECT_EQ(PauseAfterRide(32767, 40), 1819u);
}

TEST_F(RideEngine, CoravendiaSoundsStartAfterTheFirstPictureAndFadeAtTheEnd) {
    settings.sound = 1;
    settings.rideValtorne = 0;
    port.client = ShowRect{0, 0, 200, 200};
    CreateSeeded(3);
    RideStep(show, port);
    EXPECT_EQ(std::vector<PortCall>(port.calls.end() - 3, port.calls.end()),
              (std::vector<PortCall>{Play(CoravendiaStart, PlayAndWait), Play(CoravendiaRun, PlayLooped),
                                     {Op::EndStep}}))
        << "the first picture stands while the start sound plays";
    port.calls.clear();
    StepsUntilRideEnds();
    EXPECT_EQ(port.Only(Op::Play), std::vector<PortCall>{Play(CoravendiaFade, PlayOnce)});
    EXPECT_TRUE(port.Only(Op::Stop).empty());
}

TEST_F(RideEngine, AWaitingCueThatReturnsAtOnceDelaysTheNextTickByWhatItLeft) {
    settings.sound = 1;
    settings.rideValtorne = 0;
    port.waitForCue = 3170;
    CreateSeeded(3);
    EXPECT_EQ(ShowTick(show, port), 3171u) << "the start sound's length, then the riding interval";
    EXPECT_EQ(port.Only(Op::Arm), std::vector<PortCall>{Arm(1)}) << "the timer itself keeps the show's interval";
    EXPECT_EQ(ShowTick(show, port), 1u);
}

TEST_F(RideEngine, ValtorneLoopsItsSoundAndStopsAllSoundAtTheEnd) {
    settings.sound = 1;
    settings.rideCoravendia = 0;
    port.client = ShowRect{0, 0, 200, 200};
    CreateSeeded(3);
    StepsUntilRideEnds();
    EXPECT_EQ(port.Only(Op::Play), std::vector<PortCall>{Play(ValtorneRun, PlayLooped)});
    EXPECT_EQ(port.Only(Op::Stop), std::vector<PortCall>{Stop(StopAtRideEnd)});
}

TEST_F(RideEngine, SoundsThatCannotPlayAreSkipped) {
    settings.sound = 1;
    settings.rideValtorne = 0;
    port.soundLoads[CoravendiaStart] = SoundMissing;
    port.soundLoads[CoravendiaFade] = SoundHeld;
    port.client = ShowRect{0, 0, 200, 200};
    CreateSeeded(3);
    StepsUntilRideEnds();
    EXPECT_EQ(port.Only(Op::Play), std::vector<PortCall>{Play(CoravendiaRun, PlayLooped)});
    port.calls.clear();
    DestroyShow(show, port);
    EXPECT_EQ(port.Only(Op::ReleaseSound),
              (std::vector<PortCall>{{Op::ReleaseSound, CoravendiaRun}, {Op::ReleaseSound, CoravendiaFade},
                                     {Op::ReleaseSound, ValtorneRun}}))
        << "a sound held but not playable is still given back";
}

TEST_F(RideEngine, SilentRidesPlayAndStopNothing) {
    port.client = ShowRect{0, 0, 200, 200};
    CreateSeeded(3);
    for (int ride = 0; ride < 4; ++ride) {
        StepsUntilRideEnds();
    }
    EXPECT_TRUE(port.Only(Op::Play).empty());
    EXPECT_TRUE(port.Only(Op::Stop).empty());
    DestroyShow(show, port);
    EXPECT_EQ(port.Only(Op::Stop), std::vector<PortCall>{Stop(StopAtShowEnd)});
}

TEST_F(RideEngine, BackgroundIsBlackOnlyWhenAsked) {
    settings.blankScreen = 3;
    Create();
    port.calls.clear();
    port.client = ShowRect{0, 0, 800, 600};
    EraseBackground(show, port);
    EXPECT_EQ(port.calls, (std::vector<PortCall>{{Op::ClientRect}, {Op::Erase, 0, 0, 800, 600}}))
        << "the client area taken anew";
    show.settings.blankScreen = 0;
    port.calls.clear();
    EraseBackground(show, port);
    EXPECT_TRUE(port.calls.empty());
}

TEST_F(RideEngine, DestructionReleasesInOrderOnceOnly) {
    port.pictureLoads[CoravendiaRight] = false;
    port.soundLoads[CoravendiaRun] = SoundMissing;
    Create();
    port.calls.clear();
    DestroyShow(show, port);
    EXPECT_EQ(port.calls, (std::vector<PortCall>{{Op::ReleasePicture, ValtorneLeft},
                                                 {Op::ReleasePicture, ValtorneRight},
                                                 {Op::ReleasePicture, CoravendiaLeft},
                                                 Kill(),
                                                 Stop(StopAtShowEnd),
                                                 {Op::ReleaseSound, CoravendiaStart},
                                                 {Op::ReleaseSound, CoravendiaFade},
                                                 {Op::ReleaseSound, ValtorneRun},
                                                 {Op::RestoreVolume}}));
    port.calls.clear();
    DestroyShow(show, port);
    EXPECT_EQ(port.calls, std::vector<PortCall>{Stop(StopAtShowEnd)}) << "nothing is given back twice";
}

TEST_F(RideEngine, TimerThatFailedToArmIsNotKilledAtDestruction) {
    port.armResult = false;
    Create();
    port.calls.clear();
    DestroyShow(show, port);
    EXPECT_TRUE(port.Only(Op::Kill).empty());
}

TEST_F(RideEngine, WindowWithoutHeightOrTallerThanTheRandomRangeStillRides) {
    for (int32_t height : {0, 40000}) {
        SetUp();
        port.client = ShowRect{0, 0, 100, height};
        CreateSeeded(9);
        RideStep(show, port);
        EXPECT_EQ(port.Only(Op::Copy).size(), 1u) << height;
    }
}

TEST_F(RideEngine, ANewClientAreaIsTakenFromTheNextRideOn) {
    settings.rideValtorne = 0;
    settings.speed = 15;
    CreateSeeded(SeedFor({Left(), Any()}));
    RideStep(show, port);
    EXPECT_EQ(port.CopiesX(), std::vector<int>{472});
    ReshapeShow(show, ShowRect{0, 0, 1000, 700});
    RideStep(show, port);
    EXPECT_EQ(port.CopiesX().back(), 457) << "the ride under way goes on from where it stood";
    StepsUntilRideEnds();
    port.calls.clear();
    SeedRandom(show, SeedFor({Left(), Any()}));
    RideStep(show, port);
    EXPECT_EQ(port.CopiesX(), std::vector<int>{1000 - 168});
}

TEST_F(RideEngine, WhileTheDisplaySleepsTheShowNeitherRidesNorSoundsAndThenGoesOnWhereItStood) {
    settings.sound = 1;
    settings.rideCoravendia = 0;
    CreateSeeded(3);
    ShowTick(show, port);
    ShowTick(show, port);
    RideState before = show.rideState;
    port.calls.clear();
    PauseShow(show, port);
    PauseShow(show, port);
    EXPECT_EQ(port.calls, (std::vector<PortCall>{Kill(), Stop(StopAtRideEnd)}));
    port.calls.clear();
    EXPECT_EQ(ShowTick(show, port), 0u);
    EXPECT_TRUE(port.calls.empty()) << "a tick already on its way does nothing";
    EXPECT_EQ(show.rideState.x, before.x);
    ResumeShow(show, port);
    ResumeShow(show, port);
    EXPECT_EQ(port.calls, (std::vector<PortCall>{Play(ValtorneRun, PlayLooped), Arm(1)}));
    port.calls.clear();
    ShowTick(show, port);
    EXPECT_EQ(port.CopiesX().back(), before.x) << "the ride goes on from where it stood";
}

TEST_F(RideEngine, TheDisplayGoingOffDuringTheStartSoundsWaitLeavesNoTimerRunning) {
    settings.sound = 1;
    settings.rideValtorne = 0;
    CreateSeeded(3);
    port.whileCueWaits = [this] { DisplayChanged(show, port, DisplayOff); };
    ShowTick(show, port);
    EXPECT_TRUE(show.showResources.paused);
    EXPECT_FALSE(show.showResources.timerArmed);
    EXPECT_TRUE(port.Only(Op::Arm).empty()) << "no timer armed while paused";
    port.calls.clear();
    port.whileCueWaits = nullptr;
    DisplayChanged(show, port, DisplayOn);
    EXPECT_EQ(port.Only(Op::Arm), std::vector<PortCall>{Arm(1)}) << "waking arms the timer again";
    EXPECT_TRUE(show.showResources.timerArmed);
}

TEST_F(RideEngine, ASleepBetweenRidesWakesToTheNextRideWithoutSound) {
    settings.sound = 1;
    port.client = ShowRect{0, 0, 200, 200};
    CreateSeeded(3);
    while (!show.rideState.rideOver) {
        ShowTick(show, port);
    }
    port.calls.clear();
    PauseShow(show, port);
    ResumeShow(show, port);
    EXPECT_EQ(port.calls, (std::vector<PortCall>{Kill(), Stop(StopAtRideEnd), Arm(1)}));
}

// On a real surface: whatever the model, direction and speed, a finished ride has painted out
// every pixel it drew, so no part of a picture stays behind on a blank screen.
// The show's own time, on a fake clock: what a platform loop that only waits gets.
TEST_F(RideEngine, RunShowKeepsTheTimersScheduleWhateverTheFramesDo) {
    port.client = ShowRect{0, 0, 5000, 480};
    settings.rideValtorne = 0;
    CreateSeeded(SeedFor({Right(), Any()}));
    EXPECT_EQ(RunShow(show, port, 1000), 10) << "the 1 ms timer has a floor of 10 ms";
    // 60 frames a second for a second: every tick that came due runs, none twice.
    int32_t delay = 0;
    for (int frame = 1; frame <= 60; ++frame) {
        delay = RunShow(show, port, 1000 + frame * 1000 / 60);
        EXPECT_LE(delay, 10);
    }
    EXPECT_EQ(show.schedule.ticks, 100u);
    // A stall of five seconds: one tick, then the schedule goes on from there.
    RunShow(show, port, 7000);
    EXPECT_EQ(show.schedule.ticks, 101u) << "a stall's backlog is dropped";
    EXPECT_EQ(RunShow(show, port, 7003), 7);
    // The ride's last step, run 7 ms late: the pause is counted from when it ran.
    while (!show.rideState.rideOver) {
        delay = RunShow(show, port, show.schedule.dueMs + 7);
    }
    EXPECT_EQ(static_cast<uint32_t>(delay), show.showResources.timerInterval);
    EXPECT_GE(delay, 1000);
    // A platform's own floor (XScreenSaver's -delay 20000) spaces the ticks as far.
    show = NewShow();
    CreateSeeded(SeedFor({Right(), Any()}));
    show.schedule.floorMs = 20;
    EXPECT_EQ(RunShow(show, port, 0), 20);
    for (int frame = 1; frame <= 60; ++frame) {
        RunShow(show, port, frame * 1000 / 60);
    }
    EXPECT_EQ(show.schedule.ticks, 50u) << "ticks at 20, 40, ... 1000 ms";
}

TEST_F(RideEngine, RunShowPlaysTheCueThatFollowsAWaitedSoundWhenThatSoundEnds) {
    settings.sound = 1;
    settings.rideValtorne = 0;
    port.waitForCue = 500;
    CreateSeeded(3);
    RunShow(show, port, 0);
    EXPECT_EQ(RunShow(show, port, 14), 500) << "the tick ran 4 ms late; the sound's end is 500 ms on";
    EXPECT_EQ(port.Only(Op::Play), std::vector<PortCall>{Play(CoravendiaStart, PlayAndWait)});
    EXPECT_EQ(RunShow(show, port, 514), 10);
    EXPECT_EQ(port.Only(Op::Play),
              (std::vector<PortCall>{Play(CoravendiaStart, PlayAndWait), Play(CoravendiaRun, PlayLooped)}));
    EXPECT_EQ(show.schedule.ticks, 1u) << "the next step waits for the sound and a floored tick";
    RunShow(show, port, 524);
    EXPECT_EQ(show.schedule.ticks, 2u);
    // The display goes off while a sound is still being waited for: the cue dies with it.
    port.calls.clear();
    show = NewShow();
    CreateSeeded(3);
    RunShow(show, port, 0);
    RunShow(show, port, 10);
    DisplayChanged(show, port, DisplayOff);
    EXPECT_EQ(RunShow(show, port, 600), WaitForEvent);
    EXPECT_EQ(port.Only(Op::Play), std::vector<PortCall>{Play(CoravendiaStart, PlayAndWait)});
}

// Screens wider than 5000 pixels (5120-wide monitors, 8K, several monitors side by side) ride
// the same way, and each ride takes its pause.
TEST(RideOnASurface, AFinishedRideLeavesNothingOfItsPictureBehind) {
    struct Case {
        int32_t width;
        int32_t speed;
        uint32_t seeds;
        // The window takes this size, cleared, after this many steps of each ride (0: never).
        int32_t reshapeAt = 0, newWidth = 0, newHeight = 0;
    };
    for (const Case& ride : {Case{400, 1, 8}, Case{400, 6, 8}, Case{400, 15, 8}, Case{5120, 6, 4},
                             Case{7680, 15, 4}, Case{16384, 15, 4}, Case{400, 6, 8, 20, 640, 300},
                             Case{1000, 15, 8, 3, 1280, 720}, Case{8000, 6, 8, 40, 1280, 300},
                             Case{5120, 1, 8, 2, 5120, 40}}) {
        MemoryPort memory(ROLVANTA_ASSET_DIR);
        for (uint32_t seed = 1; seed <= ride.seeds; ++seed) {
            memory.ResetScreen(ride.width, 300);
            Show show = NewShow();
            memory.clock = seed * 0x9E3779B9u;  // seeds spread wide: the first draws take both directions
            CreateShow(show, memory, SaverSettings{0, 1, 1, 1, ride.speed, 10, 127});
            EraseBackground(show, memory);
            uint64_t drawn = 0;
            int32_t steps = 0;
            uint32_t delay = 0;
            do {
                if (steps == ride.reshapeAt && ride.reshapeAt > 0) {
                    memory.ResetScreen(ride.newWidth, ride.newHeight);
                    ReshapeShow(show, memory.ClientRect());
                }
                delay = ShowTick(show, memory);
                ++steps;
                if (show.rideState.rideOver == 0 && drawn == 0) {
                    drawn = memory.pixelsWritten;
                    EXPECT_NE(std::count(memory.screen.pixels.begin(), memory.screen.pixels.end(), 0),
                              static_cast<long>(memory.screen.pixels.size()))
                        << "the first step shows the picture";
                }
            } while (show.rideState.rideOver == 0 && steps <= 2 * ride.width);
            std::string where = "width " + std::to_string(ride.width) + " speed " + std::to_string(ride.speed) +
                                " seed " + std::to_string(seed) + " right " + std::to_string(show.rideState.towardRight);
            EXPECT_EQ(show.rideState.rideOver, 1) << where << ": the ride ends";
            EXPECT_GE(delay, 1000u) << where << ": a pause follows the ride";
            EXPECT_GE(steps, ride.reshapeAt ? 0 : ride.width / show.rideState.step) << where << ": the ride crossed";
            // Reshaped, it ends at the new edge, or at once where the new window no longer shows it.
            int32_t newEdge = show.rideState.y >= ride.newHeight ? 1 : (ride.newWidth + 200) / show.rideState.step;
            EXPECT_LE(steps, ride.reshapeAt ? ride.reshapeAt + newEdge : 2 * ride.width) << where << ": the ride ended";
            EXPECT_EQ(std::count(memory.screen.pixels.begin(), memory.screen.pixels.end(), 0),
                      static_cast<long>(memory.screen.pixels.size()))
                << where;
            DestroyShow(show, memory);
            EXPECT_EQ(memory.livePictures, 0);
            EXPECT_EQ(memory.openSteps, 0);
        }
    }
}

}  // namespace

// The one rule every platform turns its screen's scale into picture blocks by. (The blocks
// themselves are checked pixel for pixel on the real screens.)
TEST(PixelScale, NearestWholeNumberWithHalvesUpAndLogicalLengthsRoundedUp) {
    const int32_t rows[][3] = {{96, 96, 1},   {143, 96, 1},  {144, 96, 2},    {239, 96, 2},   {240, 96, 3},
                               {335, 96, 3},  {0, 96, 1},    {-96, 96, 1},    {96, 0, 1},     {150, 120, 1},
                               {270, 120, 2}, {300, 120, 3}, {100000, 96, 8}, {0x7FFFFFFF, 1, 8}};
    for (const auto& row : rows) {
        EXPECT_EQ(PixelScaleFor(row[0], row[1]), row[2]) << row[0] << "/" << row[1];
    }
    const int32_t lengths[][3] = {{1920, 2, 960}, {1921, 2, 961}, {1081, 3, 361}, {1366, 1, 1366}, {0, 2, 0}};
    for (const auto& row : lengths) {
        EXPECT_EQ(LogicalLength(row[0], row[1]), row[2]) << row[0] << "/" << row[1];
    }
}
