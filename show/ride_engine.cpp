#include "show/ride_engine.h"

#include "show/settings.h"

RideState rideState = {NoRide, 0, 0, 0, CoravendiaLeft, 0, 0, 0, 0, 0};
const RideState initialRideState = {NoRide, 0, 0, 0, CoravendiaLeft, 0, 0, 0, 0, 0};
ShowResources showResources = {};
uint32_t randomState = 1;

namespace {

const int32_t kCoinSplit = 16383;
const uint32_t kRidingInterval = 1;

// What a cue of this tick still asks the next tick to wait for.
uint32_t cueWait = 0;

void Play(ShowPort& port, SoundIndex sound, SoundCue cue) {
    if (showResources.soundReady[sound]) {
        cueWait += port.PlaySound(sound, cue);
    }
}

bool Riding(void) {
    return rideState.x != NoRide;
}

SoundIndex RunningSound(void) {
    return rideState.isValtorne ? ValtorneRun : CoravendiaRun;
}

void StartRide(ShowPort& port) {
    rideState.towardRight = NextRandom() > kCoinSplit ? 1 : 0;
    bool bothOrNeither = (saverSettings.rideCoravendia != 0) == (saverSettings.rideValtorne != 0);
    if (bothOrNeither) {
        rideState.isValtorne = NextRandom() > kCoinSplit ? 1 : 0;
    } else {
        rideState.isValtorne = saverSettings.rideCoravendia == 0 ? 1 : 0;
    }
    rideState.step = rideState.isValtorne ? (saverSettings.speed * 5) / 4 : saverSettings.speed;
    rideState.picture = static_cast<PictureIndex>((rideState.isValtorne ? ValtorneLeft : CoravendiaLeft) +
                                                  (rideState.towardRight ? 1 : 0));
    PictureSize size = port.SizeOfPicture(rideState.picture);
    rideState.pictureWidth = size.width;
    rideState.pictureHeight = size.height;
    if (showResources.reshaped) {
        showResources.clientRect = showResources.newClientRect;
        showResources.reshaped = false;
    }
}

void PlaceNewRide(void) {
    const ShowRect& client = showResources.clientRect;
    rideState.x = rideState.towardRight ? 0 : client.right - rideState.pictureWidth;
    rideState.trailX = rideState.x;
    // A window of no height, or taller than the random range, would divide by zero.
    int32_t divisor = client.bottom > 0 ? 32767 / client.bottom : 0;
    if (divisor < 1) {
        divisor = 1;
    }
    rideState.y = NextRandom() / divisor - rideState.pictureHeight / 2;
}

void CopyAt(ShowPort& port, int32_t x) {
    port.CopyPicture(x, rideState.y, rideState.pictureWidth, rideState.pictureHeight);
}

void StartRideSounds(ShowPort& port) {
    if (!rideState.isValtorne) {
        Play(port, CoravendiaStart, PlayAndWait);
    }
    Play(port, RunningSound(), PlayLooped);
}

void EndRideSounds(ShowPort& port) {
    if (rideState.isValtorne) {
        port.StopSound(StopAtRideEnd);
    } else {
        Play(port, CoravendiaFade, PlayOnce);
    }
}

}  // namespace

void SeedRandom(uint32_t seed) {
    randomState = seed;
}

int32_t NextRandom(void) {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFF);
}

uint32_t WaveVolumeFor(int32_t volume) {
    uint32_t channel = (static_cast<uint32_t>(volume) * 256u + 255u) & 0xFFFFu;
    return channel | (channel << 16);
}

uint32_t PauseAfterRide(int32_t draw, int32_t rate) {
    return static_cast<uint32_t>(draw / rate + 1000);
}

void CreateShow(ShowPort& port) {
    for (int i = 0; i < PictureCount; ++i) {
        showResources.pictures[i] = port.LoadPicture(static_cast<PictureIndex>(i));
    }
    for (int i = 0; i < SoundCount; ++i) {
        SoundLoad load = port.LoadSound(static_cast<SoundIndex>(i));
        showResources.soundHeld[i] = load != SoundMissing;
        showResources.soundReady[i] = load == SoundReady;
    }
    port.SetVolume(WaveVolumeFor(saverSettings.volume));
    showResources.volumeSet = true;
    showResources.clientRect = port.ClientRect();
    showResources.timerArmed = port.ArmTimer(kRidingInterval);
    SeedRandom(port.ClockSeconds());
}

