#include "core/embedded_assets.h"

#include <string.h>

namespace {

EmbeddedAsset* FindPacked(const char* name) {
    for (size_t i = 0; i < kPackedAssetCount; ++i) {
        if (strcmp(kPackedAssets[i].name, name) == 0) {
            return &kPackedAssets[i];
        }
    }
    return nullptr;
}

}  // namespace

const EmbeddedAsset* FindEmbeddedAsset(const char* name) {
    for (size_t i = 0; i < kEmbeddedAssetCount; ++i) {
        if (strcmp(kEmbeddedAssets[i].name, name) == 0) {
            return &kEmbeddedAssets[i];
        }
    }
    const EmbeddedAsset* packed = FindPacked(name);
    return packed != nullptr && packed->bytes != nullptr ? packed : nullptr;
}

bool IsPackedAsset(const char* name) {
    return FindPacked(name) != nullptr;
}

bool AttachAssetPack(int32_t pack, const uint8_t* bytes, size_t size) {
    size_t total = 0;
    size_t count = 0;
    for (size_t i = 0; i < kPackedAssetCount; ++i) {
        if (kPackedAssets[i].pack == pack) {
            if (kPackedAssets[i].bytes != nullptr) {
                return false;
            }
            total += kPackedAssets[i].size;
            ++count;
        }
    }
    if (count == 0 || bytes == nullptr || size != total) {
        return false;
    }
    for (size_t i = 0; i < kPackedAssetCount; ++i) {
        if (kPackedAssets[i].pack == pack) {
            kPackedAssets[i].bytes = bytes;
            bytes += kPackedAssets[i].size;
        }
    }
    return true;
}
