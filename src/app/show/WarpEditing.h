#pragma once

#include "core/OutputConfig.h"
#include "core/OutputWarp.h"
#include "core/Uuid.h"

#include <cstddef>
#include <optional>

namespace prismeta {

class ProjectModel;

// Editing one output's warp on its projector, in the raster's own 0..1
// coordinates: the handles are its four corners (0 top-left to 3
// bottom-left), then, with a mesh, the mesh's points in row order. A corner
// drag on a meshed warp moves the whole mesh in perspective; a point drag
// moves that point (an outer one takes its corner along). Each drag, and each
// run of nudges of one handle with nothing else changing the warp in between
// (and no endNudges), is one undo step, named for what moved ("Move Warp
// Corner", "Move Warp Point"; ProjectModel::pushOutputUndo). An output
// without a warp has the placement it is drawn at on the raster
// (UnwarpedPlacement.h: its crop letterboxed), which the first edit stores:
// the handles start on the picture's corners.
//
// Interface thread only. Borrows the model, which must outlive it.
class WarpEditing {
public:
    WarpEditing(ProjectModel& model, Uuid outputID);

    // The raster's size in pixels (the output window's), which places an
    // output without a warp; unknown (0): the identity.
    void setRasterSize(int width, int height);

    // The output's warp as drawn (its unwarped placement without one); none
    // once the output is gone.
    std::optional<OutputWarp> warp() const;

    std::size_t handleCount() const;
    // Where handle h is, in raster coordinates; none for no such handle.
    std::optional<Pt> handle(std::size_t h) const;
    // Whether handle h is one of the four corners.
    static bool isCorner(std::size_t h) { return h < 4; }

    std::optional<std::size_t> selected() const;
    // The next handle in order (the first when none is selected), round;
    // and the one before (the last when none is selected).
    void selectNext();
    void selectPrevious();

    // A press at p (raster coordinates); a handle is hit within `radius` of
    // it, measured in points of a view width x height. The corners lie above
    // the mesh points. Selects and grabs the handle hit; false when none is.
    bool press(Pt p, double width, double height, double radius);
    // Selects and grabs handle h by a press at p away from it (where the
    // view shows it); false for no such handle.
    bool grab(std::size_t h, Pt p);
    // Moves the grabbed handle with the pointer (keeping where it was grabbed).
    void drag(Pt p);
    void release();
    bool dragging() const { return grabbed_.has_value(); }

    // Moves the selected handle by (dx, dy) raster units; false without one.
    bool nudge(float dx, float dy);
    // The next nudge starts an undo step of its own (the operator clicked or
    // worked elsewhere in between).
    void endNudges() { nudgeLeft_.reset(); }

private:
    // Stores handle h at p; the first write of a gesture takes the undo step.
    void place(std::size_t h, Pt p, bool& stepTaken);

    // The warp of `output`, or where it is drawn without one.
    OutputWarp drawnWarp(const OutputConfig& output) const;

    ProjectModel& model_;
    Uuid id_;
    int rasterWidth_ = 0;
    int rasterHeight_ = 0;
    std::optional<std::size_t> selected_;
    std::optional<std::size_t> grabbed_;
    Pt grabOffset_;
    bool dragStep_ = false;
    // The warp the last nudge left, and its handle: a nudge that finds both
    // as they were continues the same undo step.
    std::optional<OutputWarp> nudgeLeft_;
    std::size_t nudgeHandle_ = 0;
};

} // namespace prismeta
