#include "core/ride_engine.h"

#include "core/motorcycles.h"

namespace {

const int32_t kCoinSplit = 16383;
const int32_t kRandomSpan = 32768;  // NextRandom's values are 0 to 32767
const uint32_t kRidingInterval = 1;

void Play(Show& show, ShowPort& port, SoundIndex sound, SoundCue cue) {
    if (!show.showResources.soundReady[sound] || show.held.playing) {
        return;
    }
    if (show.cueWait > 0) {
        // The player did not hold the thread for the sound before: this cue follows it.
        show.following = FollowingCue{true, sound, cue, show.cueWait};
        return;
    }
    show.held.playing = cue == PlayAndWait;
    show.cueWait = port.PlaySound(sound, cue);
    show.held.playing = false;
}

void Silence(Show& show, ShowPort& port, SoundStop stop) {
    if (!show.held.playing) {
        port.StopSound(stop);
    }
}

bool Riding(const Show& show) {
    return show.rideState.x != NoRide;
}

const Motorcycle& Ridden(const Show& show) {
    return kMotorcycles[show.rideState.model];
}

bool Chosen(const Show& show, const Motorcycle& model) {
    return model.chosen == nullptr || show.settings.*model.chosen != 0;
}

// The models the settings let ride, or every model when they let none; one of several is drawn,
// each with an even share of the generator's range, and a single one rides without a draw.
int32_t ChooseModel(Show& show) {
    int32_t chosen[kMotorcycleCount];
    int32_t count = 0;
    for (int32_t i = 0; i < kMotorcycleCount; ++i) {
        if (Chosen(show, kMotorcycles[i])) {
            chosen[count++] = i;
        }
    }
    if (count == 0) {
        for (; count < kMotorcycleCount; ++count) {
            chosen[count] = count;
        }
    }
    return count == 1 ? chosen[0] : chosen[NextRandom(show) * count / kRandomSpan];
}

void StartRide(Show& show, ShowPort& port) {
    show.rideState.towardRight = NextRandom(show) > kCoinSplit ? 1 : 0;
    show.rideState.model = ChooseModel(show);
    const Motorcycle& model = Ridden(show);
    show.rideState.step = show.settings.speed * model.stepTimes / model.stepPer;
    show.rideState.picture = show.rideState.towardRight ? model.facingRight : model.facingLeft;
    PictureSize size = port.SizeOfPicture(show.rideState.picture);
    show.rideState.pictureWidth = size.width;
    show.rideState.pictureHeight = size.height;
    show.showResources.reshaped = false;
}

void PlaceNewRide(Show& show) {
    const ShowRect& client = show.showResources.clientRect;
    show.rideState.x = show.rideState.towardRight ? 0 : client.right - show.rideState.pictureWidth;
    show.rideState.trailX = show.rideState.x;
    // A window of no height, or taller than the random range, would divide by zero.
    int32_t divisor = client.bottom > 0 ? 32767 / client.bottom : 0;
    if (divisor < 1) {
        divisor = 1;
    }
    show.rideState.y = NextRandom(show) / divisor - show.rideState.pictureHeight / 2;
}

void CopyAt(Show& show, ShowPort& port, int32_t x) {
    port.CopyPicture(x, show.rideState.y, show.rideState.pictureWidth, show.rideState.pictureHeight);
}

void PlayRunning(Show& show, ShowPort& port) {
    if (Ridden(show).run != NoSound) {
        Play(show, port, Ridden(show).run, PlayLooped);
    }
}

void StartRideSounds(Show& show, ShowPort& port) {
    if (Ridden(show).start != NoSound) {
        Play(show, port, Ridden(show).start, PlayAndWait);
        // The display went off, or the show ended, while the start sound held the thread.
        if (show.showResources.paused || show.showResources.ended) {
            return;
        }
    }
    PlayRunning(show, port);
}

void EndRideSounds(Show& show, ShowPort& port) {
    if (Ridden(show).fade != NoSound) {
        Play(show, port, Ridden(show).fade, PlayOnce);
    } else {
        Silence(show, port, StopAtRideEnd);
    }
}

void ReleasePicture(Show& show, ShowPort& port, PictureIndex picture) {
    if (show.showResources.pictures[picture]) {
        port.ReleasePicture(picture);
        show.showResources.pictures[picture] = false;
    }
}

void Arm(Show& show, ShowPort& port, uint32_t interval) {
    show.showResources.timerArmed = port.ArmTimer(interval);
    show.showResources.timerInterval = interval;
}

}  // namespace

