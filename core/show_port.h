// What the ride show needs from the platform beneath it, in the show's own words. The show
// decides everything; a port only carries out these operations on a real window, a memory
// surface or whatever else draws, plays and keeps time. Nothing here names a platform type.
#pragma once

#include <stdint.h>

// The pictures and sounds by index, one for each row of the asset table, in its order.
#define ROLVANTA_PICTURE(index, file, resource) index,
#define ROLVANTA_SOUND(index, file, resource)
enum PictureIndex {
#include "core/show_assets_table.inc"
    PictureCount
};
#undef ROLVANTA_PICTURE
#undef ROLVANTA_SOUND
#define ROLVANTA_PICTURE(index, file, resource)
#define ROLVANTA_SOUND(index, file, resource) index,
enum SoundIndex {
#include "core/show_assets_table.inc"
    SoundCount,
    NoSound = SoundCount  // where a motorcycle has no such sound
};
#undef ROLVANTA_PICTURE
#undef ROLVANTA_SOUND

// How a sound is to play.
enum SoundCue : uint32_t {
    PlayAndWait,  // once; what the show does next waits for the sound's end
    PlayOnce,     // once, while the show goes on
    PlayLooped,   // over and over, until stopped or replaced
};
// Stopping whatever plays: at a ride's end, and when the show ends.
enum SoundStop : uint32_t { StopAtRideEnd, StopAtShowEnd };

// Columns from left up to but not including right, rows likewise.
struct ShowRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct PictureSize {
    int32_t width;
    int32_t height;
};

// How far loading a sound got: a held sound must be released, a ready one can be played.
enum SoundLoad { SoundMissing, SoundHeld, SoundReady };

class ShowPort {
public:
    // Pictures and sounds, by index. A picture that failed to load stays usable as an
    // argument: its size is whatever the platform reports for nothing, and copies of it
    // copy nothing.
    virtual bool LoadPicture(PictureIndex picture) = 0;
    virtual void ReleasePicture(PictureIndex picture) = 0;
    virtual PictureSize SizeOfPicture(PictureIndex picture) = 0;
    virtual SoundLoad LoadSound(SoundIndex sound) = 0;
    virtual void ReleaseSound(SoundIndex sound) = 0;

    // The client area: left and top 0, right the width, bottom the height.
    virtual ShowRect ClientRect() = 0;

    // One step of drawing: everything between BeginStep and EndStep draws on the window,
    // with the given picture as the source of the copies.
    virtual void BeginStep(PictureIndex picture) = 0;
    virtual void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void FillBlack(const ShowRect& rect) = 0;
    virtual void EndStep() = 0;
    // The background fill, outside any step, on whatever the platform erases with.
    virtual void EraseBlack(const ShowRect& rect) = 0;

    // A sound that starts replaces whatever plays. Returns the milliseconds the show must still
    // wait for a cue that waits: 0 where the player already waited for the sound's end.
    virtual uint32_t PlaySound(SoundIndex sound, SoundCue cue) = 0;
    virtual void StopSound(SoundStop stop) = 0;

    // The show's volume, 0 (silent) to 255 (full). A platform whose volume is the system's
    // remembers the one in force first; RestoreVolume puts the remembered one back.
    virtual void SetVolume(int32_t volume) = 0;
    virtual void RestoreVolume() = 0;

    // The show's one timer: armed for an interval, or killed. Arming says whether it took. A
    // platform without timers answers true and lets RunShow keep the time.
    virtual bool ArmTimer(uint32_t milliseconds) = 0;
    virtual void KillTimer() = 0;

    // Calendar time in whole seconds since 1970-01-01 00:00:00 UTC, as 32 bits.
    virtual uint32_t ClockSeconds() = 0;

    // From now on each picture pixel is drawn as a block of scale by scale pixels, and the
    // client area is counted in those blocks. A port that draws at one scale has nothing to do.
    virtual void TakeScale(int32_t) {}

protected:
    ~ShowPort() = default;
};
