#pragma once

#include "core/Pt.h"

#include <array>
#include <span>

namespace prismeta {

// The homogeneous weights q0..q3 of one quad's corners (in order around its
// boundary), from the crossing of its diagonals: each corner weighs its
// diagonal's length over the distance from the crossing to the opposite
// corner. Interpolating (u*q, v*q, q) linearly and dividing per fragment then
// shows the unit square in perspective, seamless across the diagonal 0-2.
//
// All ones (plain linear mapping) for any count other than four points,
// (near-)parallel diagonals or a corner on the crossing. Single precision
// throughout; no convexity test. Pure; any thread.
std::array<float, 4> projectiveWeights(std::span<const Pt> corners);

} // namespace prismeta
