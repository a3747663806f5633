#include "app/editor/MaskHandles.h"

#include "core/ProjectModel.h"
#include "geometry/PictureMapping.h"
#include "masks/MaskSegment.h"

#include <cmath>
#include <limits>
#include <optional>

namespace prismeta {

namespace {

std::size_t drawnPoints(const Mask& mask) {
    return mask.points.size() < Mask::maxDrawnPoints ? mask.points.size() : Mask::maxDrawnPoints;
}

// A perspective map keeps straight lines straight; a mesh bends them.
int stepsFor(const EditedMask& edited, const MaskSegment& c) {
    const bool bends = edited.surface != nullptr && edited.surface->mesh.has_value();
    return c.straight && !bends ? 1 : 24;
}

// Calls visit(segment, t, view point) for every sample of every segment,
// each segment's start included, its end left to the next segment.
template <typename Visit>
void walkPath(const EditedMask& edited, const ViewRect& fit, Visit&& visit) {
    const Mask& mask = *edited.mask;
    const std::size_t count = drawnPoints(mask);
    if (count < Mask::minPoints) {
        return;
    }
    // A surface's map made once for every sample (a smooth mesh's is built
    // from all its points).
    std::optional<PictureMap> map;
    if (edited.surface != nullptr) {
        const Surface& surface = *edited.surface;
        map.emplace(surface.corners, surface.mesh ? &*surface.mesh : nullptr);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const MaskSegment c = maskSegment(mask, i, count);
        const int steps = stepsFor(edited, c);
        for (int j = 0; j < steps; ++j) {
            const float t = static_cast<float>(j) / static_cast<float>(steps);
            const Pt p = c.point(t);
            if (!map) {
                if (const auto v = maskToView(edited, fit, p)) {
                    visit(i, t, *v);
                }
            } else if (const std::optional<Pt> canvas = (*map)(p)) {
                visit(i, t, canvasToView(fit, *canvas));
            }
        }
    }
}

double distance(ViewPoint a, ViewPoint b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

std::optional<EditedMask> findEditedMask(const ProjectModel& model,
                                         const std::optional<MaskTarget>& target) {
    if (!target) {
        return std::nullopt;
    }
    if (target->record == MaskTarget::Record::surface) {
        const auto selected = model.selectedIndex();
        if (!selected || model.surfaces()[*selected].id != target->id) {
            return std::nullopt;
        }
        const Surface& surface = model.surfaces()[*selected];
        if (target->mask >= surface.masks.size()) {
            return std::nullopt;
        }
        return EditedMask{*target, &surface.masks[target->mask], *selected, &surface};
    }
    const std::vector<OutputConfig>& outputs = model.outputs();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].id == target->id) {
            if (target->mask >= outputs[i].masks.size()) {
                return std::nullopt;
            }
            return EditedMask{*target, &outputs[i].masks[target->mask], i, nullptr};
        }
    }
    return std::nullopt;
}

std::optional<ViewPoint> maskToView(const EditedMask& edited, const ViewRect& fit, Pt p) {
    if (edited.surface == nullptr) {
        return isFinite(p) ? std::optional<ViewPoint>(canvasToView(fit, p)) : std::nullopt;
    }
    const std::optional<Pt> canvas = pictureToCanvas(*edited.surface, p);
    if (!canvas) {
        return std::nullopt;
    }
    return canvasToView(fit, *canvas);
}

std::optional<Pt> viewToMask(const EditedMask& edited, const ViewRect& fit, ViewPoint v) {
    const Pt canvas = viewToCanvas(fit, v);
    if (!isFinite(canvas)) {
        return std::nullopt;
    }
    if (edited.surface == nullptr) {
        return canvas;
    }
    return canvasToPicture(*edited.surface, canvas);
}

std::optional<MaskHandle> maskHandleAt(const EditedMask& edited, const ViewRect& fit, ViewPoint p) {
    std::optional<MaskHandle> point;
    std::optional<MaskHandle> handle;
    double pointDistance = maskPointRadius;
    double handleDistance = maskHandleRadius;
    forEachMaskHandle(edited, fit, [&](const MaskHandle& h) {
        const double d = distance(h.center, p);
        if (h.kind == MaskHandleKind::point && d <= pointDistance) {
            pointDistance = d;
            point = h;
        } else if (h.kind != MaskHandleKind::point && d <= handleDistance) {
            handleDistance = d;
            handle = h;
        }
    });
    return point ? point : handle;
}

void forEachPathSample(const EditedMask& edited, const ViewRect& fit,
                       const std::function<void(ViewPoint, bool)>& visit) {
    bool first = true;
    walkPath(edited, fit, [&](std::size_t, float, ViewPoint v) {
        visit(v, first);
        first = false;
    });
}

std::optional<PathHit> maskPathAt(const EditedMask& edited, const ViewRect& fit, ViewPoint p,
                                  double tolerance) {
    // Each pair of neighbouring samples as a straight piece; the hit's t is
    // interpolated along the piece nearest p.
    std::optional<PathHit> best;
    double bestDistance = tolerance;
    bool havePrevious = false;
    std::size_t previousSegment = 0;
    float previousT = 0.0f;
    ViewPoint previous;
    std::optional<ViewPoint> first;
    const auto piece = [&](std::size_t seg, float t0, ViewPoint a, float t1, ViewPoint b) {
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double length2 = dx * dx + dy * dy;
        double u = length2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
        u = u < 0.0 ? 0.0 : (u > 1.0 ? 1.0 : u);
        const double d = distance(p, ViewPoint{a.x + u * dx, a.y + u * dy});
        if (d <= bestDistance) {
            bestDistance = d;
            best = PathHit{seg, t0 + (t1 - t0) * static_cast<float>(u)};
        }
    };
    walkPath(edited, fit, [&](std::size_t seg, float t, ViewPoint v) {
        if (!first) {
            first = v;
        }
        if (havePrevious) {
            // A new segment's start is the previous segment's end (t = 1).
            piece(previousSegment, previousT, previous, seg == previousSegment ? t : 1.0f, v);
        }
        havePrevious = true;
        previousSegment = seg;
        previousT = t;
        previous = v;
    });
    if (havePrevious && first) {
        piece(previousSegment, previousT, previous, 1.0f, *first);
    }
    // A straight segment drawn in one piece through a perspective map: t
    // along the view is not t along the mask, so it is found in the mask.
    if (best) {
        const MaskSegment c = maskSegment(*edited.mask, best->segment, drawnPoints(*edited.mask));
        const std::optional<Pt> q = viewToMask(edited, fit, p);
        if (c.straight && stepsFor(edited, c) == 1 && q) {
            const double dx = c.p1.x - c.p0.x, dy = c.p1.y - c.p0.y;
            const double length2 = dx * dx + dy * dy;
            if (length2 > 0.0) {
                const double t = ((q->x - c.p0.x) * dx + (q->y - c.p0.y) * dy) / length2;
                best->t = static_cast<float>(t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t));
            }
        }
    }
    return best;
}

} // namespace prismeta
