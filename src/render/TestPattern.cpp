#include "render/TestPattern.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace prismeta {

namespace {

using Rgb = std::array<std::uint8_t, 3>;

// round(v * 255) of the greys 0.1, 0.22 and 0.5.
constexpr Rgb background = {26, 26, 26};
constexpr Rgb checker = {56, 56, 56};
constexpr Rgb gridLine = {128, 128, 128};
constexpr Rgb white = {255, 255, 255};
constexpr Rgb red = {255, 0, 0};
constexpr Rgb green = {0, 255, 0};
constexpr Rgb blue = {0, 0, 255};
constexpr Rgb yellow = {255, 255, 0};

constexpr int lineWidth = 2;
constexpr int borderWidth = 8;

class Canvas {
public:
    explicit Canvas(int size)
        : size_(size),
          pixels_(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 4) {}

    // Fills [x0, x1) x [y0, y1), clipped to the image.
    void fill(int x0, int y0, int x1, int y1, const Rgb& c) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, size_);
        y1 = std::min(y1, size_);
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* row = pixels_.data() + static_cast<std::size_t>(y) * rowBytes();
            for (int x = x0; x < x1; ++x) {
                std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
                p[0] = c[0];
                p[1] = c[1];
                p[2] = c[2];
                p[3] = 255;
            }
        }
    }

    std::vector<std::uint8_t> take() { return std::move(pixels_); }

private:
    std::size_t rowBytes() const { return static_cast<std::size_t>(size_) * 4; }

    int size_;
    std::vector<std::uint8_t> pixels_;
};

} // namespace

std::vector<std::uint8_t> makeTestPatternPixels(int size) {
    if (size <= 0 || size > 16384) {
        return {};
    }
    const int cell = size / 8;
    Canvas canvas(size);

    canvas.fill(0, 0, size, size, background);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            if ((c + r) % 2 == 1) {
                canvas.fill(c * cell, r * cell, (c + 1) * cell, (r + 1) * cell, checker);
            }
        }
    }
    // Lines centred on k * cell cover the pixel on either side of it; the
    // outermost ones show only their inner half.
    for (int k = 0; k <= 8; ++k) {
        const int at = k * cell - lineWidth / 2;
        canvas.fill(at, 0, at + lineWidth, size, gridLine);
        canvas.fill(0, at, size, at + lineWidth, gridLine);
    }
    canvas.fill(0, 0, cell, cell, red);
    canvas.fill(size - cell, 0, size, cell, green);
    canvas.fill(size - cell, size - cell, size, size, blue);
    canvas.fill(0, size - cell, cell, size, yellow);
    // An outline 8 wide centred 4 pixels in covers the outermost 8 pixels.
    canvas.fill(0, 0, size, borderWidth, white);
    canvas.fill(0, size - borderWidth, size, size, white);
    canvas.fill(0, 0, borderWidth, size, white);
    canvas.fill(size - borderWidth, 0, size, size, white);
    return canvas.take();
}

} // namespace prismeta
