#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace prismeta {

enum class ChannelOrder { rgba, bgra };

// A decoded picture in memory: 8 bits per channel, four channels in `order`,
// rows tightly packed (width * 4 bytes) with row 0 at the top. A plain value.
struct PixelImage {
    int width = 0;
    int height = 0;
    ChannelOrder order = ChannelOrder::rgba;
    std::vector<std::uint8_t> pixels;

    // The four bytes of the pixel at column x, row y (0, 0 = top-left).
    const std::uint8_t* pixel(int x, int y) const {
        return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                static_cast<std::size_t>(x)) *
                                   4;
    }
};

} // namespace prismeta
