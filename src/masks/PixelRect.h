#pragma once

#include <algorithm>

namespace prismeta {

// A rectangle of an image's pixels: columns x .. x + width - 1, rows
// y .. y + height - 1. Empty when either side is not positive.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    int right() const { return x + width; }
    int bottom() const { return y + height; }

    // The smallest rectangle holding both (an empty one holds nothing).
    PixelRect united(const PixelRect& other) const {
        if (empty()) {
            return other;
        }
        if (other.empty()) {
            return *this;
        }
        const int left = std::min(x, other.x);
        const int top = std::min(y, other.y);
        return {left, top, std::max(right(), other.right()) - left,
                std::max(bottom(), other.bottom()) - top};
    }

    PixelRect intersected(const PixelRect& other) const {
        const int left = std::max(x, other.x);
        const int top = std::max(y, other.y);
        const int w = std::min(right(), other.right()) - left;
        const int h = std::min(bottom(), other.bottom()) - top;
        if (w <= 0 || h <= 0) {
            return {};
        }
        return {left, top, w, h};
    }

    PixelRect grown(int across, int down) const {
        return {x - across, y - down, width + 2 * across, height + 2 * down};
    }

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

} // namespace prismeta
