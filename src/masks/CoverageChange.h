#pragma once

#include "core/Mask.h"
#include "masks/MaskRaster.h"
#include "masks/PixelRect.h"

#include <optional>
#include <span>

namespace prismeta {

// The pixels of a width x height coverage image of space that can differ
// between the coverage of `before` and that of `after`, when the only
// differences are moved points and handles (a drag): the rows of the boxes
// around the changed segments' control points before and after (a Bézier
// segment lies within them, and so does every pixel whose winding the move
// changes), whole rows (the anti-aliasing of a row depends on all the edges
// crossing it), grown by a pixel and by the mask's feather band, clipped to
// the image. Empty when nothing drawn changed (a name, a mask that
// draws neither before nor after). No value when the change is not local:
// masks added, removed or reordered, a feather, invert or enabled change,
// points added or removed, a coordinate that is not finite, a path of
// straight segments across and down made slanted or the other way (Cairo
// fills those two kinds by different methods).
std::optional<PixelRect> changedCoverage(std::span<const Mask> before, std::span<const Mask> after,
                                         const MaskSpace& space, int width, int height);

} // namespace prismeta
