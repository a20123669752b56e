#include "show/ride_engine.h"

#include "host/host.h"
#include "show/settings.h"

RideState rideState = {10000, 0, 0, 0, nullptr, 0, 0, 0, 0, 0};
const RideState initialRideState = {10000, 0, 0, 0, nullptr, 0, 0, 0, 0, 0};
ShowResources showResources = {};
uint32_t randomState = 1;

namespace {

const uintptr_t kTimerId = 1;
const int32_t kNoRide = 10000;
const int32_t kRideLimit = 5000;
const int32_t kCoinSplit = 16383;

const UINT kPlayAndWait = SND_NODEFAULT | SND_MEMORY;
const UINT kPlayOnce = SND_ASYNC | SND_NODEFAULT | SND_MEMORY;
const UINT kLoop = SND_ASYNC | SND_NODEFAULT | SND_MEMORY | SND_LOOP;
const UINT kStopAtRideEnd = 7;

const char* const kPictureNames[PictureCount] = {"CORMAPL", "CORMAPR", "VALTMAPL", "VALTMAPR"};
const char* const kSoundNames[SoundCount] = {"COR_START_SOUND", "COR_RUN_SOUND", "COR_FADE_SOUND",
                                             "VALT_RUN_SOUND"};

const HWAVEOUT kWaveMapper = reinterpret_cast<HWAVEOUT>(static_cast<uintptr_t>(WAVE_MAPPER));

void PlaySoundImage(SoundIndex sound, UINT flags) {
    const char* image = showResources.sounds[sound].image;
    if (image != nullptr) {
        sndPlaySoundA(image, flags);
    }
}

void LoadSounds(void) {
    for (int i = 0; i < SoundCount; ++i) {
        HRSRC found = FindResourceA(hostState.instance, kSoundNames[i], "WAVE");
        if (found == nullptr) {
            continue;
        }
        showResources.sounds[i].data = LoadResource(hostState.instance, found);
        if (showResources.sounds[i].data == nullptr) {
            continue;
        }
        showResources.sounds[i].image = static_cast<const char*>(LockResource(showResources.sounds[i].data));
    }
}

void CreateShow(HWND window) {
    LoadSettingsFromStrings();
    for (int i = 0; i < PictureCount; ++i) {
        showResources.pictures[i] = LoadBitmapA(hostState.instance, kPictureNames[i]);
    }
    LoadSounds();
    waveOutGetVolume(kWaveMapper, &showResources.savedVolume);
    waveOutSetVolume(kWaveMapper, WaveVolumeFor(saverSettings.volume));
    GetClientRect(window, &showResources.clientRect);
    showResources.timerId = SetTimer(window, kTimerId, 1, nullptr);
    SeedRandom(ClockSeconds());
}

void Tick(HWND window) {
    KillTimer(window, kTimerId);
    RideStep(window);
    UINT interval = rideState.rideOver ? PauseAfterRide(NextRandom(), saverSettings.rate) : 1;
    showResources.timerId = SetTimer(window, kTimerId, interval, nullptr);
}

void EraseBackground(HWND window, HDC dc) {
    if (saverSettings.blankScreen) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
}

void DestroyShow(HWND window) {
    static const PictureIndex kDeleteOrder[PictureCount] = {ValtorneLeft, ValtorneRight, CoravendiaLeft,
                                                            CoravendiaRight};
    for (int i = 0; i < PictureCount; ++i) {
        HBITMAP picture = showResources.pictures[kDeleteOrder[i]];
        if (picture != nullptr) {
            DeleteObject(picture);
        }
    }
    if (showResources.timerId != 0) {
        KillTimer(window, kTimerId);
    }
    // Silence first: the player may still be reading an image that is about to be freed.
    sndPlaySoundA(nullptr, 0);
    for (int i = 0; i < SoundCount; ++i) {
        if (showResources.sounds[i].data != nullptr) {
            FreeResource(showResources.sounds[i].data);
        }
    }
    waveOutSetVolume(kWaveMapper, showResources.savedVolume);
}

void StartRide(void) {
    rideState.towardRight = NextRandom() > kCoinSplit ? 1 : 0;
    bool bothOrNeither = (saverSettings.rideCoravendia != 0) == (saverSettings.rideValtorne != 0);
    if (bothOrNeither) {
        rideState.isValtorne = NextRandom() > kCoinSplit ? 1 : 0;
    } else {
        rideState.isValtorne = saverSettings.rideCoravendia == 0 ? 1 : 0;
    }
    rideState.step = rideState.isValtorne ? (saverSettings.speed * 5) / 4 : saverSettings.speed;
    int index = (rideState.isValtorne ? ValtorneLeft : CoravendiaLeft) + (rideState.towardRight ? 1 : 0);
    rideState.picture = showResources.pictures[index];
    BITMAP size = {};
    GetObjectA(rideState.picture, sizeof(size), &size);
    rideState.pictureWidth = size.bmWidth;
    rideState.pictureHeight = size.bmHeight;
}

void StartRideSounds(void) {
    if (rideState.isValtorne) {
        PlaySoundImage(ValtorneRun, kLoop);
    } else {
        PlaySoundImage(CoravendiaStart, kPlayAndWait);
        PlaySoundImage(CoravendiaRun, kLoop);
    }
}

void EndRideSounds(void) {
    if (rideState.isValtorne) {
        sndPlaySoundA(nullptr, kStopAtRideEnd);
    } else {
        PlaySoundImage(CoravendiaFade, kPlayOnce);
    }
}

void CopyPicture(HDC target, HDC source, int32_t x) {
    BitBlt(target, x, rideState.y, rideState.pictureWidth, rideState.pictureHeight, source, 0, 0, SRCCOPY);
}

}  // namespace

