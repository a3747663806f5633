#include "core/SurfaceList.h"

#include <utility>

namespace prismeta {

namespace {
const std::shared_ptr<const std::vector<Surface>>& emptyStorage() {
    static const auto empty = std::make_shared<const std::vector<Surface>>();
    return empty;
}
} // namespace

SurfaceList::SurfaceList() : items_(emptyStorage()) {}

SurfaceList::SurfaceList(std::vector<Surface> surfaces)
    : items_(std::make_shared<const std::vector<Surface>>(std::move(surfaces))) {}

SurfaceList SurfaceList::replacing(std::size_t index, Surface surface) const {
    std::vector<Surface> items = copy();
    items.at(index) = std::move(surface);
    return SurfaceList(std::move(items));
}

} // namespace prismeta
