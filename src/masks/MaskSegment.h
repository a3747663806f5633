#pragma once

#include "core/Mask.h"
#include "core/Pt.h"

#include <cstddef>

namespace prismeta {

// One edge of a mask's closed path: the cubic Bézier from point i to the
// next, through i's out handle and the next point's in handle (a missing
// handle stands for its point, so an edge without handles is straight).
struct MaskSegment {
    Pt p0, c1, c2, p1;
    bool straight = true;

    static Pt lerp(Pt a, Pt b, float t) { return Pt{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

    // The point at t (0..1) along the curve (de Casteljau).
    Pt point(float t) const {
        const Pt a = lerp(p0, c1, t), b = lerp(c1, c2, t), c = lerp(c2, p1, t);
        return lerp(lerp(a, b, t), lerp(b, c, t), t);
    }
};

// Edge i of the path through the first `count` points of the mask (all of
// them, or as many as are drawn); i < count <= mask.points.size().
inline MaskSegment maskSegment(const Mask& mask, std::size_t i, std::size_t count) {
    const MaskPoint& a = mask.points[i];
    const MaskPoint& b = mask.points[(i + 1) % count];
    const Pt pa{a.x, a.y}, pb{b.x, b.y};
    return MaskSegment{pa, a.out.value_or(pa), b.in.value_or(pb), pb, !a.out && !b.in};
}

} // namespace prismeta
