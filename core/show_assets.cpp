#include "core/show_assets.h"

#include <stddef.h>

// Each list below is one reading of the table: PICTURE and SOUND say which column it keeps.
#define ROLVANTA_PICTURE(index, file, resource) PICTURE(index, file, #resource)
#define ROLVANTA_SOUND(index, file, resource) SOUND(index, file, #resource)
#define NOTHING(index, file, resource)

#define PICTURE(index, file, resource) file,
#define SOUND NOTHING
const char* const kPictureFiles[PictureCount] = {
#include "core/show_assets_table.inc"
};
#undef PICTURE
#define PICTURE(index, file, resource) resource,
const char* const kPictureResources[PictureCount] = {
#include "core/show_assets_table.inc"
};
#undef PICTURE
#undef SOUND

#define PICTURE NOTHING
#define SOUND(index, file, resource) file,
const char* const kSoundFiles[SoundCount] = {
#include "core/show_assets_table.inc"
};
#undef SOUND
#define SOUND(index, file, resource) resource,
const char* const kSoundResources[SoundCount] = {
#include "core/show_assets_table.inc"
};
#undef PICTURE
#undef SOUND

namespace {

#define PICTURE(index, file, resource) index,
#define SOUND NOTHING
constexpr PictureIndex kPictureRows[] = {
#include "core/show_assets_table.inc"
};
#undef PICTURE
#undef SOUND
#define PICTURE NOTHING
#define SOUND(index, file, resource) index,
constexpr SoundIndex kSoundRows[] = {
#include "core/show_assets_table.inc"
};
#undef PICTURE
#undef SOUND

template <typename Index, size_t count>
constexpr bool InIndexOrder(const Index (&rows)[count]) {
    for (size_t i = 0; i < count; ++i) {
        if (static_cast<size_t>(rows[i]) != i) {
            return false;
        }
    }
    return true;
}

// A row out of place would hand a port the wrong picture or sound; the build refuses it.
static_assert(sizeof(kPictureRows) / sizeof(kPictureRows[0]) == PictureCount && InIndexOrder(kPictureRows),
              "one picture row per PictureIndex, in its order");
static_assert(sizeof(kSoundRows) / sizeof(kSoundRows[0]) == SoundCount && InIndexOrder(kSoundRows),
              "one sound row per SoundIndex, in its order");

}  // namespace
