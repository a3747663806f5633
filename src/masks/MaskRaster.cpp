#include "masks/MaskRaster.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

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
    // Cairo may be used from several threads, but it hands its pooled objects
    // between them with atomics the thread checker cannot see. Filling one
    // path at a time keeps its reports exact, at little cost: the fill is a
    // small part of a feathered redraw, whose transform still runs in bands
    // on two threads.
    static std::mutex cairoUse;
    const std::lock_guard lock(cairoUse);
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
// The coverage's first column is column `firstColumn` of the whole image:
// positions along a row are measured from the image's, so any window of it
// gives the same values.
void featherRamp(const std::uint8_t* coverage, int width, int height, int stride, int firstColumn,
                 double unitX, double unitY, double feather, std::uint8_t* ramp, int rampStride,
                 int offsetX, int offsetY, int rampWidth, int rampHeight) {
    // Only outside pixels closer than the feather (and a little) shape the
    // ramp; pixels beyond reach of every one are fully in.
    const double reach = feather + 2.0 * std::max(unitX, unitY);
    const double reachSquared = reach * reach;
    // Down each column, the rows to the nearest outside pixel of that
    // column, counted up to `far` (rows that far are beyond reach): two
    // sweeps, row by row (so memory is read in order), in 16 bits (the
    // memory they take is what this pass costs).
    const auto far = static_cast<std::uint16_t>(
        std::min(std::ceil(reach / unitY), static_cast<double>(maxCoverageSide * 3)));
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint16_t> columns(count);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = coverage + static_cast<std::size_t>(y) * stride;
        std::uint16_t* out = columns.data() + static_cast<std::size_t>(y) * width;
        if (y == 0) {
            for (int x = 0; x < width; ++x) {
                out[x] = in[x] < 128 ? 0 : far;
            }
            continue;
        }
        const std::uint16_t* above = out - width;
        for (int x = 0; x < width; ++x) {
            const auto next = static_cast<std::uint16_t>(std::min<int>(above[x] + 1, far));
            out[x] = in[x] < 128 ? 0 : next;
        }
    }
    for (int y = height - 2; y >= 0; --y) {
        std::uint16_t* out = columns.data() + static_cast<std::size_t>(y) * width;
        const std::uint16_t* below = out + width;
        for (int x = 0; x < width; ++x) {
            out[x] = static_cast<std::uint16_t>(std::min<int>(out[x], below[x] + 1));
        }
    }
    // A pixel with no outside pixel within reach: out (0), in (255), or
    // crossed by the path without leaving one outside.
    std::array<std::uint8_t, 256> unreached{};
    for (int c = 128; c < 256; ++c) {
        const double d = (c / 255.0 - 0.5) * std::min(unitX, unitY);
        unreached[static_cast<std::size_t>(c)] =
            c == 255 ? 255
                     : static_cast<std::uint8_t>(std::clamp(d / feather, 0.0, 1.0) * 255.0 + 0.5);
    }
    // Columns a site reaches on either side.
    const int reachColumns = static_cast<int>(
        std::min(std::ceil(reach / unitX), static_cast<double>(maxCoverageSide * 3)));
    // Along each row of the ramp, the nearest of those: of a run of outside
    // pixels only its ends.
    std::vector<std::uint8_t> isSite(static_cast<std::size_t>(width) + 8);
    std::vector<int> sites(static_cast<std::size_t>(width));
    std::vector<double> siteF(static_cast<std::size_t>(width));
    std::vector<int> v(static_cast<std::size_t>(width));
    std::vector<double> z(static_cast<std::size_t>(width) + 1);
    for (int y = offsetY; y < offsetY + rampHeight; ++y) {
        const std::uint16_t* row = columns.data() + static_cast<std::size_t>(y) * width;
        // Marked in one pass the compiler vectorises, gathered skipping
        // eight unmarked columns at a time.
        isSite[0] = row[0] < far ? 1 : 0;
        for (int x = 1; x + 1 < width; ++x) {
            // Not within a run of outside pixels (no branches: vectorised).
            const unsigned near = (row[x - 1] | row[x] | row[x + 1]) != 0 ? 1u : 0u;
            isSite[static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>((row[x] < far ? 1u : 0u) & near);
        }
        isSite[static_cast<std::size_t>(width) - 1] = row[width - 1] < far ? 1 : 0;
        int n = 0;
        for (int x = 0; x < width;) {
            if (x + 8 <= width) {
                std::uint64_t eight = 0;
                std::memcpy(&eight, isSite.data() + x, sizeof eight);
                if (eight == 0) {
                    x += 8;
                    continue;
                }
            }
            if (isSite[static_cast<std::size_t>(x)] != 0) {
                const double down = row[x] * unitY;
                sites[static_cast<std::size_t>(n)] = x + firstColumn;
                siteF[static_cast<std::size_t>(n)] = down * down;
                ++n;
            }
            ++x;
        }
        const std::uint8_t* in = coverage + static_cast<std::size_t>(y) * stride;
        std::uint8_t* out = ramp + static_cast<std::size_t>(y - offsetY) * rampStride;
        const int envelope =
            n > 0 ? lowerEnvelope(sites.data(), siteF.data(), n, unitX, v.data(), z.data()) : 0;
        int k = 0;
        int nextSite = 0; // the first site not yet left behind
        for (int x = offsetX; x < offsetX + rampWidth; ++x) {
            // Columns beyond reach of every site, in one go.
            const int column = x + firstColumn;
            while (nextSite < n &&
                   sites[static_cast<std::size_t>(nextSite)] + reachColumns < column) {
                ++nextSite;
            }
            const int reachedFrom = nextSite < n ? sites[static_cast<std::size_t>(nextSite)] -
                                                       reachColumns - firstColumn
                                                 : offsetX + rampWidth;
            if (x < reachedFrom) {
                const int end = std::min(reachedFrom, offsetX + rampWidth);
                for (; x < end; ++x) {
                    out[x - offsetX] = unreached[in[x]];
                }
                --x;
                continue;
            }
            const double position = column * unitX;
            while (k + 1 < envelope && z[static_cast<std::size_t>(k) + 1] < position) {
                ++k;
            }
            const int c = in[x];
            if (c < 128) {
                out[x - offsetX] = 0;
                continue;
            }
            const int site = v[static_cast<std::size_t>(k)];
            const double across =
                std::fabs(position - sites[static_cast<std::size_t>(site)] * unitX);
            const double downSquared = siteF[static_cast<std::size_t>(site)];
            const double totalSquared = across * across + downSquared;
            if (totalSquared >= reachSquared) {
                out[x - offsetX] = unreached[static_cast<std::size_t>(c)];
                continue;
            }
            const double total = std::sqrt(totalSquared);
            // One pixel's extent along the way to the nearest outside pixel
            // (a pixel may be wider than high).
            const double step = total > 0.0
                                    ? (across * unitX + std::sqrt(downSquared) * unitY) / total
                                    : std::min(unitX, unitY);
            // The boundary lies half a pixel short of the nearest outside
            // pixel's centre; pixels the path crosses place it by coverage.
            const double d = c == 255 ? total - 0.5 * step : (c / 255.0 - 0.5) * step;
            const double m = std::clamp(d / feather, 0.0, 1.0);
            out[x - offsetX] = static_cast<std::uint8_t>(m * 255.0 + 0.5);
        }
    }
}

