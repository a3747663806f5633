#include "geometry/ProjectiveWeights.h"

#include <cmath>

namespace prismeta {

namespace {

float cross(float ax, float ay, float bx, float by) {
    return ax * by - ay * bx;
}

float distance(float ax, float ay, float bx, float by) {
    const float dx = ax - bx;
    const float dy = ay - by;
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace

std::array<float, 4> projectiveWeights(std::span<const Pt> corners) {
    constexpr std::array<float, 4> linear = {1.0f, 1.0f, 1.0f, 1.0f};
    if (corners.size() != 4) {
        return linear;
    }
    const Pt p0 = corners[0];
    const Pt p1 = corners[1];
    const Pt p2 = corners[2];
    const Pt p3 = corners[3];

    const float d1x = p2.x - p0.x;
    const float d1y = p2.y - p0.y;
    const float d2x = p3.x - p1.x;
    const float d2y = p3.y - p1.y;
    const float den = cross(d1x, d1y, d2x, d2y);
    if (std::fabs(den) < 1e-8f) {
        return linear; // parallel diagonals, or one of zero length
    }
    const float t = cross(p1.x - p0.x, p1.y - p0.y, d2x, d2y) / den;
    const float cx = p0.x + t * d1x;
    const float cy = p0.y + t * d1y;

    const float e0 = distance(cx, cy, p0.x, p0.y);
    const float e1 = distance(cx, cy, p1.x, p1.y);
    const float e2 = distance(cx, cy, p2.x, p2.y);
    const float e3 = distance(cx, cy, p3.x, p3.y);
    // A corner on the crossing would divide by zero. A non-number fails these
    // tests and deliberately flows into the weights.
    if (e0 < 1e-6f || e1 < 1e-6f || e2 < 1e-6f || e3 < 1e-6f) {
        return linear;
    }
    return {(e0 + e2) / e2, (e1 + e3) / e3, (e2 + e0) / e0, (e3 + e1) / e1};
}

} // namespace prismeta
