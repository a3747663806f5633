#pragma once

#include "core/OutputWarp.h"
#include "geometry/SurfaceVertex.h"
#include "render/Renderer.h"

#include <array>
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
// allocates nothing (each program variant is built once, on first use). Thread: the one with the GL
// context current, for every call and the destructor. What the warp pass applies to the crop's
// picture as it reads it, in the order the crop pass would (which then leaves them out): the blend
// map, the black-level lift where no ramp is, the masks' coverage and the blackout. Evaluated at
// each raster pixel's point of the crop, so none of them costs a pass of its own on a warped
// output.
struct WarpTail {
    unsigned blendMap = 0;   // v^(1/gamma) over the crop, row 0 its top (0: none)
    bool mapLoading = false; // the first map is still decoding: no light
    float lift[3] = {0.0f, 0.0f, 0.0f};
    float liftArea[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // x0, y0, x1, y1 in the crop's 0..1
    unsigned masks = 0;                           // coverage over the crop (0: none)
    float blackout = 0.0f;                        // 0 to 1
};

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
    // it, applying tail. A mesh that cannot be drawn (no whole grid, beyond
    // the vertex budget) leaves its corners' perspective.
    void draw(const OutputWarp& warp, const FrameTarget& target, const WarpTail& tail);

    // The most vertices a warp's mesh may draw (a 64 x 64 mesh needs 24,576).
    static constexpr std::size_t maxVertices = std::size_t{1} << 22;

private:
    // One variant of the program: the tail's parts compiled in only where the
    // output has them, and the sampling for shrunk pictures only where the
    // warp shrinks it, so the pass costs no more than the output needs.
    struct Program {
        unsigned id = 0;
        bool failed = false;
        std::array<int, 4> uniforms{-1, -1, -1, -1};
    };

    OutputWarpPass() = default;
    void release();
    void upload(const OutputWarp& warp);
    // The variant, built on first use (null when it cannot be).
    const Program* program(unsigned variant);

    std::array<Program, 16> programs_{};
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    unsigned sampler_ = 0;
    unsigned framebuffer_ = 0;
    unsigned texture_ = 0;
    int width_ = 0;
    int height_ = 0;
    // The warp whose vertices are in the buffer, and whether it shrinks the
    // picture anywhere (by more than a seventh).
    std::optional<OutputWarp> uploaded_;
    bool shrinks_ = false;
    std::size_t vertexCount_ = 0;
    std::vector<SurfaceVertex> vertices_;
};

} // namespace prismeta
