#pragma once

#include "core/Mask.h"

#include <cstddef>
#include <optional>

namespace prismeta {

// The editing operations behind the editor's mask gestures, on one mask, in
// the mask's own coordinates. Each is one whole edit (one undo step for the
// caller); none leaves a mask with fewer points than it may draw.

// Moves point k, its handles with it (the curve keeps its shape). False
// when there is no such point.
bool movePoint(Mask& mask, std::size_t k, Pt to);

// Where a click lands on the path: the segment from point `segment` to the
// next, at curve parameter t; nothing when no segment passes within
// `tolerance` (in mask units) of p.
struct PathHit {
    std::size_t segment = 0;
    float t = 0.0f;
};
std::optional<PathHit> hitPath(const Mask& mask, Pt p, float tolerance);

// Splits the segment at t with a new point after `segment`, keeping the curve
// as it was (de Casteljau); a straight segment gets a point without handles.
bool insertPoint(Mask& mask, const PathHit& at);

// Removes point k unless that would leave fewer than three.
bool removePoint(Mask& mask, std::size_t k);

// Gives point k the out handle `out` and the mirror image of it as its in
// handle (Alt-drag from a point).
bool pullSymmetricHandles(Mask& mask, std::size_t k, Pt out);

// Turns point k back into a corner: no handles (double-click).
bool makeCorner(Mask& mask, std::size_t k);

// The nearest point of a grid of `step` (the editor's 1/16 snap).
Pt snapToGrid(Pt p, float step = 1.0f / 16.0f);

// What "Mask Shape" gives a surface: a mask that fills its whole picture
// with the shape, so the surface is that shape on the wall.
enum class MaskShape { triangle = 0, circle = 1, hexagon = 2, polygon = 3 };
Mask makeMaskShape(MaskShape shape);

} // namespace prismeta
