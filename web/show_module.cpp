// The show as a WebAssembly module: the portable core beneath a port whose every operation is
// one call into the page's script (web/rolvanta.js). Everything the page imports and exports
// carries the rv_ prefix; the page keeps no show state of its own.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "core/embedded_assets.h"
#include "core/bitmap_file.h"
#include "core/ride_engine.h"
#include "core/screen_scale.h"
#include "core/settings.h"
#include "core/show_assets.h"

#define RV_IMPORT(name) extern "C" __attribute__((import_module("env"), import_name(#name)))
#define RV_EXPORT(name) extern "C" __attribute__((export_name(#name)))

// What the page does for the port. Pictures arrive as RGBA rows, sounds as their WAVE bytes;
// both are read while the call lasts and copied by the page.
RV_IMPORT(rv_picture) void rv_picture(int32_t picture, const uint8_t* rgba, int32_t width, int32_t height);
RV_IMPORT(rv_release_picture) void rv_release_picture(int32_t picture);
RV_IMPORT(rv_sound) int32_t rv_sound(int32_t sound, const uint8_t* bytes, int32_t size);
RV_IMPORT(rv_release_sound) void rv_release_sound(int32_t sound);
RV_IMPORT(rv_copy) void rv_copy(int32_t picture, int32_t x, int32_t y, int32_t width, int32_t height);
RV_IMPORT(rv_fill) void rv_fill(int32_t left, int32_t top, int32_t right, int32_t bottom);
RV_IMPORT(rv_play) uint32_t rv_play(int32_t sound, uint32_t cue);
RV_IMPORT(rv_stop_sound) void rv_stop_sound(void);
RV_IMPORT(rv_volume) void rv_volume(int32_t volume);
RV_IMPORT(rv_clock_seconds) uint32_t rv_clock_seconds(void);
RV_IMPORT(rv_scale) void rv_scale(int32_t scale);

namespace {


class PagePort final : public ShowPort {
public:
    int32_t deviceWidth = 0;  // the canvas's box, in device pixels
    int32_t deviceHeight = 0;
    int32_t scale = 1;  // device pixels a side for each show pixel, since the last ride began

