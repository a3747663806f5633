#pragma once

#include "app/editor/EditorGeometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace prismeta {

struct Surface;

// The grab handles of the selected surface: a disc per corner, or, for a
// meshed surface, a disc per mesh point instead, in index order (a later
// handle lies over an earlier one). Plain values, rebuilt from the model
// whenever they are drawn or hit-tested; any thread.

enum class HandleKind { corner, meshPoint };

// Radii in points.
inline constexpr double cornerHandleRadius = 8.0;
inline constexpr double meshHandleRadius = 5.0;

struct EditorHandle {
    HandleKind kind = HandleKind::corner;
    // The corner index, or the mesh point's index in the list.
    std::size_t index = 0;
    // A mesh point's place in the grid it was built from, which is where a
    // drag writes back even if the column count changes meanwhile.
    std::int64_t row = 0;
    std::int64_t column = 0;
    ViewPoint center;
    double radius = cornerHandleRadius;
};

// Replaces `out` with the handles of `surface` on the fit rectangle: corner
// handles for corners 0 to 3 where they exist, or one handle per mesh point
// the mesh holds. `out` keeps its storage between calls.
void collectHandles(const Surface& surface, const ViewRect& fit, std::vector<EditorHandle>& out);

// The topmost handle (the last in the list) whose disc contains p.
std::optional<std::size_t> topmostHandleAt(const std::vector<EditorHandle>& handles, ViewPoint p);

// Where a mesh point of (row, column) lies in a mesh of `cols` columns
// holding `pointCount` points, or nothing when the grid has no such point.
std::optional<std::size_t> meshPointIndex(std::int64_t row, std::int64_t column, std::int64_t cols,
                                          std::size_t pointCount);

} // namespace prismeta
