#include "core/embedded_assets.h"

#include <string.h>

const EmbeddedAsset* FindEmbeddedAsset(const char* name) {
    for (size_t i = 0; i < kEmbeddedAssetCount; ++i) {
        if (strcmp(kEmbeddedAssets[i].name, name) == 0) {
            return &kEmbeddedAssets[i];
        }
    }
    return nullptr;
}