bool draws(const Mask& mask) {
    return mask.enabled && mask.drawable();
}

bool validSpace(const MaskSpace& space) {
    return space.width != 0.0 && space.height != 0.0 && std::isfinite(space.width) &&
           std::isfinite(space.height) && std::isfinite(space.x) && std::isfinite(space.y);
}

bool validSize(int width, int height) {
    return width >= 1 && height >= 1 && width <= maxCoverageSide && height <= maxCoverageSide;
}

// An image of a space: where mask coordinates fall on it and how large one
// of its pixels is in mask units.
struct Grid {
    Mapping map;
    double unitX = 1.0;
    double unitY = 1.0;
    int width = 0;
    int height = 0;

    Grid(const MaskSpace& space, int w, int h) : width(w), height(h) {
        map.originX = space.x;
        map.originY = space.y;
        map.pixelsPerUnitX = w / space.width;
        map.pixelsPerUnitY = h / space.height;
        unitX = std::fabs(space.width / w);
        unitY = std::fabs(space.height / h);
    }

    // The feather as drawn, 0 when it is less than a pixel (the anti-aliased
    // edge alone).
    double featherOf(const Mask& mask) const {
        const double feather = maskFeatherInRange(mask.feather);
        return feather >= std::sqrt(unitX * unitY) ? feather : 0.0;
    }

    // How far outside pixels shape the ramp: the feather and a little (see
    // featherRamp), in whole pixels and one more, at most the image again.
    PixelReach reachOf(double feather) const {
        if (feather <= 0.0) {
            return {};
        }
        const double reach = feather + 2.0 * std::max(unitX, unitY);
        const auto pixels = [reach](double unit, int side) {
            const double count = std::ceil(reach / unit) + 1.0;
            return count >= side ? side : static_cast<int>(count);
        };
        return {pixels(unitX, width), pixels(unitY, height)};
    }
};

