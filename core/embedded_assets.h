// The saver's pictures and sounds, the same files as the Windows program's, compiled into
// the program so that it is one self-contained file.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct EmbeddedAsset {
    const char* name;  // the file's name in assets/
    const uint8_t* bytes;
    size_t size;
};

extern const EmbeddedAsset kEmbeddedAssets[];
extern const size_t kEmbeddedAssetCount;

// The asset of that file name, or null.
const EmbeddedAsset* FindEmbeddedAsset(const char* name);
