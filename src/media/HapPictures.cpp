#include "media/HapPictures.h"

#include "media/HapVariant.h"

#include <cstring>

namespace prismeta {

HapPictures::HapPictures(int width, int height, const BlockTextures& textures, int helpers)
    : width_(width), height_(height), textures_(textures), decoder_(width, height, helpers) {}

bool HapPictures::packetAsPicture(const AVPacket& packet, int width, int height, AVFrame& picture) {
    if (packet.data == nullptr || packet.size <= 0) {
        return false;
    }
    AVBufferRef* bytes = nullptr;
    if (packet.buf != nullptr) {
        bytes = av_buffer_ref(packet.buf);
    } else {
        // A packet that does not own its bytes: they are copied.
        bytes = av_buffer_alloc(static_cast<std::size_t>(packet.size));
        if (bytes != nullptr) {
            std::memcpy(bytes->data, packet.data, static_cast<std::size_t>(packet.size));
        }
    }
    if (bytes == nullptr) {
        return false;
    }
    picture.buf[0] = bytes;
    picture.data[0] = packet.buf != nullptr ? packet.data : bytes->data;
    picture.linesize[0] = packet.size;
    picture.width = width;
    picture.height = height;
    picture.pts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    picture.best_effort_timestamp = picture.pts;
    picture.pkt_dts = packet.dts;
    picture.pkt_duration = packet.duration;
    picture.key_frame = 1;
    return true;
}

std::span<const std::uint8_t> HapPictures::packetOf(const AVFrame& picture) {
    if (picture.data[0] == nullptr || picture.linesize[0] <= 0) {
        return {};
    }
    return {picture.data[0], static_cast<std::size_t>(picture.linesize[0])};
}

std::size_t HapPictures::prepare(const AVFrame& picture) {
    const std::size_t bytes = decoder_.prepare(packetOf(picture));
    if (bytes == 0) {
        return 0;
    }
    for (const HapDecoder::Image& image : decoder_.images()) {
        if (!canSample(image.format, textures_)) {
            return 0;
        }
    }
    return bytes;
}

bool HapPictures::write(const AVFrame& picture, std::uint8_t* memory, VideoFrame& out) {
    const auto images = decoder_.images();
    if (images.empty() || !decoder_.decode(packetOf(picture), memory)) {
        return false;
    }
    out.pixels = memory + images[0].offset;
    out.width = width_;
    out.height = height_;
    out.stride = 0;
    out.format = pictureFormatOf(images[0].format);
    out.bytes = images[0].bytes;
    out.alphaPixels = images.size() > 1 ? memory + images[1].offset : nullptr;
    out.alphaBytes = images.size() > 1 ? images[1].bytes : 0;
    return true;
}

} // namespace prismeta
