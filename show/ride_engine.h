// The ride show: motorcycles sent across the window one ride at a time.
#pragma once

#include "platform/winapi.h"

struct RideState {
    int32_t x;             // above 5000: no ride under way
    int32_t towardRight;
    int32_t isValtorne;
    int32_t step;
    HBITMAP picture;
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t y;
    int32_t trailX;
    int32_t rideOver;
};

enum PictureIndex { CoravendiaLeft, CoravendiaRight, ValtorneLeft, ValtorneRight, PictureCount };
enum SoundIndex { CoravendiaStart, CoravendiaRun, CoravendiaFade, ValtorneRun, SoundCount };

struct SoundImage {
    HGLOBAL data;
    const char* image;  // the complete WAVE file image, handed to the player as it lies
};

struct ShowResources {
    HBITMAP pictures[PictureCount];
    SoundImage sounds[SoundCount];
    uintptr_t timerId;
    DWORD savedVolume;
    RECT clientRect;
};

extern RideState rideState;
extern const RideState initialRideState;
extern ShowResources showResources;

LRESULT ShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RideStep(HWND window);

// The show's one source of chance: a linear congruential generator, 0 to 32767.
void SeedRandom(uint32_t seed);
int32_t NextRandom(void);
extern uint32_t randomState;

// The wave-out volume for a setting from 0 to 255, the same on both channels.
DWORD WaveVolumeFor(int32_t volume);
// The pause after a ride, in milliseconds, for a random draw and the rate setting.
UINT PauseAfterRide(int32_t draw, int32_t rate);