    bool LoadPicture(PictureIndex picture) override {
        const EmbeddedAsset* asset = FindEmbeddedAsset(kPictureFiles[picture]);
        BitmapFile bitmap;
        if (asset == nullptr || !ReadBitmapFile(asset->bytes, asset->size, &bitmap)) {
            return false;
        }
        std::vector<uint8_t> rgba(bitmap.pixels.size() * 4);
        for (size_t i = 0; i < bitmap.pixels.size(); ++i) {
            uint32_t colour = bitmap.colours[bitmap.pixels[i]];
            rgba[i * 4] = static_cast<uint8_t>(colour >> 16);
            rgba[i * 4 + 1] = static_cast<uint8_t>(colour >> 8);
            rgba[i * 4 + 2] = static_cast<uint8_t>(colour);
            rgba[i * 4 + 3] = 255;
        }
        rv_picture(picture, rgba.data(), bitmap.width, bitmap.height);
        sizes_[picture] = PictureSize{bitmap.width, bitmap.height};
        return true;
    }
    void ReleasePicture(PictureIndex picture) override {
        rv_release_picture(picture);
        sizes_[picture] = PictureSize{0, 0};
    }
    PictureSize SizeOfPicture(PictureIndex picture) override { return sizes_[picture]; }
    SoundLoad LoadSound(SoundIndex sound) override {
        const EmbeddedAsset* asset = FindEmbeddedAsset(kSoundFiles[sound]);
        if (asset == nullptr && IsPackedAsset(kSoundFiles[sound])) {
            // On its way (or never asked for, with the sound off): the show cues it all the
            // same, and the page hears nothing of it until it has come.
            awaited_[sound] = true;
            return SoundReady;
        }
        if (asset == nullptr || !rv_sound(sound, asset->bytes, static_cast<int32_t>(asset->size))) {
            return SoundMissing;
        }
        return SoundReady;
    }
    void ReleaseSound(SoundIndex sound) override {
        awaited_[sound] = false;
        rv_release_sound(sound);
    }
    // The sounds' pack has been attached: the page gets those the show holds.
    void SoundsArrived() {
        for (int i = 0; i < SoundCount; ++i) {
            const EmbeddedAsset* asset = FindEmbeddedAsset(kSoundFiles[i]);
            if (awaited_[i] && asset != nullptr) {
                awaited_[i] = false;
                rv_sound(i, asset->bytes, static_cast<int32_t>(asset->size));
            }
        }
    }
    ShowRect ClientRect() override {
        return ShowRect{0, 0, LogicalLength(deviceWidth, scale), LogicalLength(deviceHeight, scale)};
    }
    // The page lays the canvas out again at that scale.
    void TakeScale(int32_t blocks) override {
        scale = blocks;
        rv_scale(blocks);
    }
    void BeginStep(PictureIndex picture) override { source_ = picture; }
    void CopyPicture(int32_t x, int32_t y, int32_t copyWidth, int32_t copyHeight) override {
        // Never past the picture's own edge, as a pixmap on X11 is never read past its edge.
        PictureSize size = sizes_[source_];
        ShowRect client = ClientRect();
        copyWidth = copyWidth < size.width ? copyWidth : size.width;
        copyHeight = copyHeight < size.height ? copyHeight : size.height;
        if (copyWidth > 0 && copyHeight > 0 && x < client.right && y < client.bottom && x + copyWidth > 0 && y + copyHeight > 0) {
            rv_copy(source_, x, y, copyWidth, copyHeight);
        }
    }
    void FillBlack(const ShowRect& rect) override {
        if (rect.right > rect.left && rect.bottom > rect.top) {
            rv_fill(rect.left, rect.top, rect.right, rect.bottom);
        }
    }
    void EndStep() override {}
    void EraseBlack(const ShowRect& rect) override { FillBlack(rect); }
    uint32_t PlaySound(SoundIndex sound, SoundCue cue) override { return rv_play(sound, cue); }
    void StopSound(SoundStop) override { rv_stop_sound(); }
    void SetVolume(int32_t volume) override { rv_volume(volume); }
    void RestoreVolume() override {}
    // The core keeps its own time here (RunShow); the page only waits for it.
    bool ArmTimer(uint32_t) override { return true; }
    void KillTimer() override {}
    uint32_t ClockSeconds() override { return rv_clock_seconds(); }

private:
    PictureSize sizes_[PictureCount] = {};
    bool awaited_[SoundCount] = {};
    PictureIndex source_ = CoravendiaLeft;
};

PagePort port;

Show show = NewShow();
SaverSettings settings = DefaultSettings();
bool running = false;

}  // namespace

// The settings in the core table's order, with its keys, labels, ranges, defaults and repair. An
// index outside the table answers nothing: 0, or an empty text.
RV_EXPORT(rv_setting_count) int32_t rv_setting_count(void) {
    return SettingCount;
}

namespace {

const SettingRule* Row(int32_t i) {
    return i >= 0 && i < SettingCount ? &kSettings[i] : nullptr;
}

}  // namespace

RV_EXPORT(rv_setting_key) const char* rv_setting_key(int32_t i) {
    return Row(i) ? Row(i)->key : "";
}

RV_EXPORT(rv_setting_label) const char* rv_setting_label(int32_t i) {
    return Row(i) ? Row(i)->label : "";
}

RV_EXPORT(rv_setting_ranged) int32_t rv_setting_ranged(int32_t i) {
    return Row(i) ? Row(i)->ranged : 0;
}

RV_EXPORT(rv_setting_min) int32_t rv_setting_min(int32_t i) {
    return Row(i) ? Row(i)->minimum : 0;
}

RV_EXPORT(rv_setting_max) int32_t rv_setting_max(int32_t i) {
    return Row(i) ? Row(i)->maximum : 0;
}

RV_EXPORT(rv_setting_default) int32_t rv_setting_default(int32_t i) {
    return Row(i) ? Row(i)->fallback : 0;
}

