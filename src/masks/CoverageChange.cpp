#include "masks/CoverageChange.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {

namespace {

// A box in pixels, grown point by point.
struct PixelBox {
    double left = std::numeric_limits<double>::infinity();
    double top = std::numeric_limits<double>::infinity();
    double right = -std::numeric_limits<double>::infinity();
    double bottom = -std::numeric_limits<double>::infinity();
    bool finite = true;

    void include(double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y)) {
            finite = false;
            return;
        }
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    bool empty() const { return !(right >= left); }
};

// Adds the control points of the segment from points[i] to the next one.
void includeSegment(PixelBox& box, const Mask& mask, std::size_t i, std::size_t count,
                    const MaskSpace& space, int width, int height) {
    const MaskPoint& a = mask.points[i];
    const MaskPoint& b = mask.points[(i + 1) % count];
    const auto add = [&](double x, double y) {
        box.include(maskToPixelX(x, space, width), maskToPixelY(y, space, height));
    };
    add(a.x, a.y);
    add(b.x, b.y);
    if (a.out) {
        add(a.out->x, a.out->y);
    }
    if (b.in) {
        add(b.in->x, b.in->y);
    }
}

bool draws(const Mask& mask) {
    return mask.enabled && mask.drawable();
}

// Whether Cairo takes the path for a set of boxes: straight segments only,
// each across or down in its 24.8 fixed point. It fills those by another
// method than slanted paths, whose edges it anti-aliases differently in every
// row, so a drag that makes a path slanted or straight changes all of it.
bool fillsAsBoxes(const Mask& mask, const MaskSpace& space, int width, int height) {
    const std::size_t count = std::min(mask.points.size(), Mask::maxDrawnPoints);
    const auto fixed = [](double pixels) { return std::llround(pixels * 256.0); };
    for (std::size_t i = 0; i < count; ++i) {
        const MaskPoint& a = mask.points[i];
        const MaskPoint& b = mask.points[(i + 1) % count];
        if (a.out || b.in) {
            return false;
        }
        if (fixed(maskToPixelX(a.x, space, width)) != fixed(maskToPixelX(b.x, space, width)) &&
            fixed(maskToPixelY(a.y, space, height)) != fixed(maskToPixelY(b.y, space, height))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<PixelRect> changedCoverage(std::span<const Mask> before, std::span<const Mask> after,
                                         const MaskSpace& space, int width, int height) {
    if (before.size() != after.size()) {
        return std::nullopt;
    }
    const PixelRect image{0, 0, width, height};
    PixelRect changed;
    const std::size_t masks = std::min(after.size(), Mask::maxDrawnMasks);
    for (std::size_t m = 0; m < masks; ++m) {
        const Mask& was = before[m];
        const Mask& is = after[m];
        if (was.enabled != is.enabled || was.invert != is.invert ||
            maskFeatherInRange(was.feather) != maskFeatherInRange(is.feather) ||
            was.points.size() != is.points.size()) {
            return std::nullopt;
        }
        if (!draws(is)) {
            continue;
        }
        if (was.points != is.points &&
            fillsAsBoxes(was, space, width, height) != fillsAsBoxes(is, space, width, height)) {
            return std::nullopt;
        }
        const std::size_t count = std::min(is.points.size(), Mask::maxDrawnPoints);
        PixelBox box;
        for (std::size_t k = 0; k < count; ++k) {
            if (was.points[k] == is.points[k]) {
                continue;
            }
            // The segments into and out of the point, as they were and are.
            const std::size_t previous = (k + count - 1) % count;
            for (const Mask* mask : {&was, &is}) {
                includeSegment(box, *mask, previous, count, space, width, height);
                includeSegment(box, *mask, k, count, space, width, height);
            }
        }
        if (!box.finite) {
            return std::nullopt;
        }
        if (box.empty()) {
            continue;
        }
        // Every row the boxes touch, and one more for the anti-aliasing;
        // clipped first so the numbers stay small. Whole rows: Cairo
        // anti-aliases a pixel row by one of two methods, chosen by every
        // edge crossing it, so an edge moved in a row may change the edge
        // pixels of the path anywhere along it (by a few levels).
        const double margin = 2.0;
        const auto clip = [height](double value) {
            return std::clamp(value, -1.0, static_cast<double>(height) + 1.0);
        };
        const int top = static_cast<int>(std::floor(clip(box.top - margin)));
        const int bottom = static_cast<int>(std::ceil(clip(box.bottom + margin)));
        const PixelReach reach = featherReach(is, space, width, height);
        const PixelRect area = PixelRect{0, top, width, bottom - top}.grown(0, reach.down);
        changed = changed.united(area.intersected(image));
    }
    return changed;
}

} // namespace prismeta
