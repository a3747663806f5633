#pragma once

#include "media/FFmpeg.h"
#include "media/PixelImage.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace prismeta {

// The size a picture of width x height gets so that neither side exceeds
// maxDimension: scaled down with the aspect kept (each side at least 1 pixel),
// or unchanged when it already fits.
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize fitWithin(int width, int height, int maxDimension);

// Converts decoded frames to 8-bit RGBA or BGRA with swscale, optionally
// scaled. YUV sources use the colour matrix and range the frame carries; an
// untagged matrix means BT.709 for HD sizes (1280 wide or 720 high and up) and
// BT.601 below. RGB, palette and grey sources are copied as stored, with no
// colour conversion. The swscale context is kept while the frame format and
// sizes stay the same. Internal; one thread at a time.
class PixelConverter {
public:
    enum class Quality { fast, smooth };

    explicit PixelConverter(Quality quality) : quality_(quality) {}
    ~PixelConverter();
    PixelConverter(const PixelConverter&) = delete;
    PixelConverter& operator=(const PixelConverter&) = delete;

    // swscale's vector code writes whole blocks of pixels, so it may write
    // past the end of the last row (up to 60 bytes here, more where wider
    // vectors are used): a destination needs this many writable bytes after
    // stride * height.
    static constexpr std::size_t destinationSlack = 256;

    // Writes frame into destination (rows of stride bytes, row 0 at the top,
    // then destinationSlack bytes that may be overwritten) at width x height
    // in dstFormat (AV_PIX_FMT_RGBA or AV_PIX_FMT_BGRA). False if swscale
    // cannot convert this frame.
    bool convert(const AVFrame& frame, AVPixelFormat dstFormat, int width, int height,
                 std::uint8_t* destination, int stride);

    // frame as a tightly packed picture in `order`, scaled down to fit
    // within maxDimension (fitWithin). None if swscale cannot convert it.
    std::optional<PixelImage> toPixelImage(const AVFrame& frame, ChannelOrder order,
                                           int maxDimension);

private:
    struct Key {
        int srcWidth = 0, srcHeight = 0, srcFormat = -1;
        int dstWidth = 0, dstHeight = 0, dstFormat = -1;
        int matrix = -1, fullRange = -1;
        bool operator==(const Key&) const = default;
    };

    Quality quality_;
    SwsContext* context_ = nullptr;
    Key key_;
};

} // namespace prismeta
