#pragma once

#include "app/editor/EditorGeometry.h"
#include "app/editor/MaskHandles.h"
#include "app/editor/MaskTarget.h"

#include <cstddef>
#include <optional>

namespace prismeta {

class ProjectModel;

// The editor's gestures on the edited mask (MaskTarget), through MaskEdits:
//
// - A press on a point drags it (its handles go with it), a press on a
//   handle drags that handle; with snapping on, to the 1/16 grid of the
//   mask's own coordinates. The pressed point becomes the selected one.
// - A press on a point with Alt pulls out symmetric handles: the out handle
//   follows the pointer, the in handle mirrors it.
// - A press on the path with Alt adds a point there (the curve keeps its
//   shape) and drags it on.
// - A double-click on a point makes it a corner again (no handles).
// - removeSelectedPoint() (Delete, Backspace) removes the selected point,
//   never leaving fewer than three.
//
// Each gesture is one undo step for a surface's mask, taken at its first
// real change, as corner drags are; an output's mask is written without one,
// as every output field is. A gesture whose mask is gone changes nothing more.
//
// Interface thread only; borrows the model, which must outlive it.
class MaskGestures {
public:
    // How near the path (in points) an Alt-press must land to add a point.
    static constexpr double pathTolerance = 6.0;

    explicit MaskGestures(ProjectModel& model);

    void setTarget(std::optional<MaskTarget> target);
    const std::optional<MaskTarget>& target() const { return target_; }
    // The point last pressed or added, for Delete and the overlay.
    std::optional<std::size_t> selectedPoint() const;

    // Starts a gesture when p grabs the mask; false leaves the press to the
    // editor's other gestures (and deselects the point).
    bool press(ViewPoint p, const ViewRect& fit, bool alt);
    void move(ViewPoint p);
    void release();
    bool doubleClick(ViewPoint p, const ViewRect& fit);
    bool removeSelectedPoint();

private:
    enum class Drag { none, point, handleIn, handleOut, pullHandles };

    // Lets `change` edit a copy of the mask and writes it back when it
    // changed, with an undo step (surfaces) the first time in a gesture.
    template <typename Change> bool edit(Change&& change);

    ProjectModel& model_;
    std::optional<MaskTarget> target_;
    std::optional<std::size_t> selected_;
    Drag drag_ = Drag::none;
    std::size_t point_ = 0;
    ViewRect fit_;
    bool didPushUndo_ = false;
};

} // namespace prismeta
