#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace prismeta {

// One byte of coverage a pixel (0: no light, 255: all of it), rows top to
// bottom, each row `stride` bytes apart (a multiple of 4).
struct CoverageImage {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;

    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                      static_cast<std::size_t>(x)];
    }
};

} // namespace prismeta
