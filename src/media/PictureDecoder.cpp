#include "media/PictureDecoder.h"

#include "media/CodecPictureDecoder.h"
#include "media/HapPictureDecoder.h"
#include "media/HapVariant.h"

namespace prismeta {

// Every codec goes through FFmpeg's decoders, but HAP where the renderer
// samples its blocks: those go to the GPU as they are.
std::unique_ptr<PictureDecoder> openPictureDecoder(const AVStream& stream, std::int64_t maxPixels,
                                                   int threads, const BlockTextures& textures) {
    if (pictureRoute(*stream.codecpar, textures) == PictureRoute::blocks) {
        return std::make_unique<HapPictureDecoder>(stream.codecpar->width, stream.codecpar->height,
                                                   textures);
    }
    return CodecPictureDecoder::open(stream, maxPixels, threads);
}

bool isHapStream(const AVCodecParameters& parameters) {
    return parameters.codec_id == AV_CODEC_ID_HAP ||
           (parameters.codec_id == AV_CODEC_ID_NONE && hapVariantOf(parameters.codec_tag));
}

PictureRoute pictureRoute(const AVCodecParameters& parameters, const BlockTextures& textures) {
    const auto variant = hapVariantOf(parameters.codec_tag);
    if (!isHapStream(parameters) || !variant) {
        return PictureRoute::pixels;
    }
    if (!canSample(*variant, textures)) {
        return PictureRoute::pixelsForLackOfTextures;
    }
    // Padded to whole blocks, the picture must still fit a texture.
    const auto fits = [&](int side) { return side > 0 && side <= textures.maxSide - 3; };
    return fits(parameters.width) && fits(parameters.height) ? PictureRoute::blocks
                                                             : PictureRoute::pixels;
}

} // namespace prismeta
