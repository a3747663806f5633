#include "masks/MaskRaster.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {

namespace {

// Cairo holds coordinates in 24.8 fixed point: anything beyond a few million
// pixels would wrap. Points that far out lie far off the image either way.
constexpr double farthestPixel = 4.0e6;

double toPixels(double value) {
    return std::clamp(value, -farthestPixel, farthestPixel);
}

// Where mask coordinates fall on a (padded) image.
struct Mapping {
    double originX = 0.0;
    double originY = 0.0;
    double pixelsPerUnitX = 1.0;
    double pixelsPerUnitY = 1.0;
    double padX = 0.0;
    double padY = 0.0;

    double x(float value) const { return toPixels((value - originX) * pixelsPerUnitX + padX); }
    double y(float value) const { return toPixels((value - originY) * pixelsPerUnitY + padY); }
};

void tracePath(cairo_t* cr, const Mask& mask, const Mapping& map) {
    const std::size_t count = std::min(mask.points.size(), Mask::maxDrawnPoints);
    const MaskPoint& start = mask.points[0];
    cairo_move_to(cr, map.x(start.x), map.y(start.y));
    for (std::size_t i = 0; i < count; ++i) {
        const MaskPoint& a = mask.points[i];
        const MaskPoint& b = mask.points[(i + 1) % count];
        if (!a.out && !b.in) {
            cairo_line_to(cr, map.x(b.x), map.y(b.y));
            continue;
        }
        const Pt c1 = a.out ? *a.out : Pt{a.x, a.y};
        const Pt c2 = b.in ? *b.in : Pt{b.x, b.y};
        cairo_curve_to(cr, map.x(c1.x), map.y(c1.y), map.x(c2.x), map.y(c2.y), map.x(b.x),
                       map.y(b.y));
    }
    cairo_close_path(cr);
}

// The path's anti-aliased coverage into a cleared A8 image.
void fillPath(std::uint8_t* pixels, int width, int height, int stride, const Mask& mask,
              const Mapping& map) {
    std::fill(pixels, pixels + static_cast<std::size_t>(stride) * static_cast<std::size_t>(height),
              std::uint8_t{0});
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_A8, width, height, stride);
    cairo_t* cr = cairo_create(surface);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GOOD);
    // Curves are flattened to within a twentieth of a pixel.
    cairo_set_tolerance(cr, 0.05);
    tracePath(cr, mask, map);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

int strideFor(int width) {
    return cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
}

constexpr double farAway = 1.0e20;

// One line of the exact squared Euclidean distance transform (Felzenszwalb and
// Huttenlocher) with samples `spacing` apart: out[q] = min over p of
// f[p] + ((q - p) * spacing)^2, and in nearest[q] (when given) that p.
void distanceLine(const double* f, int n, double spacing, double* out, int* v, double* z,
                  int* nearest = nullptr) {
    int k = 0;
    v[0] = 0;
    z[0] = -std::numeric_limits<double>::infinity();
    z[1] = std::numeric_limits<double>::infinity();
    const auto meet = [&](int q, int p) {
        const double xq = q * spacing;
        const double xp = p * spacing;
        return ((f[q] + xq * xq) - (f[p] + xp * xp)) / (2.0 * (xq - xp));
    };
    for (int q = 1; q < n; ++q) {
        // z[0] is minus infinity: k never goes below 0.
        double s = meet(q, v[k]);
        while (s <= z[k]) {
            --k;
            s = meet(q, v[k]);
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = std::numeric_limits<double>::infinity();
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        const double x = q * spacing;
        while (z[k + 1] < x) {
            ++k;
        }
        const double dx = x - v[k] * spacing;
        out[q] = dx * dx + f[v[k]];
        if (nearest != nullptr) {
            nearest[q] = v[k];
        }
    }
}

// The feather ramp of one mask: the coverage turned into
// clamp(d / feather, 0, 1), d the distance inside the path in mask units
// (unitX, unitY: the size of one pixel), into `ramp` (stride bytes a row).
void featherRamp(const std::uint8_t* coverage, int width, int height, int stride, double unitX,
                 double unitY, double feather, std::uint8_t* ramp, int rampStride, int offsetX,
                 int offsetY, int rampWidth, int rampHeight) {
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<double> squared(count);
    const int longest = std::max(width, height);
    std::vector<double> line(static_cast<std::size_t>(longest));
    std::vector<double> result(static_cast<std::size_t>(longest));
    std::vector<int> v(static_cast<std::size_t>(longest));
    std::vector<double> z(static_cast<std::size_t>(longest) + 1);
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const std::uint8_t c = coverage[static_cast<std::size_t>(y) * stride + x];
            line[static_cast<std::size_t>(y)] = c >= 128 ? farAway : 0.0;
        }
        distanceLine(line.data(), height, unitY, result.data(), v.data(), z.data());
        for (int y = 0; y < height; ++y) {
            squared[static_cast<std::size_t>(y) * width + x] = result[static_cast<std::size_t>(y)];
        }
    }
    // The boundary lies half a pixel short of the nearest outside pixel's
    // centre, measured along the way to it (a pixel may be wider than high);
    // pixels the path crosses place it by their coverage.
    std::vector<int> nearest(static_cast<std::size_t>(longest));
    for (int y = 0; y < height; ++y) {
        double* row = squared.data() + static_cast<std::size_t>(y) * width;
        distanceLine(row, width, unitX, result.data(), v.data(), z.data(), nearest.data());
        const int rampY = y - offsetY;
        if (rampY < 0 || rampY >= rampHeight) {
            continue;
        }
        for (int x = offsetX; x < offsetX + rampWidth; ++x) {
            const double c = coverage[static_cast<std::size_t>(y) * stride + x] / 255.0;
            const double total = std::sqrt(result[static_cast<std::size_t>(x)]);
            const double across = std::fabs(x - nearest[static_cast<std::size_t>(x)]) * unitX;
            const double down = std::sqrt(row[nearest[static_cast<std::size_t>(x)]]);
            // One pixel's extent along the way to the nearest outside pixel.
            const double step = total > 0.0 && total < farAway / 2
                                    ? (across * unitX + down * unitY) / total
                                    : std::min(unitX, unitY);
            double d = 0.0;
            if (c >= 1.0) {
                d = total - 0.5 * step;
            } else if (c > 0.5) {
                d = (c - 0.5) * step;
            }
            const double m = std::clamp(d / feather, 0.0, 1.0);
            ramp[static_cast<std::size_t>(rampY) * rampStride + (x - offsetX)] =
                static_cast<std::uint8_t>(std::lround(m * 255.0));
        }
    }
}

