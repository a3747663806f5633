#pragma once

#include "core/OutputConfig.h"
#include "core/Surface.h"
#include "render/MediaBackend.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace prismeta {

class ProjectModel;

namespace test {

// Makes the process's one headless GL context current (creating it on first
// use). Fails the calling test with the reason when there is none.
bool useGlContext();

// A picture read back from a framebuffer: RGBA bytes, row 0 at the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    std::array<int, 4> at(int x, int y) const;
};

// One frame of the model at width x height through a fresh renderer; empty
// (width 0) when the renderer could not be made. Also fails the test on any
// GL error the frame leaves behind.
Picture renderFrame(const ProjectModel& model, std::optional<OutputConfig> output, int width,
                    int height, MediaBackend media = {}, double hostTime = 0.0);

// Canvas coordinates of pixel (x, y)'s centre for a full-canvas view.
inline double centreX(int x, int width) {
    return (x + 0.5) / width;
}
inline double centreY(int y, int height) {
    return (y + 0.5) / height;
}

Surface colourSurface(std::vector<Pt> corners, RGBA colour, double opacity = 1.0);
inline std::vector<Pt> fullCanvas() {
    return {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
}
inline std::vector<Pt> rect(float x0, float y0, float x1, float y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}
// The white squares of a white and black checker of n x n over the canvas.
std::vector<Surface> checkerSurfaces(int n);

} // namespace test
} // namespace prismeta
