#pragma once

#include "core/Mask.h"
#include "masks/CoverageImage.h"
#include "masks/PixelRect.h"

#include <span>

namespace prismeta {

// The rectangle of mask coordinates an image covers: a surface's picture
// (0, 0, 1, 1) or an output's crop of the canvas.
struct MaskSpace {
    double x = 0.0;
    double y = 0.0;
    double width = 1.0;
    double height = 1.0;

    friend bool operator==(const MaskSpace&, const MaskSpace&) = default;
};

inline constexpr int maxCoverageSide = 8192;

// Whether any of the masks draws (enabled, three points or more, among the
// first Mask::maxDrawnMasks); a record whose masks all draw nothing is drawn
// as if it had none.
bool anyMaskDraws(std::span<const Mask> masks);

// The coverage of the masks over a width x height image of space: per pixel
// max(m) over the drawn normal masks (1 when there are none) times
// (1 - max(m)) over the inverted ones. m is the path's anti-aliased coverage
// (non-zero winding, Cairo), and with a feather of at least one pixel the
// linear ramp from 0 at the path to 1 at `feather` inside it. Distances are
// measured in mask units (the image's pixels may be wider than high); the
// ramp comes from an exact Euclidean distance transform over the coverage,
// computed on an image padded by the feather so a path just outside the image
// still shapes the ramp inside it.
//
// Large images are rasterised in bands of rows, shared with one helper
// thread for the call's length; every pixel comes out the same whatever the
// bands.
//
// Sizes below 1 or above maxCoverageSide give an empty image. Any thread.
CoverageImage rasterizeMasks(std::span<const Mask> masks, const MaskSpace& space, int width,
                             int height);

// Rasterises again only the pixels of `area` (clipped to the image) of an
// image rasterizeMasks made for the same space and size, leaving the rest as
// it was: each pixel comes out as rasterizeMasks would make it (the distance
// transform runs over the area grown by the feather band, so the ramp sees
// every part of the path that shapes it). Does nothing to an empty image.
void rasterizeMasksRegion(std::span<const Mask> masks, const MaskSpace& space, CoverageImage& image,
                          PixelRect area);

// How far, in pixels across and down, a change to the path of `mask` can
// change the coverage of a width x height image of space: the pixels whose
// ramp the changed pixels shape (0 without a feather). At most the image's
// own sides.
struct PixelReach {
    int across = 0;
    int down = 0;
};
PixelReach featherReach(const Mask& mask, const MaskSpace& space, int width, int height);

// Where mask coordinates fall on a width x height image of space, in pixels
// (clamped as the rasteriser clamps them).
double maskToPixelX(double x, const MaskSpace& space, int width);
double maskToPixelY(double y, const MaskSpace& space, int height);

} // namespace prismeta
