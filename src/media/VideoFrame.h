#pragma once

#include <cstddef>
#include <cstdint>

namespace prismeta {

// What a video picture's memory holds: BGRA pixels, or the GPU-compressed
// blocks of a video stored that way (4 x 4 pixel blocks, rows of blocks from
// the top, padded to whole blocks), which go into a texture as they are.
enum class PictureFormat {
    bgra8,
    bc1,            // DXT1: opaque RGB
    bc3,            // DXT5: RGBA, straight alpha
    bc3ScaledYCoCg, // DXT5 holding Co, Cg, a scale and Y
    bc4,            // RGTC1: one channel
    bc7,            // BPTC unorm: RGBA
};

// One video picture. A view of memory owned by the video player's frame pool;
// valid while the lease that handed it out lives.
struct VideoFrame {
    // BGRA pixels, row 0 at the top; or, for a compressed picture, its blocks.
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    // Bytes from one row to the next: a multiple of 4, at least width * 4
    // (upload with GL_UNPACK_ROW_LENGTH = stride / 4). BGRA only.
    int stride = 0;
    // Seconds after playback start at which the picture is due: the picture's
    // pts minus the first picture's pts, plus the completed loops.
    double time = 0.0;
    PictureFormat format = PictureFormat::bgra8;
    // A compressed picture's bytes of blocks, and the BC4 blocks of an alpha
    // image beside a scaled-YCoCg one (none otherwise).
    std::size_t bytes = 0;
    const std::uint8_t* alphaPixels = nullptr;
    std::size_t alphaBytes = 0;
};

} // namespace prismeta
