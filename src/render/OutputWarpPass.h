#pragma once

#include "core/OutputWarp.h"
#include "geometry/SurfaceVertex.h"
#include "render/Renderer.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace prismeta {

// The last pass of a warped output: the finished crop (drawn by the renderer
// into this pass's texture, of the raster's size) goes onto the projector's
// raster through the output's warp, its corners' perspective or each mesh
// cell's. Raster pixels the warped picture does not reach are black.
//
// Sampling is filtered both ways: bilinear where the picture is enlarged,
// and where it is shrunk up to 4 x 4 bilinear samples spread over each
// pixel's footprint, so a fine grid keeps its lines without stair-steps. A
// pixel crossed by the picture's own outer edge keeps the share of it that
// lies inside.
//
// The warp is tessellated and uploaded only when it changes; a steady frame
// allocates nothing. Thread: the one with the GL context current, for every
// call and the destructor.
class OutputWarpPass {
public:
    // Null (with the program's log line) when the program cannot be built.
    static std::unique_ptr<OutputWarpPass> create();
    ~OutputWarpPass();
    OutputWarpPass(const OutputWarpPass&) = delete;
    OutputWarpPass& operator=(const OutputWarpPass&) = delete;

    // Where the crop is drawn: a framebuffer whose colour texture is width x
    // height, made again when the size changes. None when GL refuses it.
    std::optional<FrameTarget> cropTarget(int width, int height);
    // Clears target to black and draws the crop texture through warp onto
    // it. A mesh that cannot be drawn (no whole grid, beyond the vertex
    // budget) leaves its corners' perspective.
    void draw(const OutputWarp& warp, const FrameTarget& target);

    // The most vertices a warp's mesh may draw (a 64 x 64 mesh needs 24,576).
    static constexpr std::size_t maxVertices = std::size_t{1} << 22;

private:
    OutputWarpPass() = default;
    void release();
    void upload(const OutputWarp& warp);

    unsigned program_ = 0;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    unsigned sampler_ = 0;
    unsigned framebuffer_ = 0;
    unsigned texture_ = 0;
    int width_ = 0;
    int height_ = 0;
    // The warp whose vertices are in the buffer.
    std::optional<OutputWarp> uploaded_;
    std::size_t vertexCount_ = 0;
    std::vector<SurfaceVertex> vertices_;
};

} // namespace prismeta
