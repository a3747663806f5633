#pragma once

#include "app/editor/EditorGeometry.h"
#include "app/editor/EditorHandles.h"
#include "app/editor/MaskGestures.h"
#include "core/Pt.h"
#include "core/Uuid.h"
#include "core/WarpMesh.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace prismeta {

class ProjectModel;

// What the editor's pointer gestures and arrow keys do to the model, without
// any widget: the view feeds it presses, moves and releases in view points
// together with the fit rectangle of the canvas, and arrow keys.
//
// - A press that grabs the edited mask (its points, handles, or its path
//   with Alt) is a mask gesture (MaskGestures), before anything else.
// - A press on a handle of the selected surface (the topmost disc under it)
//   drags that corner or mesh point: each move places the point under the
//   pointer, clamped and, with snapping on, snapped.
// - Any other press is the body gesture: it selects the surface under the
//   press and each move shifts that surface from where it started. A release
//   within 3 points of the press is a click, which selects the surface under
//   the release point or clears the selection.
// - Each gesture is one undo step, taken at its first real change; a gesture
//   that changes nothing leaves the undo and redo history alone.
// - A drag whose surface has left the list (or moved to another index), or
//   whose corner or mesh point no longer exists, changes nothing more.
// - An arrow key nudges the selected surface by one canvas pixel (ten with
//   Shift), one undo step per key press and per auto-repeat.
//
// Nothing non-finite ever reaches the model: while the fit is empty or the
// canvas size is not positive, gestures and nudges change nothing.
//
// Interface thread only, like the model it borrows, which must outlive it.
class EditorInteraction {
public:
    enum class Gesture { none, body, corner, meshPoint, mask };
    enum class Arrow { left, right, up, down };

    // A click is a press and release closer than this, in points.
    static constexpr double clickDistance = 3.0;

    explicit EditorInteraction(ProjectModel& model);

    // Starts a gesture at p on the canvas placed on `fit`; the fit is kept
    // for the whole gesture. A press during a gesture ends that one first.
    // Returns the gesture begun: none when the fit or the canvas is empty.
    // `alt`: the Alt key is held (mask gestures).
    Gesture press(ViewPoint p, const ViewRect& fit, bool alt = false);
    void move(ViewPoint p);
    void release(ViewPoint p);
    Gesture gesture() const { return gesture_; }

    // The edited mask's gestures and target.
    MaskGestures& masks() { return masks_; }
    const MaskGestures& masks() const { return masks_; }

    // The arrow key with or without Shift; false when it was not handled (no
    // selection, or nothing could move) and should pass on.
    bool nudge(Arrow arrow, bool shift, const ViewRect& fit);

    // Moves the selected surface's corners and mesh points by offset, one
    // undo step. Nothing without a selection or when a result is not finite.
    void nudgeSelected(Pt offset);

private:
    void changeBody(ViewPoint p);
    void changeHandle(ViewPoint p);
    void releaseBody(ViewPoint p);
    void pushUndoOnce();
    bool canvasUsable() const;
    void reset();

    ProjectModel& model_;
    MaskGestures masks_;
    Gesture gesture_ = Gesture::none;
    ViewRect fit_;
    ViewPoint start_;
    bool didPushUndo_ = false;

    // Body gesture: absent until the first change, -1 for a press on nothing.
    std::optional<std::ptrdiff_t> moveIndex_;
    std::optional<Uuid> moveID_;
    std::optional<std::vector<Pt>> moveStartCorners_;
    std::optional<WarpMesh> moveStartMesh_;

    // Handle gestures: the surface and the handle grabbed.
    std::size_t surfaceIndex_ = 0;
    Uuid surfaceID_;
    EditorHandle handle_;
};

} // namespace prismeta
