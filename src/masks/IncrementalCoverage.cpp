#include "masks/IncrementalCoverage.h"

#include "masks/CoverageChange.h"

namespace prismeta {

PixelRect IncrementalCoverage::update(std::span<const Mask> masks, const MaskSpace& space,
                                      int width, int height) {
    if (valid_ && image_.width > 0 && image_.width == width && image_.height == height &&
        space_ == space) {
        if (const auto changed = changedCoverage(masks_, masks, space, width, height)) {
            if (!changed->empty()) {
                rasterizeMasksRegion(masks, space, image_, *changed);
            }
            masks_.assign(masks.begin(), masks.end());
            return *changed;
        }
    }
    image_ = rasterizeMasks(masks, space, width, height);
    masks_.assign(masks.begin(), masks.end());
    space_ = space;
    valid_ = true;
    return PixelRect{0, 0, image_.width, image_.height};
}

void IncrementalCoverage::reset() {
    valid_ = false;
    masks_.clear();
    image_ = CoverageImage{};
}

} // namespace prismeta
