// The ride show: motorcycles sent across the window one ride at a time. Portable: it draws,
// plays and keeps time only through a ShowPort, so the same show runs on any platform.
#pragma once

#include <stdint.h>

#include "show/show_port.h"

// What x holds while no ride is under way: beyond any position a window can have, so that rides
// and their ends do not depend on how wide the screen is.
const int32_t NoRide = 0x7FFFFFFF;

struct RideState {
    int32_t x;  // NoRide: no ride under way
    int32_t towardRight;
    int32_t isValtorne;
    int32_t step;
    PictureIndex picture;
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t y;
    int32_t trailX;
    int32_t rideOver;
};

// What the show's creation acquired and its end gives back. The platform's own handles stay
// in the port; here is only what the show decides with.
struct ShowResources {
    bool pictures[PictureCount];  // loaded, not yet released
    bool soundHeld[SoundCount];   // loaded, not yet released
    bool soundReady[SoundCount];  // can be played
    bool volumeSet;               // the remembered volume is still to be put back
    bool timerArmed;
    bool paused;       // the display sleeps: no ticks, no sound
    bool resumeTimer;  // the timer was armed when the show paused
    ShowRect clientRect;
    bool reshaped;  // newClientRect waits for the next ride
    ShowRect newClientRect;
};

extern RideState rideState;
extern const RideState initialRideState;
extern ShowResources showResources;

// The show's life, in the order a window lives it. The settings are loaded before creation.
void CreateShow(ShowPort& port);
// One tick: the timer killed, a ride step, the timer armed again. Returns the interval armed,
// plus any wait a cue still asks for: the time until the next tick.
uint32_t ShowTick(ShowPort& port);
void RideStep(ShowPort& port);
void EraseBackground(ShowPort& port);
// The window has a new client area: rides take it from the next ride on, never mid-ride.
void ReshapeShow(const ShowRect& client);
// Silences the player and releases everything creation acquired; what is already released is
// skipped, so a second call releases nothing twice.
void DestroyShow(ShowPort& port);

// While the display sleeps the show neither rides nor sounds; on waking it goes on where it
// stood. Each is a no-op when the show is already in that state.
void PauseShow(ShowPort& port);
void ResumeShow(ShowPort& port);
// The display's state as the platform reports it: off pauses the show; on, or dimmed but
// still showing, lets it go on.
enum DisplayPower : uint32_t { DisplayOff = 0, DisplayOn = 1, DisplayDimmed = 2 };
void DisplayPowerChanged(ShowPort& port, uint32_t state);

// The show's one source of chance: a linear congruential generator, 0 to 32767.
void SeedRandom(uint32_t seed);
int32_t NextRandom(void);
extern uint32_t randomState;

// The wave-out volume for a setting from 0 to 255, the same on both channels.
uint32_t WaveVolumeFor(int32_t volume);
// The pause after a ride, in milliseconds, for a random draw and the rate setting.
uint32_t PauseAfterRide(int32_t draw, int32_t rate);
