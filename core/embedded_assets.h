// The saver's pictures and sounds, the same files as the Windows program's, compiled into
// the program so that it is one self-contained file. A program that must show its first
// picture before its sounds have come (the web page) carries some of them in packs instead:
// each pack those files end to end, fetched apart and attached when it arrives.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct EmbeddedAsset {
    const char* name;  // the file's name in assets/
    const uint8_t* bytes;  // null for a packed asset until its pack is attached
    size_t size;
    int32_t pack;  // which pack carries a packed asset, from 0; 0 for the others
};

extern const EmbeddedAsset kEmbeddedAssets[];
extern const size_t kEmbeddedAssetCount;
extern EmbeddedAsset kPackedAssets[];  // pack by pack, each in its order, sizes known when built
extern const size_t kPackedAssetCount;

// The asset of that file name, or null (also while its pack has not been attached).
const EmbeddedAsset* FindEmbeddedAsset(const char* name);

// Whether a file of that name comes in a pack.
bool IsPackedAsset(const char* name);

// Takes that pack's bytes, which must outlive the program's use of them; a pack of any other
// size than the one built with the program is refused (false), as is a second one of a number.
bool AttachAssetPack(int32_t pack, const uint8_t* bytes, size_t size);
