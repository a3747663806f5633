#include "geometry/SmoothVertexCache.h"

#include "core/Surface.h"
#include "geometry/Tessellation.h"

namespace prismeta {

std::span<const SurfaceVertex> SmoothVertexCache::vertices(const Surface& surface, PixelScale scale,
                                                           std::uint64_t frame) {
    if (!surface.mesh) {
        return {};
    }
    Entry& entry = entries_[surface.id];
    entry.frame = frame;
    if (!entry.made || entry.mesh != *surface.mesh || entry.scale.x != scale.x ||
        entry.scale.y != scale.y) {
        entry.mesh = *surface.mesh;
        entry.scale = scale;
        entry.made = true;
        entry.vertices.clear();
        tessellateSurface(surface, scale, entry.vertices);
    }
    return entry.vertices;
}

void SmoothVertexCache::prune(std::uint64_t frame) {
    std::erase_if(entries_, [frame](const auto& item) { return item.second.frame < frame; });
}

} // namespace prismeta
