#include "media/HapVariant.h"

namespace prismeta {

namespace {

constexpr std::uint32_t fourcc(const char (&code)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

} // namespace

std::optional<HapVariant> hapVariantOf(std::uint32_t codecTag) {
    switch (codecTag) {
    case fourcc("Hap1"):
        return HapVariant::hap;
    case fourcc("Hap5"):
        return HapVariant::hapAlpha;
    case fourcc("HapY"):
        return HapVariant::hapQ;
    case fourcc("HapM"):
        return HapVariant::hapQAlpha;
    case fourcc("HapA"):
        return HapVariant::hapAlphaOnly;
    case fourcc("Hap7"):
        return HapVariant::hapBptc;
    default:
        return std::nullopt;
    }
}

bool canSample(HapVariant variant, const BlockTextures& textures) {
    switch (variant) {
    case HapVariant::hap:
    case HapVariant::hapAlpha:
    case HapVariant::hapQ:
        return textures.s3tc;
    case HapVariant::hapQAlpha:
        return textures.s3tc && textures.rgtc;
    case HapVariant::hapAlphaOnly:
        return textures.rgtc;
    case HapVariant::hapBptc:
        return textures.bptc;
    }
    return false;
}

bool canSample(HapTextureFormat format, const BlockTextures& textures) {
    switch (format) {
    case HapTextureFormat::rgbDxt1:
    case HapTextureFormat::rgbaDxt5:
    case HapTextureFormat::scaledYCoCgDxt5:
        return textures.s3tc;
    case HapTextureFormat::alphaRgtc1:
        return textures.rgtc;
    case HapTextureFormat::rgbaBptc:
        return textures.bptc;
    }
    return false;
}

PictureFormat pictureFormatOf(HapTextureFormat format) {
    switch (format) {
    case HapTextureFormat::rgbDxt1:
        return PictureFormat::bc1;
    case HapTextureFormat::rgbaDxt5:
        return PictureFormat::bc3;
    case HapTextureFormat::scaledYCoCgDxt5:
        return PictureFormat::bc3ScaledYCoCg;
    case HapTextureFormat::alphaRgtc1:
        return PictureFormat::bc4;
    case HapTextureFormat::rgbaBptc:
        return PictureFormat::bc7;
    }
    return PictureFormat::bc1;
}

} // namespace prismeta