uint32_t ShowTick(ShowPort& port) {
    if (showResources.paused) {
        return 0;
    }
    port.KillTimer();
    cueWait = 0;
    showResources.timerArmed = false;
    RideStep(port);
    uint32_t interval = rideState.rideOver ? PauseAfterRide(NextRandom(), saverSettings.rate) : kRidingInterval;
    if (showResources.paused) {
        // The display went off while a cue that waits held the step: the show rests with no
        // timer, and waking arms it.
        showResources.resumeTimer = true;
        return 0;
    }
    showResources.timerArmed = port.ArmTimer(interval);
    return interval + cueWait;
}

void RideStep(ShowPort& port) {
    bool newRide = !Riding();
    if (newRide) {
        StartRide(port);
    }
    rideState.rideOver = 0;
    port.BeginStep(rideState.picture);

    if (newRide) {
        PlaceNewRide();
    } else if (rideState.step > 1) {
        // Draw the picture at every pixel between the last position and this one, so a
        // fast ride leaves no gaps in the trail on slow displays.
        int32_t direction = rideState.towardRight ? 1 : -1;
        for (int32_t i = 0; i < rideState.step; ++i) {
            CopyAt(port, rideState.trailX);
            rideState.trailX += direction;
        }
    }
    CopyAt(port, rideState.x);

    ShowRect strip;
    strip.top = rideState.y;
    strip.bottom = rideState.y + rideState.pictureHeight;
    if (rideState.towardRight) {
        strip.left = rideState.x - rideState.step;
        strip.right = rideState.x;
    } else {
        strip.left = rideState.x + rideState.pictureWidth;
        strip.right = rideState.x + rideState.pictureWidth + rideState.step;
    }
    port.FillBlack(strip);

    const ShowRect& client = showResources.clientRect;
    if (rideState.x > client.right || rideState.x + rideState.pictureWidth < client.left) {
        rideState.x = NoRide;
        if (saverSettings.sound) {
            EndRideSounds(port);
        }
        rideState.rideOver = 1;
    } else {
        rideState.trailX = rideState.x;
        rideState.x += rideState.towardRight ? rideState.step : -rideState.step;
    }

    if (newRide && saverSettings.sound) {
        StartRideSounds(port);
    }
    port.EndStep();
}

void EraseBackground(ShowPort& port) {
    if (saverSettings.blankScreen) {
        port.EraseBlack(port.ClientRect());
    }
}

void ReshapeShow(const ShowRect& client) {
    showResources.newClientRect = client;
    showResources.reshaped = true;
}

void DestroyShow(ShowPort& port) {
    static const PictureIndex kReleaseOrder[PictureCount] = {ValtorneLeft, ValtorneRight, CoravendiaLeft,
                                                             CoravendiaRight};
    for (int i = 0; i < PictureCount; ++i) {
        PictureIndex picture = kReleaseOrder[i];
        if (showResources.pictures[picture]) {
            port.ReleasePicture(picture);
            showResources.pictures[picture] = false;
        }
    }
    if (showResources.timerArmed) {
        port.KillTimer();
        showResources.timerArmed = false;
    }
    // Silence first: the player may still be reading an image that is about to be released.
    port.StopSound(StopAtShowEnd);
    for (int i = 0; i < SoundCount; ++i) {
        if (showResources.soundHeld[i]) {
            port.ReleaseSound(static_cast<SoundIndex>(i));
            showResources.soundHeld[i] = false;
            showResources.soundReady[i] = false;
        }
    }
    if (showResources.volumeSet) {
        port.RestoreVolume();
        showResources.volumeSet = false;
    }
}

void PauseShow(ShowPort& port) {
    if (showResources.paused) {
        return;
    }
    showResources.paused = true;
    showResources.resumeTimer = showResources.timerArmed;
    if (showResources.timerArmed) {
        port.KillTimer();
        showResources.timerArmed = false;
    }
    if (saverSettings.sound) {
        port.StopSound(StopAtRideEnd);
    }
}

void ResumeShow(ShowPort& port) {
    if (!showResources.paused) {
        return;
    }
    showResources.paused = false;
    // A ride goes on where it stood, with its engine running again; between rides the next
    // one comes at once rather than after what was left of the pause.
    if (saverSettings.sound && Riding()) {
        Play(port, RunningSound(), PlayLooped);
    }
    if (showResources.resumeTimer) {
        showResources.timerArmed = port.ArmTimer(kRidingInterval);
    }
}

void DisplayPowerChanged(ShowPort& port, uint32_t state) {
    if (state == DisplayOff) {
        PauseShow(port);
    } else {
        ResumeShow(port);
    }
}
