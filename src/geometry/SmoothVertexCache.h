#pragma once

#include "core/Uuid.h"
#include "core/WarpMesh.h"
#include "geometry/SmoothTessellation.h"
#include "geometry/SurfaceVertex.h"

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace prismeta {

struct Surface;

// The vertices of smooth-meshed surfaces, kept from frame to frame by
// whoever draws them every frame: cut again only when a surface's mesh or
// the scale it is drawn at changes, so a steady frame looks them up and
// allocates nothing. Not thread-safe; one per renderer.
class SmoothVertexCache {
public:
    // The surface's vertices at scale, as tessellateSurface makes them (empty
    // when it draws nothing). Only for a surface whose mesh is drawnSmooth.
    // Valid until the next call for another surface or prune.
    std::span<const SurfaceVertex> vertices(const Surface& surface, PixelScale scale,
                                            std::uint64_t frame);

    // Forgets the surfaces not looked up since frame.
    void prune(std::uint64_t frame);

    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        WarpMesh mesh;
        PixelScale scale;
        std::vector<SurfaceVertex> vertices;
        std::uint64_t frame = 0;
        bool made = false;
    };
    std::unordered_map<Uuid, Entry> entries_;
};

} // namespace prismeta