// A link's or a stored flag is 0 or 1; anything else, like a range's value out of range, is
// the default.
RV_EXPORT(rv_setting_repair) int32_t rv_setting_repair(int32_t i, int32_t value) {
    return !Row(i) ? 0 : IsOffered(value, *Row(i)) ? value : Row(i)->fallback;
}

RV_EXPORT(rv_setting_set) void rv_setting_set(int32_t i, int32_t value) {
    if (Row(i)) {
        settings.*Row(i)->field = rv_setting_repair(i, value);
    }
}

// The volume heard from now on, without a new show.
RV_EXPORT(rv_set_volume) void rv_set_volume(int32_t volume) {
    settings.volume = Repaired(volume, kSettings[VolumeSetting]);
    if (running) {
        SetShowVolume(show, port, settings.volume);
    }
}

// The sounds and the pictures come apart from the module, each in one pack of the size it was
// built with: the page fetches a pack (unpacked) into this room and attaches it, the pictures
// before the show starts. A pack refused is freed; without its sounds the show rides on in
// silence.
enum Pack { SoundsPack = 0, PicturesPack = 1 };

RV_EXPORT(rv_pack_room) uint8_t* rv_pack_room(int32_t size) {
    return size > 0 ? static_cast<uint8_t*>(malloc(static_cast<size_t>(size))) : nullptr;
}

RV_EXPORT(rv_attach_pack) int32_t rv_attach_pack(int32_t pack, uint8_t* bytes, int32_t size) {
    if (!AttachAssetPack(pack, bytes, static_cast<size_t>(size))) {
        free(bytes);
        return 0;
    }
    if (pack == SoundsPack) {
        port.SoundsArrived();
    }
    return 1;
}

// Creates the show on a canvas of that size in device pixels, laid out at that scale, with the
// settings set last. A seed replaces the clock's; steps > 0 holds the show after that many
// ticks, for comparing a frame.
RV_EXPORT(rv_start) void rv_start(int32_t width, int32_t height, int32_t scale, int32_t seeded, uint32_t seed,
                                  uint32_t steps) {
    port.deviceWidth = width;
    port.deviceHeight = height;
    port.scale = scale;
    show = NewShow();
    CreateShow(show, port, settings);
    RescaleShow(show, scale);
    if (seeded) {
        SeedRandom(show, seed);
    }
    HoldShowAfter(show, steps);
    EraseBackground(show, port);
    running = true;
}

// Runs what has come due; returns the milliseconds until the next tick, or -1 when only an
// event can bring one.
RV_EXPORT(rv_frame) int32_t rv_frame(double nowMs) {
    return running ? RunShow(show, port, static_cast<uint64_t>(nowMs)) : WaitForEvent;
}

RV_EXPORT(rv_ticks) uint32_t rv_ticks(void) {
    return static_cast<uint32_t>(ShowTicks(show));
}

// How many device pixels a side each show pixel takes at a device-pixel ratio of
// numerator/denominator, and how many show pixels cover a length of device pixels: the rule
// every platform draws by.
RV_EXPORT(rv_pixel_scale) int32_t rv_pixel_scale(int32_t numerator, int32_t denominator) {
    return PixelScaleFor(numerator, denominator);
}

RV_EXPORT(rv_logical_length) int32_t rv_logical_length(int32_t physical, int32_t scale) {
    return LogicalLength(physical, scale);
}

// The canvas has a new size in device pixels, laid out at the scale it had, and has been
// cleared: the ride under way leaves by its new edges, and the next one starts in it, at the
// scale the screen now asks for.
RV_EXPORT(rv_resize) void rv_resize(int32_t width, int32_t height, int32_t scale) {
    port.deviceWidth = width;
    port.deviceHeight = height;
    RescaleShow(show, scale);
    ReshapeShow(show, port.ClientRect());
    EraseBackground(show, port);
}

// A hidden page neither rides nor sounds; shown again, it goes on where it stood.
RV_EXPORT(rv_visible) void rv_visible(int32_t visible) {
    DisplayChanged(show, port, visible ? DisplayOn : DisplayOff);
}

RV_EXPORT(rv_stop) void rv_stop(void) {
    if (running) {
        running = false;
        DestroyShow(show, port);
    }
}
