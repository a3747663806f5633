#pragma once

#include "core/Mask.h"
#include "masks/CoverageImage.h"
#include "masks/MaskRaster.h"
#include "masks/PixelRect.h"

#include <span>
#include <vector>

namespace prismeta {

// One record's mask coverage kept from one rasterising to the next, so that
// a drag redraws only the pixels it can change (changedCoverage) and keeps
// the rest; any other change (a feather, a mask added, another space or
// size) rasterises the whole image again. Each pixel comes out as
// rasterizeMasks would make it.
//
// Owned and used by one thread at a time.
class IncrementalCoverage {
public:
    // Brings the image to the coverage of masks over space at width x height
    // and returns the pixels rasterised again (the whole image, part of it,
    // or none when nothing drawn changed).
    PixelRect update(std::span<const Mask> masks, const MaskSpace& space, int width, int height);
    const CoverageImage& image() const { return image_; }
    // Forgets the image: the next update rasterises all of it.
    void reset();

private:
    std::vector<Mask> masks_;
    MaskSpace space_;
    CoverageImage image_;
    bool valid_ = false;
};

} // namespace prismeta
