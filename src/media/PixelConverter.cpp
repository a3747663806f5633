#include "media/PixelConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace prismeta {

namespace {

bool isYuv(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return desc != nullptr && (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0 &&
           desc->nb_components >= 3;
}

bool isFullRangeFormat(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return false;
    }
}

// FFmpeg keeps a stream's colour tags as the file states them, so an enum
// field may hold a number that is none of its enumerators (a damaged header
// says matrix 243); loading such a field as its enum type is undefined. The
// stored number is read instead.
template <typename Enum> int storedNumber(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int));
    int number = 0;
    std::memcpy(&number, &field, sizeof number);
    return number;
}

int swsMatrix(int space, int width, int height) {
    switch (space) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        // Untagged: the convention of the stream's resolution.
        return (width >= 1280 || height >= 720) ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

} // namespace

PictureSize fitWithin(int width, int height, int maxDimension) {
    if (width <= maxDimension && height <= maxDimension) {
        return {width, height};
    }
    const double scale = static_cast<double>(maxDimension) / std::max(width, height);
    const auto side = [&](int value) {
        return std::clamp(static_cast<int>(std::lround(value * scale)), 1, maxDimension);
    };
    return {side(width), side(height)};
}

PixelConverter::~PixelConverter() {
    sws_freeContext(context_);
}

bool PixelConverter::convert(const AVFrame& frame, AVPixelFormat dstFormat, int width, int height,
                             std::uint8_t* destination, int stride) {
    const auto srcFormat = static_cast<AVPixelFormat>(frame.format);
    const bool yuv = isYuv(srcFormat);
    Key key{frame.width, frame.height, frame.format, width, height, dstFormat, -1, -1};
    if (yuv) {
        key.matrix = swsMatrix(storedNumber(frame.colorspace), frame.width, frame.height);
        key.fullRange =
            (storedNumber(frame.color_range) == AVCOL_RANGE_JPEG || isFullRangeFormat(srcFormat))
                ? 1
                : 0;
    }
    if (context_ == nullptr || !(key == key_)) {
        sws_freeContext(context_);
        const bool scaled = width != frame.width || height != frame.height;
        int flags = SWS_BILINEAR;
        if (quality_ == Quality::smooth) {
            flags = scaled && width < frame.width ? SWS_AREA : SWS_BICUBIC;
        }
        context_ = sws_getContext(frame.width, frame.height, srcFormat, width, height, dstFormat,
                                  flags, nullptr, nullptr, nullptr);
        key_ = key;
        if (context_ == nullptr) {
            return false;
        }
        if (yuv) {
            const int* table = sws_getCoefficients(key.matrix);
            sws_setColorspaceDetails(context_, table, key.fullRange,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        }
    }
    std::uint8_t* planes[4] = {destination, nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    return sws_scale(context_, frame.data, frame.linesize, 0, frame.height, planes, strides) ==
           height;
}

std::optional<PixelImage> PixelConverter::toPixelImage(const AVFrame& frame, ChannelOrder order,
                                                       int maxDimension) {
    const PictureSize size = fitWithin(frame.width, frame.height, maxDimension);
    PixelImage image;
    image.width = size.width;
    image.height = size.height;
    image.order = order;
    const std::size_t bytes =
        static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4;
    // Room for what the conversion writes past the last row, dropped after.
    image.pixels.resize(bytes + destinationSlack);
    const AVPixelFormat format = order == ChannelOrder::rgba ? AV_PIX_FMT_RGBA : AV_PIX_FMT_BGRA;
    if (!convert(frame, format, size.width, size.height, image.pixels.data(), size.width * 4)) {
        return std::nullopt;
    }
    image.pixels.resize(bytes);
    return image;
}

} // namespace prismeta
