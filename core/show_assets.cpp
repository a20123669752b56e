#include "core/show_assets.h"

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