// Cairo's anti-aliasing of a pixel row depends on every edge crossing that
// row (it switches between whole-row and sampled stepping), so a window of
// the image is not filled exactly as the whole image is. The path is
// therefore always filled in strips of these many rows, aligned on the
// image's first row and as wide as everything ever filled of the image
// (`columns`): any pixel's coverage comes from the same strip, whatever part
// of the image is rasterised, and a strip changes only where the path
// crossing its rows changes.
constexpr int stripRows = 128;

int stripOf(int row) {
    return row >= 0 ? row / stripRows : -((-row + stripRows - 1) / stripRows);
}

// The path's coverage over `area` (rows and columns of the image, within
// `columns`) into `out` (stride bytes a row).
void fillArea(const Mask& mask, const Mapping& base, int columnsLeft, int columnsWidth,
              const PixelRect& area, std::uint8_t* out, int outStride,
              std::vector<std::uint8_t>& strip) {
    const int stripStride = strideFor(columnsWidth);
    strip.resize(static_cast<std::size_t>(stripStride) * stripRows);
    Mapping map = base;
    map.padX = -columnsLeft;
    for (int k = stripOf(area.y); k <= stripOf(area.bottom() - 1); ++k) {
        const int top = k * stripRows;
        map.padY = -top;
        fillPath(strip.data(), columnsWidth, stripRows, stripStride, mask, map);
        for (int row = std::max(top, area.y); row < std::min(top + stripRows, area.bottom());
             ++row) {
            const std::uint8_t* from = strip.data() +
                                       static_cast<std::size_t>(row - top) * stripStride +
                                       static_cast<std::size_t>(area.x - columnsLeft);
            std::copy(from, from + area.width,
                      out + static_cast<std::size_t>(row - area.y) * outStride);
        }
    }
}

// One mask's coverage m over `area` of the grid's image into `out` (stride
// bytes a row, area-sized).
void maskCoverage(const Mask& mask, const Grid& grid, const PixelRect& area, std::uint8_t* out,
                  int outStride, std::vector<std::uint8_t>& scratch,
                  std::vector<std::uint8_t>& strip) {
    const double feather = grid.featherOf(mask);
    if (feather <= 0.0) {
        fillArea(mask, grid.map, 0, grid.width, area, out, outStride, strip);
        return;
    }
    // The path over the area grown by the reach (beyond the image where the
    // area touches its sides, so a path just off the image still shapes the
    // ramp on it), the ramp over the area.
    const PixelReach reach = grid.reachOf(feather);
    const PixelRect support = area.grown(reach.across, reach.down);
    const int supportStride = strideFor(support.width);
    scratch.resize(static_cast<std::size_t>(supportStride) *
                   static_cast<std::size_t>(support.height));
    fillArea(mask, grid.map, -reach.across, grid.width + 2 * reach.across, support, scratch.data(),
             supportStride, strip);
    featherRamp(scratch.data(), support.width, support.height, supportStride, support.x, grid.unitX,
                grid.unitY, feather, out, outStride, reach.across, reach.down, area.width,
                area.height);
}

