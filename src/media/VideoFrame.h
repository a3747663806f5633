#pragma once

#include <cstdint>

namespace prismeta {

// One converted video picture: 8-bit BGRA, row 0 at the top. A view of memory
// owned by the video player's frame pool; valid while the lease that handed it
// out lives.
struct VideoFrame {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    // Bytes from one row to the next: a multiple of 4, at least width * 4
    // (upload with GL_UNPACK_ROW_LENGTH = stride / 4).
    int stride = 0;
    // Seconds after playback start at which the picture is due: the picture's
    // pts minus the first picture's pts, plus the completed loops.
    double time = 0.0;
};

} // namespace prismeta