bool draws(const Mask& mask) {
    return mask.enabled && mask.drawable();
}

} // namespace

bool anyMaskDraws(std::span<const Mask> masks) {
    const std::size_t count = std::min(masks.size(), Mask::maxDrawnMasks);
    return std::any_of(masks.begin(), masks.begin() + static_cast<std::ptrdiff_t>(count), draws);
}

CoverageImage rasterizeMasks(std::span<const Mask> masks, const MaskSpace& space, int width,
                             int height) {
    CoverageImage image;
    if (width < 1 || height < 1 || width > maxCoverageSide || height > maxCoverageSide ||
        !(space.width != 0.0) || !(space.height != 0.0) || !std::isfinite(space.width) ||
        !std::isfinite(space.height) || !std::isfinite(space.x) || !std::isfinite(space.y)) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.stride = strideFor(width);
    const std::size_t bytes = static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height);
    image.pixels.assign(bytes, 255);

    Mapping map;
    map.originX = space.x;
    map.originY = space.y;
    map.pixelsPerUnitX = width / space.width;
    map.pixelsPerUnitY = height / space.height;
    const double unitX = std::fabs(space.width / width);
    const double unitY = std::fabs(space.height / height);

    std::vector<std::uint8_t> normal;   // max(m) over normal masks
    std::vector<std::uint8_t> inverted; // max(m) over inverted masks
    std::vector<std::uint8_t> one(bytes);
    std::vector<std::uint8_t> padded;
    const std::size_t count = std::min(masks.size(), Mask::maxDrawnMasks);
    for (std::size_t i = 0; i < count; ++i) {
        const Mask& mask = masks[i];
        if (!draws(mask)) {
            continue;
        }
        const double feather = maskFeatherInRange(mask.feather);
        if (feather >= std::sqrt(unitX * unitY)) {
            // Padded by the feather (at most the image again on each side), so
            // a path just off the image still shapes the ramp on it.
            const int padX = static_cast<int>(std::min<double>(std::ceil(feather / unitX), width));
            const int padY = static_cast<int>(std::min<double>(std::ceil(feather / unitY), height));
            const int paddedWidth = width + 2 * padX;
            const int paddedHeight = height + 2 * padY;
            const int paddedStride = strideFor(paddedWidth);
            padded.resize(static_cast<std::size_t>(paddedStride) * paddedHeight);
            Mapping paddedMap = map;
            paddedMap.padX = padX;
            paddedMap.padY = padY;
            fillPath(padded.data(), paddedWidth, paddedHeight, paddedStride, mask, paddedMap);
            featherRamp(padded.data(), paddedWidth, paddedHeight, paddedStride, unitX, unitY,
                        feather, one.data(), image.stride, padX, padY, width, height);
        } else {
            fillPath(one.data(), width, height, image.stride, mask, map);
        }
        std::vector<std::uint8_t>& into = mask.invert ? inverted : normal;
        if (into.empty()) {
            into = one;
        } else {
            std::transform(into.begin(), into.end(), one.begin(), into.begin(),
                           [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
        }
    }
    if (!normal.empty()) {
        image.pixels = std::move(normal);
    }
    if (!inverted.empty()) {
        std::transform(image.pixels.begin(), image.pixels.end(), inverted.begin(),
                       image.pixels.begin(), [](std::uint8_t keep, std::uint8_t cut) {
                           return static_cast<std::uint8_t>((keep * (255 - cut) + 127) / 255);
                       });
    }
    return image;
}

} // namespace prismeta
