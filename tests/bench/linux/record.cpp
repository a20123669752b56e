// The Linux benchmark's script: the show's core on a port that only writes down what it is
// asked to draw and how long each tick says to wait, so the bare Xlib baseline can make
// exactly the same copies and fills on the same schedule without any of the show's code.
//   rolvanta_bench_record ASSET_DIR WIDTH HEIGHT SEED SPEED RIDES
// Prints one line per tick, "tick DELAY_MS RIDING", then its operations:
// "copy PICTURE X Y W H" and "fill LEFT TOP RIGHT BOTTOM". DELAY_MS has the 10 ms timer floor
// the Linux frame loop applies.
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/show_assets.h"
#include "core/bitmap_file.h"
#include "core/ride_engine.h"
#include "core/settings.h"

namespace {

class RecordingPort final : public ShowPort {
public:
    RecordingPort(std::string assets, int width, int height, uint32_t seed)
        : assets_(std::move(assets)), width_(width), height_(height), seed_(seed) {}

    bool LoadPicture(PictureIndex picture) override {
        std::ifstream file(assets_ + "/" + kPictureFiles[picture], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        BitmapFile bitmap;
        if (!ReadBitmapFile(bytes.data(), bytes.size(), &bitmap)) {
            return false;
        }
        sizes_[picture] = PictureSize{bitmap.width, bitmap.height};
        return true;
    }
    void ReleasePicture(PictureIndex) override {}
    PictureSize SizeOfPicture(PictureIndex picture) override { return sizes_[picture]; }
    SoundLoad LoadSound(SoundIndex) override { return SoundMissing; }
    void ReleaseSound(SoundIndex) override {}
    ShowRect ClientRect() override { return ShowRect{0, 0, width_, height_}; }
    void BeginStep(PictureIndex picture) override { picture_ = picture; }
    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override {
        printf("copy %d %d %d %d %d\n", static_cast<int>(picture_), x, y, width, height);
    }
    void FillBlack(const ShowRect& r) override { printf("fill %d %d %d %d\n", r.left, r.top, r.right, r.bottom); }
    void EndStep() override {}
    void EraseBlack(const ShowRect& r) override { FillBlack(r); }
    uint32_t PlaySound(SoundIndex, SoundCue) override { return 0; }
    void StopSound(SoundStop) override {}
    void SetVolume(int32_t) override {}
    void RestoreVolume() override {}
    bool ArmTimer(uint32_t milliseconds) override {
        interval = milliseconds;
        return true;
    }
    void KillTimer() override {}
    uint32_t ClockSeconds() override { return seed_; }

    uint32_t interval = 0;

private:
    std::string assets_;
    int width_;
    int height_;
    uint32_t seed_;
    PictureSize sizes_[PictureCount] = {};
    PictureIndex picture_ = CoravendiaLeft;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: rolvanta_bench_record ASSET_DIR WIDTH HEIGHT SEED SPEED RIDES\n");
        return 2;
    }
    RecordingPort port(argv[1], atoi(argv[2]), atoi(argv[3]), static_cast<uint32_t>(strtoul(argv[4], nullptr, 10)));
    Show show = NewShow();
    int rides = atoi(argv[6]);
    CreateShow(show, port,
               SaverSettings{0, 1, 1, 1, atoi(argv[5]), kSettings[RateSetting].fallback,
                             kSettings[VolumeSetting].fallback});
    for (int done = 0; done < rides;) {
        // Each tick's operations come first, then its line.
        uint32_t total = ShowTick(show, port);
        uint32_t wait = total > port.interval ? total - port.interval : 0;
        uint32_t delay = (port.interval > TimerFloorMs ? port.interval : TimerFloorMs) + wait;
        printf("tick %u %d\n", delay, show.rideState.rideOver ? 0 : 1);
        done += show.rideState.rideOver ? 1 : 0;
    }
    DestroyShow(show, port);
    return 0;
}
