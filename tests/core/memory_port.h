// The show's port over memory: the window is an 8-bit surface, the pictures are the saver's
// own files read from the assets folder, copies and fills move real pixels with clipping as
// the platform clips. Sound and time are quiet. The same port serves the unit tests, the
// ride benchmark and the comparison with the Linux program's window.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/bitmap_file.h"
#include "core/show_port.h"

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // top row first, one byte a pixel, no padding
};

// One clipped copy or fill as the surface carried it out, so that a baseline can move exactly
// the same bytes with nothing but memcpy and memset.
struct PixelRun {
    uint8_t* target;
    const uint8_t* source;  // null for a fill
    int width;
    int rows;
    int targetPitch;
    int sourcePitch;
};

class MemoryPort final : public ShowPort {
public:
    explicit MemoryPort(std::string assetDirectory) : assets_(std::move(assetDirectory)) {}

    Surface screen;
    uint32_t clock = 1;
    uint32_t armedInterval = 0;  // the latest interval the show armed
    bool armed = false;
    std::vector<PixelRun>* trace = nullptr;  // when set, every pixel run is appended
    uint64_t pixelsWritten = 0;

    // What the show holds, to prove a run gives everything back.
    int openSteps = 0;
    int livePictures = 0;

    // A fresh black screen of the given size.
    void ResetScreen(int width, int height);
    // A loaded picture, or null.
    const BitmapFile* Picture(PictureIndex picture) const;

    bool LoadPicture(PictureIndex picture) override;
    void ReleasePicture(PictureIndex picture) override;
    PictureSize SizeOfPicture(PictureIndex picture) override;
    SoundLoad LoadSound(SoundIndex) override { return SoundReady; }
    void ReleaseSound(SoundIndex) override {}
    ShowRect ClientRect() override { return ShowRect{0, 0, screen.width, screen.height}; }
    void BeginStep(PictureIndex picture) override;
    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void FillBlack(const ShowRect& rect) override;
    void EndStep() override;
    void EraseBlack(const ShowRect& rect) override { FillBlack(rect); }
    uint32_t PlaySound(SoundIndex, SoundCue) override { return 0; }
    void StopSound(SoundStop) override {}
    void SetVolume(int32_t) override {}
    void RestoreVolume() override {}
    bool ArmTimer(uint32_t milliseconds) override;
    void KillTimer() override { armed = false; }
    uint32_t ClockSeconds() override { return clock; }

private:
    void Record(uint8_t* target, const uint8_t* source, int width, int rows, int targetPitch, int sourcePitch);

    std::string assets_;
    bool loaded_[PictureCount] = {};
    BitmapFile pictures_[PictureCount];
    const BitmapFile* source_ = nullptr;
};

// Moves the bytes of runs with memcpy and memset alone.
void ReplayPixelRuns(const std::vector<PixelRun>& runs);
