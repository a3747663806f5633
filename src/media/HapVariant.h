#pragma once

#include "media/HapFrame.h"
#include "media/VideoFrame.h"
#include "media/VideoOptions.h"

#include <cstdint>
#include <optional>

namespace prismeta {

// The members of the HAP family, as containers name them (the stream's
// four-character code).
enum class HapVariant {
    hap,          // Hap1: RGB in DXT1
    hapAlpha,     // Hap5: RGBA in DXT5
    hapQ,         // HapY: scaled YCoCg in DXT5
    hapQAlpha,    // HapM: scaled YCoCg in DXT5 and alpha in RGTC1
    hapAlphaOnly, // HapA: alpha alone in RGTC1
    hapBptc,      // Hap7: RGBA in BPTC
};

// The variant of a stream's codec tag (the fourcc as FFmpeg stores it, first
// character in the lowest byte); none for any other tag.
std::optional<HapVariant> hapVariantOf(std::uint32_t codecTag);

// Whether a renderer sampling these texture families can show the variant's
// pictures as they are.
bool canSample(HapVariant variant, const BlockTextures& textures);
bool canSample(HapTextureFormat format, const BlockTextures& textures);

// The picture format an image of the format comes as.
PictureFormat pictureFormatOf(HapTextureFormat format);

} // namespace prismeta
