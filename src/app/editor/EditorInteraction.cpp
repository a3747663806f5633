#include "app/editor/EditorInteraction.h"

#include "core/ProjectModel.h"

#include <cmath>
#include <utility>

namespace prismeta {

namespace {

Pt offsetBy(Pt p, Pt d) {
    return Pt{p.x + d.x, p.y + d.y};
}

// Writes `from` moved by d into `to`; false when a moved point is not finite
// (a point near the float range's edge, or an absurd offset).
bool moveAll(const std::vector<Pt>& from, Pt d, std::vector<Pt>& to) {
    to.resize(from.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        to[i] = offsetBy(from[i], d);
        if (!isFinite(to[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

EditorInteraction::EditorInteraction(ProjectModel& model) : model_(model), masks_(model) {}

bool EditorInteraction::canvasUsable() const {
    const CanvasSize size = model_.canvasSize();
    return std::isfinite(size.width) && std::isfinite(size.height) && size.width > 0.0 &&
           size.height > 0.0;
}

EditorInteraction::Gesture EditorInteraction::press(ViewPoint p, const ViewRect& fit, bool alt) {
    reset();
    if (fit.isEmpty() || !canvasUsable()) {
        return Gesture::none;
    }
    fit_ = fit;
    start_ = p;

    if (masks_.press(p, fit, alt)) {
        gesture_ = Gesture::mask;
        return gesture_;
    }

    if (const auto selected = model_.selectedIndex()) {
        const Surface& surface = model_.surfaces()[*selected];
        if (const auto hit = topmostHandleAt(surface, fit, p)) {
            handle_ = *hit;
            surfaceIndex_ = *selected;
            surfaceID_ = surface.id;
            gesture_ = handle_.kind == HandleKind::corner ? Gesture::corner : Gesture::meshPoint;
            // A handle changes nothing until the pointer moves: a click on
            // it is not an edit.
            return gesture_;
        }
    }
    gesture_ = Gesture::body;
    // The body gesture's first change is the press itself: it picks and
    // selects the surface under the pointer.
    changeBody(p);
    return gesture_;
}

void EditorInteraction::move(ViewPoint p) {
    switch (gesture_) {
    case Gesture::body:
        changeBody(p);
        break;
    case Gesture::corner:
    case Gesture::meshPoint:
        changeHandle(p);
        break;
    case Gesture::mask:
        masks_.move(p);
        break;
    case Gesture::none:
        break;
    }
}

void EditorInteraction::release(ViewPoint p) {
    if (gesture_ == Gesture::body) {
        releaseBody(p);
    } else if (gesture_ == Gesture::mask) {
        masks_.release();
    }
    reset();
}

void EditorInteraction::reset() {
    gesture_ = Gesture::none;
    didPushUndo_ = false;
    moveIndex_.reset();
    moveID_.reset();
    moveStartCorners_.reset();
    moveStartMesh_.reset();
}

void EditorInteraction::pushUndoOnce() {
    if (!didPushUndo_) {
        model_.pushUndo(gesture_ == Gesture::corner      ? "Move Corner"
                        : gesture_ == Gesture::meshPoint ? "Move Mesh Point"
                                                         : "Move Surface");
        didPushUndo_ = true;
    }
}

void EditorInteraction::changeBody(ViewPoint p) {
    if (!moveIndex_) {
        moveIndex_ = -1;
        const Pt q = viewToCanvas(fit_, start_);
        const std::optional<Uuid> id = isFinite(q) ? model_.surface(q) : std::nullopt;
        if (id) {
            const SurfaceList& list = model_.surfaces();
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (list[i].id == *id) {
                    moveIndex_ = static_cast<std::ptrdiff_t>(i);
                    moveID_ = id;
                    moveStartCorners_ = list[i].corners;
                    moveStartMesh_ = list[i].mesh;
                    model_.setSelectedID(id);
                    break;
                }
            }
        }
    }
    if (*moveIndex_ < 0 || !moveStartCorners_) {
        return;
    }
    const SurfaceList& list = model_.surfaces();
    const auto index = static_cast<std::size_t>(*moveIndex_);
    // The list may have changed under the drag (an undo, a delete by
    // shortcut): the start positions belong to one surface only.
    if (index >= list.size() || list[index].id != *moveID_) {
        return;
    }
    // Until the pointer leaves the press location the surface has not moved:
    // no write, and above all no undo step, which would empty the redo stack.
    if (!didPushUndo_ && p == start_) {
        return;
    }
    const Pt d{static_cast<float>((p.x - start_.x) / fit_.width),
               static_cast<float>((p.y - start_.y) / fit_.height)};
    Surface moved = list[index];
    if (!moveAll(*moveStartCorners_, d, moved.corners)) {
        return;
    }
    if (moveStartMesh_) {
        WarpMesh mesh;
        mesh.cols = moveStartMesh_->cols;
        mesh.rows = moveStartMesh_->rows;
        mesh.interpolation = moveStartMesh_->interpolation;
        if (!moveAll(moveStartMesh_->points, d, mesh.points)) {
            return;
        }
        moved.mesh = std::move(mesh);
    }
    pushUndoOnce();
    model_.replaceSurface(index, std::move(moved));
}

void EditorInteraction::releaseBody(ViewPoint p) {
    if (std::hypot(p.x - start_.x, p.y - start_.y) < clickDistance) {
        const Pt q = viewToCanvas(fit_, p);
        if (isFinite(q)) {
            model_.setSelectedID(model_.surface(q));
        }
    }
}

void EditorInteraction::changeHandle(ViewPoint p) {
    const SurfaceList& list = model_.surfaces();
    // Checked against the list as it is now: an undo or a shortcut may have
    // removed the surface or shrunk its corners or mesh since the press.
    if (surfaceIndex_ >= list.size() || list[surfaceIndex_].id != surfaceID_) {
        return;
    }
    const Surface& surface = list[surfaceIndex_];
    const Pt placed =
        placeDraggedPoint(viewToCanvas(fit_, p), model_.snapEnabled(), ProjectModel::snapGrid);
    if (!isFinite(placed)) {
        return;
    }
    Surface edited = surface;
    if (gesture_ == Gesture::corner) {
        if (handle_.index >= surface.corners.size()) {
            return;
        }
        edited.corners[handle_.index] = placed;
    } else {
        if (!surface.mesh) {
            return;
        }
        const auto point = meshPointIndex(handle_.row, handle_.column, surface.mesh->cols,
                                          surface.mesh->points.size());
        if (!point) {
            return;
        }
        edited.mesh->points[*point] = placed;
    }
    pushUndoOnce();
    model_.replaceSurface(surfaceIndex_, std::move(edited));
}

bool EditorInteraction::nudge(Arrow arrow, bool shift, const ViewRect& fit) {
    if (!model_.selectedIndex() || fit.isEmpty() || !canvasUsable()) {
        return false;
    }
    const float step = shift ? 10.0f : 1.0f;
    const CanvasSize size = model_.canvasSize();
    const float width = static_cast<float>(size.width);
    const float height = static_cast<float>(size.height);
    Pt offset;
    switch (arrow) {
    case Arrow::left:
        offset = Pt{-step / width, 0.0f};
        break;
    case Arrow::right:
        offset = Pt{step / width, 0.0f};
        break;
    case Arrow::up:
        offset = Pt{0.0f, -step / height};
        break;
    case Arrow::down:
        offset = Pt{0.0f, step / height};
        break;
    }
    if (!isFinite(offset)) {
        return false;
    }
    nudgeSelected(offset);
    return true;
}

void EditorInteraction::nudgeSelected(Pt offset) {
    const auto index = model_.selectedIndex();
    if (!index) {
        return;
    }
    Surface moved = model_.surfaces()[*index];
    if (!moveAll(model_.surfaces()[*index].corners, offset, moved.corners)) {
        return;
    }
    if (moved.mesh &&
        !moveAll(model_.surfaces()[*index].mesh->points, offset, moved.mesh->points)) {
        return;
    }
    // Every nudge, auto-repeats included, is an undo step of its own.
    model_.pushUndo("Nudge Surface");
    model_.replaceSurface(*index, std::move(moved));
}

} // namespace prismeta
