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

// The lower envelope of the parabolas f[i] + (x - sites[i] * spacing)^2 over
// sites in increasing order (Felzenszwalb and Huttenlocher's exact squared
// Euclidean distance transform, on the sites that matter only): v[0..count)
// the sites of the envelope, z[j] where v[j] starts to be the lowest.
int lowerEnvelope(const int* sites, const double* f, int n, double spacing, int* v, double* z) {
    const auto meet = [&](int q, int p) {
        const double xq = sites[q] * spacing;
        const double xp = sites[p] * spacing;
        return ((f[q] + xq * xq) - (f[p] + xp * xp)) / (2.0 * (xq - xp));
    };
    int k = 0;
    v[0] = 0;
    z[0] = -std::numeric_limits<double>::infinity();
    z[1] = std::numeric_limits<double>::infinity();
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
    return k + 1;
}

// The feather ramp of one mask: the coverage turned into
// clamp(d / feather, 0, 1), d the distance inside the path in mask units
// (unitX, unitY: the size of one pixel), into `ramp` (stride bytes a row).
void featherRamp(const std::uint8_t* coverage, int width, int height, int stride, double unitX,
                 double unitY, double feather, std::uint8_t* ramp, int rampStride, int offsetX,
                 int offsetY, int rampWidth, int rampHeight) {
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // Down each column, the distance to the nearest outside pixel of that
    // column: two sweeps, row by row (so memory is read in order).
    // Single precision: the column distances are at most a few units, and
    // the memory they take is what this pass costs.
    std::vector<float> columns(count);
    const float none = 1.0e10f;
    const float stepDown = static_cast<float>(unitY);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = coverage + static_cast<std::size_t>(y) * stride;
        float* out = columns.data() + static_cast<std::size_t>(y) * width;
        const float* above = y > 0 ? out - width : nullptr;
        for (int x = 0; x < width; ++x) {
            out[x] = in[x] < 128 ? 0.0f : (above != nullptr ? above[x] + stepDown : none);
        }
    }
    for (int y = height - 2; y >= 0; --y) {
        float* out = columns.data() + static_cast<std::size_t>(y) * width;
        const float* below = out + width;
        for (int x = 0; x < width; ++x) {
            out[x] = std::min(out[x], below[x] + stepDown);
        }
    }
    // Along each row of the ramp, the nearest of those: only sites closer
    // than the feather (and a little) can shape it, and of a run of outside
    // pixels only its ends. Pixels beyond reach of every site are fully in.
    const double reach = feather + 2.0 * std::max(unitX, unitY);
    const double reachSquared = reach * reach;
    std::vector<int> sites(static_cast<std::size_t>(width));
    std::vector<double> siteF(static_cast<std::size_t>(width));
    std::vector<int> v(static_cast<std::size_t>(width));
    std::vector<double> z(static_cast<std::size_t>(width) + 1);
    for (int y = offsetY; y < offsetY + rampHeight; ++y) {
        const float* row = columns.data() + static_cast<std::size_t>(y) * width;
        int n = 0;
        for (int x = 0; x < width; ++x) {
            const double down = row[x];
            if (down >= reach || (down == 0.0 && x > 0 && x + 1 < width && row[x - 1] == 0.0f &&
                                  row[x + 1] == 0.0f)) {
                continue;
            }
            sites[static_cast<std::size_t>(n)] = x;
            siteF[static_cast<std::size_t>(n)] = down * down;
            ++n;
        }
        const int envelope =
            n > 0 ? lowerEnvelope(sites.data(), siteF.data(), n, unitX, v.data(), z.data()) : 0;
        const std::uint8_t* in = coverage + static_cast<std::size_t>(y) * stride;
        std::uint8_t* out = ramp + static_cast<std::size_t>(y - offsetY) * rampStride;
        int k = 0;
        for (int x = offsetX; x < offsetX + rampWidth; ++x) {
            const double position = x * unitX;
            while (k + 1 < envelope && z[static_cast<std::size_t>(k) + 1] < position) {
                ++k;
            }
            if (in[x] < 128) {
                out[x - offsetX] = 0;
                continue;
            }
            double total = farAway;
            double step = std::min(unitX, unitY);
            if (envelope > 0) {
                const int site = v[static_cast<std::size_t>(k)];
                const double across =
                    std::fabs(position - sites[static_cast<std::size_t>(site)] * unitX);
                const double downSquared = siteF[static_cast<std::size_t>(site)];
                const double totalSquared = across * across + downSquared;
                if (totalSquared < reachSquared) {
                    total = std::sqrt(totalSquared);
                    // One pixel's extent along the way to the nearest
                    // outside pixel (a pixel may be wider than high).
                    if (total > 0.0) {
                        step = (across * unitX + std::sqrt(downSquared) * unitY) / total;
                    }
                }
            }
            // The boundary lies half a pixel short of the nearest outside
            // pixel's centre; pixels the path crosses place it by coverage.
            const double c = in[x] / 255.0;
            const double d = c >= 1.0 ? total - 0.5 * step : (c - 0.5) * step;
            const double m = std::clamp(d / feather, 0.0, 1.0);
            out[x - offsetX] = static_cast<std::uint8_t>(std::lround(m * 255.0));
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
    const std::size_t bytes =
        static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height);

    Mapping map;
    map.originX = space.x;
    map.originY = space.y;
    map.pixelsPerUnitX = width / space.width;
    map.pixelsPerUnitY = height / space.height;
    const double unitX = std::fabs(space.width / width);
    const double unitY = std::fabs(space.height / height);

    std::vector<std::uint8_t> normal;   // max(m) over normal masks
    std::vector<std::uint8_t> inverted; // max(m) over inverted masks
    std::vector<std::uint8_t> one;      // each mask's own coverage
    std::vector<std::uint8_t> padded;
    const std::size_t count = std::min(masks.size(), Mask::maxDrawnMasks);
    for (std::size_t i = 0; i < count; ++i) {
        const Mask& mask = masks[i];
        if (!draws(mask)) {
            continue;
        }
        one.resize(bytes);
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
            into.swap(one);
        } else {
            std::transform(into.begin(), into.end(), one.begin(), into.begin(),
                           [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
        }
    }
    if (!normal.empty()) {
        image.pixels = std::move(normal);
    } else {
        image.pixels.assign(bytes, 255);
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
