// The saver's pictures and sounds, the same files as the Windows program's, compiled into
// the program so that it is one self-contained file. A program that must show its first
// picture before its sounds have come (the web page) carries some of them as a pack instead:
// those files end to end, fetched apart and attached when they arrive.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct EmbeddedAsset {
    const char* name;  // the file's name in assets/
    const uint8_t* bytes;  // null for a packed asset until its pack is attached
    size_t size;
};

extern const EmbeddedAsset kEmbeddedAssets[];
extern const size_t kEmbeddedAssetCount;
extern EmbeddedAsset kPackedAssets[];  // in the pack's order, sizes known when it was built
extern const size_t kPackedAssetCount;

// The asset of that file name, or null (also while its pack has not been attached).
const EmbeddedAsset* FindEmbeddedAsset(const char* name);

// Whether a file of that name comes in the pack.
bool IsPackedAsset(const char* name);

// Takes the pack's bytes, which must outlive the program's use of them; a pack of any other
// size than the one built with the program is refused (false), as is a second one.
bool AttachAssetPack(const uint8_t* bytes, size_t size);
