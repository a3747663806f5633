#pragma once

#include "app/editor/EditorGeometry.h"
#include "app/editor/MaskTarget.h"
#include "core/Mask.h"
#include "masks/MaskEdits.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace prismeta {

class ProjectModel;
struct Surface;

// The mask the editor edits, looked up in the model, and where its points,
// handles and path lie in the editor's view points. A surface's mask is in
// its picture's coordinates and is carried onto the canvas through the
// surface's corners or mesh (PictureMapping); an output's mask is in canvas
// coordinates already. Plain functions, interface thread (they borrow the
// model's records, valid until the model changes).

struct EditedMask {
    MaskTarget target;
    const Mask* mask = nullptr;
    // The record's position in the model's surfaces or outputs.
    std::size_t recordIndex = 0;
    // For a surface's mask, the surface it is drawn through.
    const Surface* surface = nullptr;
};

// The target's mask, when it exists (and, for a surface, while that surface
// is the selected one).
std::optional<EditedMask> findEditedMask(const ProjectModel& model,
                                         const std::optional<MaskTarget>& target);

std::optional<ViewPoint> maskToView(const EditedMask& edited, const ViewRect& fit, Pt p);
std::optional<Pt> viewToMask(const EditedMask& edited, const ViewRect& fit, ViewPoint v);

enum class MaskHandleKind { point, in, out };

// Radii in points: a point's square, a handle's disc.
inline constexpr double maskPointRadius = 5.0;
inline constexpr double maskHandleRadius = 4.0;

struct MaskHandle {
    MaskHandleKind kind = MaskHandleKind::point;
    std::size_t point = 0;
    ViewPoint center;
};

// Calls visit(const MaskHandle&) for each Bézier handle the mask's points
// have, then for each point (drawing order: points lie over handles), for
// the points a mask may draw (Mask::maxDrawnPoints).
template <typename Visit>
void forEachMaskHandle(const EditedMask& edited, const ViewRect& fit, Visit&& visit) {
    const auto& points = edited.mask->points;
    const std::size_t count =
        points.size() < Mask::maxDrawnPoints ? points.size() : Mask::maxDrawnPoints;
    for (std::size_t k = 0; k < count; ++k) {
        for (const auto kind : {MaskHandleKind::in, MaskHandleKind::out}) {
            const std::optional<Pt>& handle =
                kind == MaskHandleKind::in ? points[k].in : points[k].out;
            if (handle) {
                if (const auto at = maskToView(edited, fit, *handle)) {
                    visit(MaskHandle{kind, k, *at});
                }
            }
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (const auto at = maskToView(edited, fit, Pt{points[k].x, points[k].y})) {
            visit(MaskHandle{MaskHandleKind::point, k, *at});
        }
    }
}

// What a press at p grabs: the nearest point within its radius, else the
// nearest handle within its radius.
std::optional<MaskHandle> maskHandleAt(const EditedMask& edited, const ViewRect& fit, ViewPoint p);

// Calls visit(ViewPoint, bool first) along the closed path, segment by
// segment: a Bézier, or any segment of a mesh-warped surface's mask (the
// mesh bends it), in 24 steps; a straight one in one step (a perspective map
// keeps it straight). `first` starts the path.
void forEachPathSample(const EditedMask& edited, const ViewRect& fit,
                       const std::function<void(ViewPoint, bool)>& visit);

// Where on the path a press at p lands, within `tolerance` points.
std::optional<PathHit> maskPathAt(const EditedMask& edited, const ViewRect& fit, ViewPoint p,
                                  double tolerance);

} // namespace prismeta