// The coverage of the masks over `area` of the grid's image into `dest`
// (the area's first pixel, stride bytes a row).
void composeCoverage(std::span<const Mask> masks, const Grid& grid, const PixelRect& area,
                     std::uint8_t* dest, int destStride) {
    const int stride = strideFor(area.width);
    const std::size_t bytes =
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(area.height);
    const auto rows = [&](auto&& each) {
        for (int y = 0; y < area.height; ++y) {
            each(dest + static_cast<std::size_t>(y) * destStride,
                 static_cast<std::size_t>(y) * stride);
        }
    };
    bool anyNormal = false;             // dest holds max(m) over normal masks
    std::vector<std::uint8_t> inverted; // max(m) over inverted masks
    std::vector<std::uint8_t> one;      // each mask's own coverage
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t> strip;
    const std::size_t count = std::min(masks.size(), Mask::maxDrawnMasks);
    for (std::size_t i = 0; i < count; ++i) {
        const Mask& mask = masks[i];
        if (!draws(mask)) {
            continue;
        }
        if (!mask.invert && !anyNormal) {
            maskCoverage(mask, grid, area, dest, destStride, scratch, strip);
            anyNormal = true;
            continue;
        }
        if (mask.invert && inverted.empty()) {
            inverted.resize(bytes);
            maskCoverage(mask, grid, area, inverted.data(), stride, scratch, strip);
            continue;
        }
        one.resize(bytes);
        maskCoverage(mask, grid, area, one.data(), stride, scratch, strip);
        if (mask.invert) {
            std::transform(inverted.begin(), inverted.end(), one.begin(), inverted.begin(),
                           [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
        } else {
            rows([&](std::uint8_t* row, std::size_t at) {
                std::transform(row, row + area.width, one.begin() + static_cast<std::ptrdiff_t>(at),
                               row, [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
            });
        }
    }
    if (!anyNormal) {
        rows([&](std::uint8_t* row, std::size_t) { std::fill(row, row + area.width, 255); });
    }
    if (!inverted.empty()) {
        rows([&](std::uint8_t* row, std::size_t at) {
            std::transform(row, row + area.width,
                           inverted.begin() + static_cast<std::ptrdiff_t>(at), row,
                           [](std::uint8_t keep, std::uint8_t cut) {
                               return static_cast<std::uint8_t>((keep * (255 - cut) + 127) / 255);
                           });
        });
    }
}

// Large areas are rasterised in bands of these many rows, each filled and
// transformed on its own (with the feather band around it): the transform's
// memory stays in cache and is not mapped afresh for every image, which
// costs less than the band's margins add (4K with a 0.02 feather: 23 ms of
// processor in bands against 28 in one piece).
constexpr int bandRows = 512;
// Areas this large share their bands between this thread and a helper:
// whole images, not a drag's rows.
constexpr long long twoThreadPixels = 1 << 20;

void composeCoverageInBands(std::span<const Mask> masks, const Grid& grid, const PixelRect& area,
                            std::uint8_t* dest, int destStride) {
    const int bands = (area.height + bandRows - 1) / bandRows;
    const auto band = [&](int b) {
        const int top = b * bandRows;
        const PixelRect part{area.x, area.y + top, area.width,
                             std::min(bandRows, area.height - top)};
        composeCoverage(masks, grid, part, dest + static_cast<std::size_t>(top) * destStride,
                        destStride);
    };
    const auto every = [&](int first, int step) {
        for (int b = first; b < bands; b += step) {
            band(b);
        }
    };
    if (bands < 2 || static_cast<long long>(area.width) * area.height < twoThreadPixels ||
        std::thread::hardware_concurrency() < 2) {
        every(0, 1);
        return;
    }
    std::exception_ptr failed; // the helper's, passed on once it has ended
    std::thread helper([&] {
        try {
            every(1, 2);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    try {
        every(0, 2);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failed) {
        std::rethrow_exception(failed);
    }
}

} // namespace

bool anyMaskDraws(std::span<const Mask> masks) {
    const std::size_t count = std::min(masks.size(), Mask::maxDrawnMasks);
    return std::any_of(masks.begin(), masks.begin() + static_cast<std::ptrdiff_t>(count), draws);
}

CoverageImage rasterizeMasks(std::span<const Mask> masks, const MaskSpace& space, int width,
                             int height) {
    CoverageImage image;
    if (!validSize(width, height) || !validSpace(space)) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.stride = strideFor(width);
    image.pixels.resize(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height));
    composeCoverageInBands(masks, Grid(space, width, height), PixelRect{0, 0, width, height},
                           image.pixels.data(), image.stride);
    return image;
}

void rasterizeMasksRegion(std::span<const Mask> masks, const MaskSpace& space, CoverageImage& image,
                          PixelRect area) {
    if (!validSize(image.width, image.height) || !validSpace(space) ||
        image.pixels.size() <
            static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height)) {
        return;
    }
    area = area.intersected(PixelRect{0, 0, image.width, image.height});
    if (area.empty()) {
        return;
    }
    composeCoverageInBands(masks, Grid(space, image.width, image.height), area,
                           image.pixels.data() + static_cast<std::size_t>(area.y) * image.stride +
                               static_cast<std::size_t>(area.x),
                           image.stride);
}

PixelReach featherReach(const Mask& mask, const MaskSpace& space, int width, int height) {
    if (!validSize(width, height) || !validSpace(space)) {
        return {};
    }
    const Grid grid(space, width, height);
    return grid.reachOf(grid.featherOf(mask));
}

double maskToPixelX(double x, const MaskSpace& space, int width) {
    return toPixels((x - space.x) * (width / space.width));
}

double maskToPixelY(double y, const MaskSpace& space, int height) {
    return toPixels((y - space.y) * (height / space.height));
}

} // namespace prismeta
