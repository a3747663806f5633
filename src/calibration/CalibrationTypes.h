#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace prismeta::calibration {

// A point in pixels of a camera picture or a projector raster, or in canvas
// coordinates (0..1). Pixel coordinates put a pixel's edges on whole numbers:
// pixel (i, j) covers [i, i + 1) x [j, j + 1) and its centre is (i + 0.5,
// j + 0.5), so a raster of width W spans 0..W and W maps to 1 normalized.
struct Vec2 {
    double x = 0.0;
    double y = 0.0;

    friend bool operator==(const Vec2&, const Vec2&) = default;
};

// An 8-bit single-channel picture, rows tightly packed, row 0 at the top:
// a pattern to show, or what the camera saw.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    GreyImage() = default;
    GreyImage(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h),
          pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    bool empty() const { return width <= 0 || height <= 0; }
    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// A 16-bit single-channel picture (a blend map: 65535 is all of the light).
struct Grey16Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> values;
};

// A 3x3 projective map, row-major, applied to (x, y, 1).
struct Homography {
    std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

    Vec2 apply(Vec2 p) const {
        const double w = m[6] * p.x + m[7] * p.y + m[8];
        return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
    }
    // Whether (x, y) maps in front (a positive third coordinate, once the
    // matrix is scaled so that its centre of interest does).
    double depth(Vec2 p) const { return m[6] * p.x + m[7] * p.y + m[8]; }
    Homography inverse() const;
    Homography then(const Homography& next) const; // next after this

    // The map of the unit square's corners (0,0), (1,0), (1,1), (0,1) onto
    // the four points, in that order; none for a degenerate quad.
    static bool fromUnitSquare(const std::array<Vec2, 4>& quad, Homography& out);
};

} // namespace prismeta::calibration
