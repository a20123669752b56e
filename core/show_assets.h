// The show's pictures and sounds by the indices the show uses: each one's file in assets/ (the
// name a program that carries its assets in itself looks it up by) and the name of the
// resource that carries it in the Windows program. Every port reads these, so adding a picture
// or a sound is a row in core/show_assets_table.inc, which gives it its index too.
#pragma once

#include "core/show_port.h"

// Apart, so that a program links only the names it looks up by.
extern const char* const kPictureFiles[PictureCount];
extern const char* const kPictureResources[PictureCount];
extern const char* const kSoundFiles[SoundCount];
extern const char* const kSoundResources[SoundCount];