Show NewShow(void) {
    Show show = {};
    show.rideState.x = NoRide;
    show.rideState.picture = kMotorcycles[0].facingLeft;
    show.randomState = 1;
    show.schedule.floorMs = TimerFloorMs;
    show.showResources.scale = 1;
    show.showResources.nextScale = 1;
    return show;
}

void SeedRandom(Show& show, uint32_t seed) {
    show.randomState = seed;
}

int32_t NextRandom(Show& show) {
    show.randomState = show.randomState * 214013u + 2531011u;
    return static_cast<int32_t>((show.randomState >> 16) & 0x7FFF);
}

uint32_t PauseAfterRide(int32_t draw, int32_t rate) {
    return static_cast<uint32_t>(draw / rate + 1000);
}

void CreateShow(Show& show, ShowPort& port, const SaverSettings& settings) {
    show.settings = settings;
    for (int i = 0; i < PictureCount; ++i) {
        show.showResources.pictures[i] = port.LoadPicture(static_cast<PictureIndex>(i));
    }
    for (int i = 0; i < SoundCount; ++i) {
        SoundLoad load = port.LoadSound(static_cast<SoundIndex>(i));
        show.showResources.soundHeld[i] = load != SoundMissing;
        show.showResources.soundReady[i] = load == SoundReady;
    }
    port.SetVolume(show.settings.volume);
    show.showResources.volumeSet = true;
    show.showResources.clientRect = port.ClientRect();
    Arm(show, port, kRidingInterval);
    SeedRandom(show, port.ClockSeconds());
}

uint32_t ShowTick(Show& show, ShowPort& port) {
    // A new scale waits for the next ride, so that each ride is drawn in one size of block
    // from edge to edge.
    ShowResources& resources = show.showResources;
    if (resources.nextScale != resources.scale && !Riding(show)) {
        resources.scale = resources.nextScale;
        port.TakeScale(resources.scale);
        ReshapeShow(show, port.ClientRect());
    }
    // A tick that arrives while a cue holds the thread is another program's message: the step
    // under way is not finished.
    if (show.showResources.paused || show.showResources.ended || show.held.playing) {
        return 0;
    }
    port.KillTimer();
    show.cueWait = 0;
    show.showResources.timerArmed = false;
    RideStep(show, port);
    if (show.showResources.ended) {
        return 0;
    }
    uint32_t interval = show.rideState.rideOver ? PauseAfterRide(NextRandom(show), show.settings.rate) : kRidingInterval;
    if (show.showResources.paused) {
        // The display went off while a cue that waits held the step: the show rests with no
        // timer, and waking arms it.
        show.showResources.resumeTimer = true;
        return 0;
    }
    Arm(show, port, interval);
    return interval + show.cueWait;
}