void SeedRandom(uint32_t seed) {
    randomState = seed;
}

int32_t NextRandom(void) {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFF);
}

DWORD WaveVolumeFor(int32_t volume) {
    DWORD channel = static_cast<DWORD>(volume) * 256u + 255u;
    return (channel & 0xFFFFu) | ((channel & 0xFFFFu) << 16);
}

UINT PauseAfterRide(int32_t draw, int32_t rate) {
    return static_cast<UINT>(draw / rate + 1000);
}

void RideStep(HWND window) {
    bool newRide = rideState.x > kRideLimit;
    if (newRide) {
        StartRide();
    }
    rideState.rideOver = 0;
    HDC windowDc = GetDC(window);
    HDC pictureDc = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(pictureDc, rideState.picture);

    const RECT& client = showResources.clientRect;
    if (newRide) {
        rideState.x = rideState.towardRight ? 0 : client.right - rideState.pictureWidth;
        rideState.trailX = rideState.x;
        // A window of no height, or taller than the random range, would divide by zero.
        int32_t divisor = client.bottom > 0 ? 32767 / client.bottom : 0;
        if (divisor < 1) {
            divisor = 1;
        }
        rideState.y = NextRandom() / divisor - rideState.pictureHeight / 2;
    } else if (rideState.step > 1) {
        // Draw the picture at every pixel between the last position and this one, so a
        // fast ride leaves no gaps in the trail on slow displays.
        int32_t direction = rideState.towardRight ? 1 : -1;
        for (int32_t i = 0; i < rideState.step; ++i) {
            CopyPicture(windowDc, pictureDc, rideState.trailX);
            rideState.trailX += direction;
        }
    }
    CopyPicture(windowDc, pictureDc, rideState.x);

    RECT strip;
    strip.top = rideState.y;
    strip.bottom = rideState.y + rideState.pictureHeight;
    if (rideState.towardRight) {
        strip.left = rideState.x - rideState.step;
        strip.right = rideState.x;
    } else {
        strip.left = rideState.x + rideState.pictureWidth;
        strip.right = rideState.x + rideState.pictureWidth + rideState.step;
    }
    FillRect(windowDc, &strip, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    if (rideState.x > client.right || rideState.x + rideState.pictureWidth < client.left) {
        rideState.x = kNoRide;
        if (saverSettings.sound) {
            EndRideSounds();
        }
        rideState.rideOver = 1;
    } else {
        rideState.trailX = rideState.x;
        rideState.x += rideState.towardRight ? rideState.step : -rideState.step;
    }

    if (newRide && saverSettings.sound) {
        StartRideSounds();
    }

    SelectObject(pictureDc, previous);
    DeleteDC(pictureDc);
    ReleaseDC(window, windowDc);
}

LRESULT ShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateShow(window);
        break;
    case WM_DESTROY:
        DestroyShow(window);
        break;
    case WM_ERASEBKGND:
        EraseBackground(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_TIMER:
        Tick(window);
        break;
    default:
        break;
    }
    return HostDefaultProc(window, message, wParam, lParam);
}
