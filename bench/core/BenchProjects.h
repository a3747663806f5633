#pragma once

#include "core/ProjectFile.h"

namespace prismeta::bench {

// A project of `count` surfaces, every fourth one meshed 4 x 3, with media
// paths and non-trivial floats: the shape of a large real show.
inline ProjectFile largeProject(int count) {
    ProjectFile file;
    file.backgroundImagePath = "/shows/venue/reference.jpg";
    for (int i = 0; i < count; ++i) {
        Surface s;
        s.name = "Surface " + std::to_string(i + 1);
        const float d = static_cast<float>(i % 97) * 0.0031f;
        for (Pt& p : s.corners) {
            p.x += d;
            p.y -= d;
        }
        if (i % 4 == 0) {
            s.mesh = WarpMesh::from(s.corners, 4, 3);
        }
        s.mediaKind = allMediaKinds[static_cast<std::size_t>(i % 4)];
        if (s.mediaKind == MediaKind::image || s.mediaKind == MediaKind::video) {
            s.mediaPath = "/shows/venue/media/clip-" + std::to_string(i) + ".mov";
        }
        s.opacity = 0.75 + 0.001 * (i % 100);
        s.feather = 0.01f * static_cast<float>(i % 7);
        file.surfaces.push_back(std::move(s));
    }
    for (int i = 0; i < 4; ++i) {
        file.outputs.push_back(makeOutput(allOutputPresets[static_cast<std::size_t>(i)]));
    }
    return file;
}

} // namespace prismeta::bench