void RideStep(Show& show, ShowPort& port) {
    bool newRide = !Riding(show);
    if (newRide) {
        StartRide(show, port);
    }
    show.rideState.rideOver = 0;
    port.BeginStep(show.rideState.picture);

    if (newRide) {
        PlaceNewRide(show);
    } else if (show.rideState.step > 1) {
        // Draw the picture at every pixel between the last position and this one, so a
        // fast ride leaves no gaps in the trail on slow displays.
        int32_t direction = show.rideState.towardRight ? 1 : -1;
        for (int32_t i = 0; i < show.rideState.step; ++i) {
            CopyAt(show, port, show.rideState.trailX);
            show.rideState.trailX += direction;
        }
    }
    CopyAt(show, port, show.rideState.x);

    ShowRect strip;
    strip.top = show.rideState.y;
    strip.bottom = show.rideState.y + show.rideState.pictureHeight;
    if (show.rideState.towardRight) {
        strip.left = show.rideState.x - show.rideState.step;
        strip.right = show.rideState.x;
    } else {
        strip.left = show.rideState.x + show.rideState.pictureWidth;
        strip.right = show.rideState.x + show.rideState.pictureWidth + show.rideState.step;
    }
    port.FillBlack(strip);

    const ShowRect& client = show.showResources.clientRect;
    bool gone = show.rideState.x > client.right || show.rideState.x + show.rideState.pictureWidth < client.left;
    // A ride placed below a window that keeps its size rides across it all the same, as it
    // always has; only a window that shrank under a ride leaves it with nothing to show.
    if (show.showResources.reshaped) {
        gone = gone || show.rideState.y >= client.bottom || show.rideState.y + show.rideState.pictureHeight <= client.top;
    }
    if (gone) {
        show.rideState.x = NoRide;
        if (show.settings.sound) {
            EndRideSounds(show, port);
        }
        show.rideState.rideOver = 1;
    } else {
        show.rideState.trailX = show.rideState.x;
        show.rideState.x += show.rideState.towardRight ? show.rideState.step : -show.rideState.step;
    }

    if (newRide && show.settings.sound) {
        StartRideSounds(show, port);
    }
    port.EndStep();
    if (show.held.endAsked) {
        show.held.endAsked = false;
        DestroyShow(show, port);
    }
}

void EraseBackground(Show& show, ShowPort& port) {
    if (show.settings.blankScreen) {
        port.EraseBlack(port.ClientRect());
    }
}

void ReshapeShow(Show& show, const ShowRect& client) {
    ShowRect& current = show.showResources.clientRect;
    if (client.left == current.left && client.top == current.top && client.right == current.right &&
        client.bottom == current.bottom) {
        return;
    }
    current = client;
    show.showResources.reshaped = Riding(show);
}

void RescaleShow(Show& show, int32_t scale) {
    show.showResources.nextScale = scale;
}

void SetShowVolume(Show& show, ShowPort& port, int32_t volume) {
    show.settings.volume = Repaired(volume, kSettings[VolumeSetting]);
    port.SetVolume(show.settings.volume);
}

void DestroyShow(Show& show, ShowPort& port) {
    show.showResources.ended = true;
    if (show.held.playing) {
        // Now only what touches neither the player nor the step under way: the volume must not
        // wait for the sound, since the process may be ended before the sound is over.
        if (show.showResources.timerArmed) {
            port.KillTimer();
            show.showResources.timerArmed = false;
        }
        if (show.showResources.volumeSet) {
            port.RestoreVolume();
            show.showResources.volumeSet = false;
        }
        show.held.endAsked = true;
        return;
    }
    // The last model's pictures first, each model's facing left before facing right.
    for (int32_t i = kMotorcycleCount - 1; i >= 0; --i) {
        ReleasePicture(show, port, kMotorcycles[i].facingLeft);
        ReleasePicture(show, port, kMotorcycles[i].facingRight);
    }
    if (show.showResources.timerArmed) {
        port.KillTimer();
        show.showResources.timerArmed = false;
    }
    // Silence first: the player may still be reading an image that is about to be released.
    Silence(show, port, StopAtShowEnd);
    for (int i = 0; i < SoundCount; ++i) {
        if (show.showResources.soundHeld[i]) {
            port.ReleaseSound(static_cast<SoundIndex>(i));
            show.showResources.soundHeld[i] = false;
            show.showResources.soundReady[i] = false;
        }
    }
    if (show.showResources.volumeSet) {
        port.RestoreVolume();
        show.showResources.volumeSet = false;
    }
}

void PauseShow(Show& show, ShowPort& port) {
    if (show.showResources.paused) {
        return;
    }
    show.showResources.paused = true;
    show.showResources.resumeTimer = show.showResources.timerArmed;
    if (show.showResources.timerArmed) {
        port.KillTimer();
        show.showResources.timerArmed = false;
    }
    // A cue still waiting for a sound dies with that sound.
    show.following.pending = false;
    show.cueWait = 0;
    if (show.settings.sound) {
        Silence(show, port, StopAtRideEnd);
    }
}

