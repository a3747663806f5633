#include "masks/MaskEdits.h"

#include "masks/MaskSegment.h"

#include <cmath>
#include <numbers>

namespace prismeta {

namespace {

using Segment = MaskSegment;

constexpr auto lerp = &MaskSegment::lerp;

Segment segment(const Mask& mask, std::size_t i) {
    return maskSegment(mask, i, mask.points.size());
}

} // namespace

bool movePoint(Mask& mask, std::size_t k, Pt to) {
    if (k >= mask.points.size()) {
        return false;
    }
    MaskPoint& p = mask.points[k];
    const float dx = to.x - p.x;
    const float dy = to.y - p.y;
    for (std::optional<Pt>* handle : {&p.in, &p.out}) {
        if (*handle) {
            **handle = Pt{(*handle)->x + dx, (*handle)->y + dy};
        }
    }
    p.x = to.x;
    p.y = to.y;
    return true;
}

std::optional<PathHit> hitPath(const Mask& mask, Pt p, float tolerance) {
    if (!mask.drawable()) {
        return std::nullopt;
    }
    // Each segment sampled finely enough for a click: 64 steps, then the
    // nearest step refined by halving.
    std::optional<PathHit> best;
    float bestDistance = tolerance;
    const auto distance = [&p](Pt q) { return std::hypot(q.x - p.x, q.y - p.y); };
    for (std::size_t i = 0; i < mask.points.size(); ++i) {
        const Segment s = segment(mask, i);
        constexpr int steps = 64;
        for (int j = 0; j <= steps; ++j) {
            float t = static_cast<float>(j) / steps;
            float d = distance(s.point(t));
            for (float half = 0.5f / steps; half > 1e-6f; half *= 0.5f) {
                for (float probe : {t - half, t + half}) {
                    if (probe >= 0.0f && probe <= 1.0f && distance(s.point(probe)) < d) {
                        t = probe;
                        d = distance(s.point(probe));
                    }
                }
            }
            if (d <= bestDistance) {
                bestDistance = d;
                best = PathHit{i, t};
            }
        }
    }
    return best;
}

bool insertPoint(Mask& mask, const PathHit& hit) {
    if (hit.segment >= mask.points.size() || !(hit.t > 0.0f && hit.t < 1.0f)) {
        return false;
    }
    const Segment s = segment(mask, hit.segment);
    const std::size_t next = (hit.segment + 1) % mask.points.size();
    MaskPoint inserted;
    if (s.straight) {
        const Pt p = lerp(s.p0, s.p1, hit.t);
        inserted = MaskPoint{p.x, p.y, std::nullopt, std::nullopt};
    } else {
        const float t = hit.t;
        const Pt a = lerp(s.p0, s.c1, t), b = lerp(s.c1, s.c2, t), c = lerp(s.c2, s.p1, t);
        const Pt d = lerp(a, b, t), e = lerp(b, c, t);
        const Pt p = lerp(d, e, t);
        inserted = MaskPoint{p.x, p.y, d, e};
        mask.points[hit.segment].out = a;
        mask.points[next].in = c;
    }
    mask.points.insert(mask.points.begin() + static_cast<std::ptrdiff_t>(hit.segment) + 1,
                       inserted);
    return true;
}

bool removePoint(Mask& mask, std::size_t k) {
    if (k >= mask.points.size() || mask.points.size() <= Mask::minPoints) {
        return false;
    }
    mask.points.erase(mask.points.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

bool pullSymmetricHandles(Mask& mask, std::size_t k, Pt out) {
    if (k >= mask.points.size()) {
        return false;
    }
    MaskPoint& p = mask.points[k];
    p.out = out;
    p.in = Pt{2.0f * p.x - out.x, 2.0f * p.y - out.y};
    return true;
}

bool makeCorner(Mask& mask, std::size_t k) {
    if (k >= mask.points.size()) {
        return false;
    }
    mask.points[k].in.reset();
    mask.points[k].out.reset();
    return true;
}

Pt snapToGrid(Pt p, float step) {
    return Pt{std::round(p.x / step) * step, std::round(p.y / step) * step};
}

Mask makeMaskShape(MaskShape shape) {
    Mask mask;
    const auto corner = [](double x, double y) {
        return MaskPoint{static_cast<float>(x), static_cast<float>(y), std::nullopt, std::nullopt};
    };
    switch (shape) {
    case MaskShape::triangle:
        mask.name = "Triangle";
        mask.points = {corner(0.5, 0), corner(1, 1), corner(0, 1)};
        break;
    case MaskShape::circle: {
        mask.name = "Circle";
        constexpr float h = 0.5f * 0.5522847498f;
        mask.points = {MaskPoint{0.5f, 0.0f, Pt{0.5f - h, 0.0f}, Pt{0.5f + h, 0.0f}},
                       MaskPoint{1.0f, 0.5f, Pt{1.0f, 0.5f - h}, Pt{1.0f, 0.5f + h}},
                       MaskPoint{0.5f, 1.0f, Pt{0.5f + h, 1.0f}, Pt{0.5f - h, 1.0f}},
                       MaskPoint{0.0f, 0.5f, Pt{0.0f, 0.5f + h}, Pt{0.0f, 0.5f - h}}};
        break;
    }
    case MaskShape::hexagon:
        mask.name = "Hexagon";
        for (int i = 0; i < 6; ++i) {
            const double angle = std::numbers::pi / 3.0 * i;
            mask.points.push_back(corner(0.5 + 0.5 * std::cos(angle), 0.5 + 0.5 * std::sin(angle)));
        }
        break;
    case MaskShape::polygon:
        // The picture's own four corners, to be reshaped point by point.
        mask.name = "Polygon";
        mask.points = {corner(0, 0), corner(1, 0), corner(1, 1), corner(0, 1)};
        break;
    }
    return mask;
}

} // namespace prismeta
