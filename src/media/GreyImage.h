#pragma once

#include <cstdint>
#include <vector>

namespace prismeta {

// A decoded one-channel picture at 16 bits: values 0..65535, rows tightly
// packed (width values each) with row 0 at the top. A plain value.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> values;

    std::uint16_t at(int x, int y) const {
        return values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

} // namespace prismeta