void ResumeShow(Show& show, ShowPort& port) {
    if (!show.showResources.paused) {
        return;
    }
    show.showResources.paused = false;
    if (show.showResources.ended) {
        return;
    }
    // A ride goes on where it stood, with its engine running again; between rides the next
    // one comes at once rather than after what was left of the pause.
    if (show.settings.sound && Riding(show)) {
        PlayRunning(show, port);
    }
    if (show.showResources.resumeTimer) {
        Arm(show, port, kRidingInterval);
    }
}

void DisplayChanged(Show& show, ShowPort& port, DisplayState state) {
    if (state == DisplayOff) {
        PauseShow(show, port);
    } else {
        ResumeShow(show, port);
    }
}

namespace {

uint32_t Floored(const Show& show, uint32_t interval) {
    return interval > show.schedule.floorMs ? interval : show.schedule.floorMs;
}

// Ticks come while the timer is armed, the show is not paused and not held.
bool Ticking(const Show& show) {
    return show.showResources.timerArmed && !show.showResources.paused && !show.schedule.held;
}

int32_t Until(uint64_t dueMs, uint64_t nowMs) {
    return dueMs > nowMs ? static_cast<int32_t>(dueMs - nowMs) : 0;
}

}  // namespace

int32_t RunShow(Show& show, ShowPort& port, uint64_t nowMs) {
    ShowSchedule& schedule = show.schedule;
    ShowResources& resources = show.showResources;
    if (show.following.pending && nowMs >= schedule.cueDueMs) {
        show.following.pending = false;
        port.PlaySound(show.following.sound, show.following.cue);
    }
    if (Ticking(show) && !schedule.scheduled) {
        // Armed by creation or by waking: the first tick comes one floored interval later.
        schedule.dueMs = nowMs + Floored(show, resources.timerInterval);
        schedule.scheduled = true;
    }
    if (nowMs > schedule.dueMs + StallMs) {
        schedule.dueMs = nowMs;
    }
    while (Ticking(show) && nowMs >= schedule.dueMs) {
        ShowTick(show, port);
        ++schedule.ticks;
        schedule.held = schedule.tickLimit != 0 && schedule.ticks >= schedule.tickLimit;
        uint32_t interval = Floored(show, resources.timerInterval);
        if (show.cueWait > 0 || interval > StallMs) {
            // A sound started, or a pause began, now: either is counted from here, however late
            // this tick came.
            schedule.dueMs = nowMs + interval + show.cueWait;
            schedule.cueDueMs = nowMs + show.following.afterMs;
        } else {
            // A late frame catches up with the ticks it owes.
            schedule.dueMs += interval;
        }
    }
    schedule.scheduled = Ticking(show);
    int32_t wait = schedule.scheduled ? Until(schedule.dueMs, nowMs) : WaitForEvent;
    if (show.following.pending) {
        int32_t untilCue = Until(schedule.cueDueMs, nowMs);
        wait = wait == WaitForEvent || untilCue < wait ? untilCue : wait;
    }
    return wait;
}

uint64_t ShowTicks(const Show& show) {
    return show.schedule.ticks;
}

void HoldShowAfter(Show& show, uint64_t ticks) {
    show.schedule.tickLimit = ticks;
}

void FloorShowTicks(Show& show, uint32_t floorMs) {
    show.schedule.floorMs = floorMs;
}

const char* HeldNotice(Show& show) {
    ShowSchedule& schedule = show.schedule;
    if (!schedule.held || schedule.heldSaid) {
        return nullptr;
    }
    schedule.heldSaid = true;
    // Written out by hand: the core links no formatting of its own.
    char digits[20];
    int count = 0;
    uint64_t ticks = schedule.ticks;
    do {
        digits[count++] = static_cast<char>('0' + ticks % 10);
        ticks /= 10;
    } while (ticks != 0);
    const char kBefore[] = "held after ";
    const char kAfter[] = " steps";
    char* at = schedule.notice;
    for (const char* from = kBefore; *from != '\0'; ++from) {
        *at++ = *from;
    }
    while (count > 0) {
        *at++ = digits[--count];
    }
    for (const char* from = kAfter; *from != '\0'; ++from) {
        *at++ = *from;
    }
    *at = '\0';
    return schedule.notice;
}
