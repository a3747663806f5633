#include "cues/TrackedLook.h"

#include <unordered_map>
#include <unordered_set>

namespace prismeta {

void applyLook(Surface& surface, const CueLook& look) {
    if (look.opacity) {
        surface.opacity = *look.opacity;
    }
    if (look.color) {
        surface.color = *look.color;
    }
    if (look.mediaKind) {
        surface.mediaKind = *look.mediaKind;
    }
    if (look.mediaPath) {
        surface.mediaPath = *look.mediaPath;
    }
    if (look.shaderInputs) {
        surface.shaderInputs = *look.shaderInputs;
    }
}

bool sameLook(const Surface& a, const Surface& b) {
    return a.mediaKind == b.mediaKind && a.mediaPath == b.mediaPath && a.color == b.color &&
           a.opacity == b.opacity && a.shaderInputs == b.shaderInputs;
}

namespace {

// Where each id sits in the list (a hostile file may repeat ids: every
// surface with the id takes the look).
using SurfaceIndex = std::unordered_multimap<Uuid, std::size_t>;

SurfaceIndex indexSurfaces(const std::vector<Surface>& surfaces) {
    SurfaceIndex index;
    index.reserve(surfaces.size());
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        index.emplace(surfaces[i].id, i);
    }
    return index;
}

void applyCue(std::vector<Surface>& surfaces, const SurfaceIndex& index, const Cue& cue) {
    for (const CueLook& look : cue.looks) {
        const auto [first, last] = index.equal_range(look.surface);
        for (auto it = first; it != last; ++it) {
            applyLook(surfaces[it->second], look);
        }
    }
}

} // namespace

std::vector<Surface> withCue(std::vector<Surface> surfaces, const Cue& cue) {
    applyCue(surfaces, indexSurfaces(surfaces), cue);
    return surfaces;
}

std::vector<Surface> trackedLook(std::vector<Surface> surfaces, const std::vector<Cue>& cues,
                                 std::size_t index) {
    const SurfaceIndex positions = indexSurfaces(surfaces);
    for (std::size_t i = 0; i < cues.size() && i <= index; ++i) {
        applyCue(surfaces, positions, cues[i]);
    }
    return surfaces;
}

std::vector<CueLook> currentLooks(const std::vector<Surface>& surfaces) {
    std::vector<CueLook> looks;
    looks.reserve(surfaces.size());
    for (const Surface& surface : surfaces) {
        CueLook look;
        look.surface = surface.id;
        look.opacity = surface.opacity;
        look.color = surface.color;
        look.mediaKind = surface.mediaKind;
        look.mediaPath = surface.mediaPath;
        // Only where they mean something, so a show without shaders keeps
        // its looks as they were.
        if (surface.mediaKind == MediaKind::shader || !surface.shaderInputs.empty()) {
            look.shaderInputs = surface.shaderInputs;
        }
        looks.push_back(std::move(look));
    }
    return looks;
}

std::size_t looksForMissingSurfaces(const std::vector<Cue>& cues,
                                    const std::vector<Surface>& surfaces) {
    std::unordered_set<Uuid> present;
    present.reserve(surfaces.size());
    for (const Surface& surface : surfaces) {
        present.insert(surface.id);
    }
    std::size_t missing = 0;
    for (const Cue& cue : cues) {
        for (const CueLook& look : cue.looks) {
            missing += present.contains(look.surface) ? 0 : 1;
        }
    }
    return missing;
}

} // namespace prismeta
