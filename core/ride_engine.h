// The ride show: motorcycles sent across the window one ride at a time. Portable: it draws,
// plays and keeps time only through a ShowPort, so the same show runs on any platform. Each
// show is one record, Show, that every call receives; a platform only calls the functions
// below and never reads or writes the record's fields, so what the show decides stays here.
#pragma once

#include <stdint.h>

#include "core/settings.h"
#include "core/show_port.h"

// What x holds while no ride is under way: beyond any position a window can have, so that rides
// and their ends do not depend on how wide the screen is.
const int32_t NoRide = 0x7FFFFFFF;

struct RideState {
    int32_t x;  // NoRide: no ride under way
    int32_t towardRight;
    int32_t model;  // its row in kMotorcycles (core/motorcycles.h)
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
    uint32_t timerInterval;  // what the timer was last armed for
    bool paused;             // the display sleeps: no ticks, no sound
    bool resumeTimer;        // the timer was armed when the show paused
    ShowRect clientRect;  // where rides start, and the edges they leave by
    int32_t scale;        // the side of the block a picture pixel is drawn as, since the last ride began
    int32_t nextScale;    // the window's, taken as the next ride begins
    bool reshaped;        // clientRect changed under the ride now under way
    bool ended;           // DestroyShow came: nothing rides, sounds or ticks any more
};

// A cue that holds the thread (PlayAndWait on a player that waits for the sound's end) may let
// the platform deliver events while the sound plays, and their handlers then run inside the
// play. A player asked to stop or play from inside its own play would wait for itself, so
// meanwhile the show asks nothing of it: a pause takes effect when the play returns, and the
// show's end leaves the player, the sounds and the step's picture to the end of that step.
struct HeldCue {
    bool playing;
    bool endAsked;
};

// A cue that must wait for a sound the player did not wait for itself: it plays when that sound
// ends, as it would after a player that holds the thread.
struct FollowingCue {
    bool pending;
    SoundIndex sound;
    SoundCue cue;
    uint32_t afterMs;  // from the tick that played the waited-for sound
};

// The show's own time, for platforms whose loop only waits and delivers events (see RunShow).
// A platform whose timer delivers the ticks (ArmTimer) has no use for it.
struct ShowSchedule {
    bool scheduled;  // dueMs holds the next tick
    uint64_t dueMs;
    uint64_t cueDueMs;     // when the following cue plays
    uint64_t ticks;        // ticks run so far
    uint64_t tickLimit;    // the show holds still after this many ticks; 0: never
    bool held;
    bool heldSaid;         // HeldNotice has given its words
    uint32_t floorMs;      // the shortest time between two ticks; NewShow sets TimerFloorMs
    char notice[40];       // HeldNotice's words
};

struct Show {
    RideState rideState;
    ShowResources showResources;
    SaverSettings settings;  // taken at creation
    uint32_t randomState;
    uint32_t cueWait;  // what the cues of this tick still ask the next tick to wait for
    FollowingCue following;
    ShowSchedule schedule;
    HeldCue held;
};

// A show before its creation: no ride under way, nothing acquired, the generator at 1.
Show NewShow(void);

// The show's life, in the order a window lives it.
void CreateShow(Show& show, ShowPort& port, const SaverSettings& settings);
// One tick: the timer killed, a ride step, the timer armed again. Returns the interval armed,
// plus any wait a cue still asks for: the time until the next tick.
uint32_t ShowTick(Show& show, ShowPort& port);
void RideStep(Show& show, ShowPort& port);
void EraseBackground(Show& show, ShowPort& port);
// The window has a new client area. The next ride starts in it; a ride under way leaves by its
// edges, so it neither ends at an old edge that is now inside the window, leaving its picture
// there, nor rides on out of sight toward an edge that is gone. A ride that the new area no
// longer shows at all ends at its next step. The same area again changes nothing.
void ReshapeShow(Show& show, const ShowRect& client);
// The window shows each picture pixel as a block of scale by scale screen pixels from now on.
// A ride under way keeps its blocks to its end, so it is drawn at one scale from edge to edge;
// the next ride's first tick hands the new scale to the port (ShowPort::TakeScale) and takes
// the client area the port then reports. The same scale again changes nothing.
void RescaleShow(Show& show, int32_t scale);
// Silences the player and releases everything creation acquired; what is already released is
// skipped, so a second call releases nothing twice.
void DestroyShow(Show& show, ShowPort& port);

// While the display sleeps, or the show cannot be seen, the show neither rides nor sounds; when
// it shows again it goes on where it stood. Each is a no-op when the show is already in that
// state.
void PauseShow(Show& show, ShowPort& port);
void ResumeShow(Show& show, ShowPort& port);
enum DisplayState : uint32_t { DisplayOff, DisplayOn };
void DisplayChanged(Show& show, ShowPort& port, DisplayState state);

// The volume heard from now on, without a new show; a value out of range is the default.
void SetShowVolume(Show& show, ShowPort& port, int32_t volume);

// The show's one source of chance: a linear congruential generator, 0 to 32767.
void SeedRandom(Show& show, uint32_t seed);
int32_t NextRandom(Show& show);

// The pause after a ride, in milliseconds, for a random draw and the rate setting.
uint32_t PauseAfterRide(int32_t draw, int32_t rate);

// The show's own time. A platform loop calls RunShow whenever it wakes, with a steady clock in
// milliseconds, and then waits as long as it answers, or until an event, when it answers
// WaitForEvent. RunShow runs every tick that has come due since the last call, with the floor a
// timer of 1 ms has on Windows, plays a cue that waited for a sound when that sound ends, counts
// a pause or a sound's wait from when its tick really ran, and drops the backlog of a stall
// instead of racing through it.
const int32_t WaitForEvent = -1;
// The Windows timer's floor; a platform may set another in show.schedule.floorMs.
const uint32_t TimerFloorMs = 10;
// Behind the schedule by more than this, the show takes up from now: a stall, not a late frame.
const uint32_t StallMs = 100;
int32_t RunShow(Show& show, ShowPort& port, uint64_t nowMs);
// RunShow's ticks so far; after `ticks` of them (0: never) the show holds still, a frame to
// compare; `floorMs` replaces TimerFloorMs.
uint64_t ShowTicks(const Show& show);
void HoldShowAfter(Show& show, uint64_t ticks);
void FloorShowTicks(Show& show, uint32_t floorMs);
// What a held show announces, once, for a platform to say where its messages go as soon as
// the held step is on screen: "held after N steps". Null before the hold and after the words
// were given.
const char* HeldNotice(Show& show);
