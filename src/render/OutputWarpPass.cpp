#include "render/OutputWarpPass.h"

#include "core/Log.h"
#include "geometry/PictureMapping.h"
#include "geometry/Tessellation.h"
#include "render/ShaderProgram.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace prismeta {

namespace {

// Raster positions 0..1 (y down) and the crop picture's projective
// coordinates, as the surfaces' vertices carry them.
constexpr std::string_view warpVertexSource = R"(#version 330 core
layout(location = 0) in vec2 pos;
layout(location = 1) in vec3 uvq;
out vec3 vUvq;

void warp_vertex() {
    gl_Position = vec4(2.0 * pos.x - 1.0, 1.0 - 2.0 * pos.y, 0.0, 1.0);
    vUvq = uvq;
}

void main() { warp_vertex(); }
)";

// The crop texture holds the picture bottom row first (it was drawn by GL),
// so picture row v is texture row 1 - v. With SHRINKS (a warp that shrinks
// the picture somewhere), where a pixel covers clearly more than one texel (a
// fifth more: an unwarped or mirrored picture, whose footprint is one texel
// give or take rounding, stays a plain bilinear read, texel for texel), n x n
// samples across its footprint (n the footprint rounded up, at most 4)
// average what the pixel sees. Then the tail (WarpTail) at the pixel's point
// of the crop, each part compiled in only where the output has it: the blend
// map (holding v^(1/gamma) already) and the masks' coverage are stored row 0
// first, read at v as it is.
// Last, the distance to the picture's outer edge, in pixels, weighs the
// pixels the edge crosses.
constexpr std::string_view warpFragmentBody = R"(
uniform sampler2D crop;
uniform sampler2D blendMap;
uniform sampler2D masks;
uniform float mapKeep; // 0 while the first map loads: no light
uniform vec3 lift;
uniform vec4 liftArea;
uniform float keep; // 1 - the blackout
in vec3 vUvq;
out vec4 fragColor;

vec3 warp_tail(vec3 c, vec2 uv) {
#if MAP
    c *= texture(blendMap, uv).r * mapKeep;
#endif
#if LIFT
    if (uv.x >= liftArea.x && uv.x < liftArea.z && uv.y >= liftArea.y && uv.y < liftArea.w) {
        c += lift;
    }
#endif
#if MASKS
    c *= texture(masks, uv).r;
#endif
    return c * keep;
}

vec4 warp_fragment() {
    vec2 uv = vUvq.xy / vUvq.z;
    vec2 st = vec2(uv.x, 1.0 - uv.y);
    vec2 dx = dFdx(st);
    vec2 dy = dFdy(st);
    vec3 c;
#if SHRINKS
    vec2 texels = vec2(textureSize(crop, 0));
    float footprint = max(length(dx * texels), length(dy * texels));
    if (footprint <= 1.2) {
        c = texture(crop, st).rgb;
    } else {
        int n = int(min(ceil(footprint), 4.0));
        c = vec3(0.0);
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                vec2 o = (vec2(float(i), float(j)) + 0.5) / float(n) - 0.5;
                c += textureLod(crop, st + o.x * dx + o.y * dy, 0.0).rgb;
            }
        }
        c /= float(n * n);
    }
#else
    c = texture(crop, st).rgb;
#endif
    c = warp_tail(c, uv);
    vec2 inside = min(uv, 1.0 - uv);
    vec2 perPixel = vec2(length(vec2(dx.x, dy.x)), length(vec2(dx.y, dy.y)));
    vec2 pixels = inside / max(perPixel, vec2(1e-9));
    float coverage = clamp(min(pixels.x, pixels.y) + 0.5, 0.0, 1.0);
    return vec4(c * coverage, 1.0);
}

void main() { fragColor = warp_fragment(); }
)";

// Texture units of the tail's pictures.
constexpr int blendMapUnit = 1;
constexpr int masksUnit = 2;

// The program variants' bits.
constexpr unsigned variantMap = 1;
constexpr unsigned variantLift = 2;
constexpr unsigned variantMasks = 4;
constexpr unsigned variantShrinks = 8;

enum TailUniform { mapKeep, lift, liftArea, keep };

// How many texels of the crop (as large as the raster) one raster pixel
// covers at most, along either raster axis, where the warp shrinks the
// picture most: sampled just inside each corner of each cell (a projective
// map scales most at a corner of the quad it maps onto). Nothing measurable
// (a degenerate map): 1. A mesh of more than 16,384 cells is taken to
// shrink it.
double largestFootprint(const OutputWarp& warp, const WarpMesh* mesh, double aspect) {
    const std::int64_t cols = mesh ? mesh->cols : 1;
    const std::int64_t rows = mesh ? mesh->rows : 1;
    if (cols * rows > 16384) {
        return 4.0; // far beyond any real mesh: not worth measuring, sampled with care
    }
    const double eps = 1e-4;
    double largest = 1.0;
    const PictureMap map(warp.corners, mesh);
    for (std::int64_t r = 0; r < rows; ++r) {
        for (std::int64_t c = 0; c < cols; ++c) {
            for (int k = 0; k < 4; ++k) {
                const double inset = 0.02;
                const double u =
                    (static_cast<double>(c) + ((k == 1 || k == 2) ? 1 - inset : inset)) / cols;
                const double v = (static_cast<double>(r) + (k >= 2 ? 1 - inset : inset)) / rows;
                const auto at = [&](double du, double dv) {
                    return map(Pt{static_cast<float>(u + du), static_cast<float>(v + dv)});
                };
                const std::optional<Pt> p = at(0, 0);
                const std::optional<Pt> pu = at(eps, 0);
                const std::optional<Pt> pv = at(0, eps);
                if (!p || !pu || !pv) {
                    continue;
                }
                // Raster pixels per texel (the texture has the raster's size):
                // both measured in units of the raster's width, aspect = height
                // / width.
                const double a = (pu->x - p->x) / eps;
                const double b = (pv->x - p->x) / eps / aspect;
                const double cc = (pu->y - p->y) / eps * aspect;
                const double d = (pv->y - p->y) / eps;
                const double det = a * d - b * cc;
                if (!std::isfinite(det) || std::fabs(det) < 1e-12) {
                    continue;
                }
                // Picture per raster: the inverse; its columns are the texel
                // steps of one pixel along x and along y.
                const double stepX = std::hypot(d, -cc) / std::fabs(det);
                const double stepY = std::hypot(-b, a) / std::fabs(det);
                largest = std::max({largest, stepX, stepY});
            }
        }
    }
    return largest;
}

} // namespace

std::unique_ptr<OutputWarpPass> OutputWarpPass::create() {
    std::unique_ptr<OutputWarpPass> pass(new OutputWarpPass());
    // The plain variant now, so that a driver that cannot build it is known
    // before the first frame.
    if (pass->program(0) == nullptr) {
        return nullptr;
    }
    glGenVertexArrays(1, &pass->vertexArray_);
    glGenBuffers(1, &pass->vertexBuffer_);
    glGenSamplers(1, &pass->sampler_);
    if (pass->vertexArray_ == 0 || pass->vertexBuffer_ == 0 || pass->sampler_ == 0) {
        return nullptr;
    }
    glBindVertexArray(pass->vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, pass->vertexBuffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(SurfaceVertex),
                          bufferOffset(offsetof(SurfaceVertex, pos)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(SurfaceVertex),
                          bufferOffset(offsetof(SurfaceVertex, uvq)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    glSamplerParameteri(pass->sampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return pass;
}

OutputWarpPass::~OutputWarpPass() {
    release();
}

const OutputWarpPass::Program* OutputWarpPass::program(unsigned variant) {
    Program& slot = programs_[variant];
    if (slot.id != 0) {
        return &slot;
    }
    if (slot.failed) {
        return nullptr;
    }
    std::string source = "#version 330 core\n";
    source += "#define MAP " + std::to_string((variant & variantMap) != 0 ? 1 : 0) + "\n";
    source += "#define LIFT " + std::to_string((variant & variantLift) != 0 ? 1 : 0) + "\n";
    source += "#define MASKS " + std::to_string((variant & variantMasks) != 0 ? 1 : 0) + "\n";
    source += "#define SHRINKS " + std::to_string((variant & variantShrinks) != 0 ? 1 : 0) + "\n";
    source += warpFragmentBody;
    slot.id = buildShaderProgram(warpVertexSource, source);
    if (slot.id == 0) {
        slot.failed = true;
        return nullptr;
    }
    glUseProgram(slot.id);
    glUniform1i(glGetUniformLocation(slot.id, "crop"), 0);
    glUniform1i(glGetUniformLocation(slot.id, "blendMap"), blendMapUnit);
    glUniform1i(glGetUniformLocation(slot.id, "masks"), masksUnit);
    glUseProgram(0);
    const char* names[] = {"mapKeep", "lift", "liftArea", "keep"};
    for (std::size_t i = 0; i < slot.uniforms.size(); ++i) {
        slot.uniforms[i] = glGetUniformLocation(slot.id, names[i]);
    }
    return &slot;
}

void OutputWarpPass::release() {
    if (framebuffer_ != 0) {
        glDeleteFramebuffers(1, &framebuffer_);
    }
    if (texture_ != 0) {
        glDeleteTextures(1, &texture_);
    }
    if (sampler_ != 0) {
        glDeleteSamplers(1, &sampler_);
    }
    if (vertexBuffer_ != 0) {
        glDeleteBuffers(1, &vertexBuffer_);
    }
    if (vertexArray_ != 0) {
        glDeleteVertexArrays(1, &vertexArray_);
    }
    for (Program& program : programs_) {
        if (program.id != 0) {
            glDeleteProgram(program.id);
        }
        program = Program{};
    }
    framebuffer_ = texture_ = sampler_ = vertexBuffer_ = vertexArray_ = 0;
}

std::optional<FrameTarget> OutputWarpPass::cropTarget(int width, int height) {
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    if (framebuffer_ != 0 && width == width_ && height == height_) {
        return FrameTarget{framebuffer_, 0, 0, width_, height_};
    }
    if (framebuffer_ == 0) {
        glGenFramebuffers(1, &framebuffer_);
        glGenTextures(1, &texture_);
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete || glGetError() != GL_NO_ERROR) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(1, &texture_);
        framebuffer_ = texture_ = 0;
        width_ = height_ = 0;
        return std::nullopt;
    }
    width_ = width;
    height_ = height;
    uploaded_.reset(); // the shrinking is judged at the new aspect
    return FrameTarget{framebuffer_, 0, 0, width_, height_};
}

static_assert(maxSmoothVertices <= OutputWarpPass::maxVertices);

void OutputWarpPass::upload(const OutputWarp& warp) {
    vertices_.clear();
    const WarpMesh* mesh = warp.mesh ? &*warp.mesh : nullptr;
    // A smooth mesh is cut to the raster's pixels, within its own budget
    // (below this pass's): cut once, not counted first.
    const PixelScale scale{static_cast<double>(width_), static_cast<double>(height_)};
    if (mesh && !drawnSmooth(*mesh)) {
        const std::size_t count = tessellatedVertexCount(warp.corners, mesh, scale);
        if (count == 0 || count > maxVertices) {
            mesh = nullptr;
        }
    }
    vertexCount_ = tessellateQuads(warp.corners, mesh, scale, vertices_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices_.size() * sizeof(SurfaceVertex)),
                 vertices_.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const double aspect = height_ > 0 ? static_cast<double>(height_) / width_ : 1.0;
    shrinks_ = largestFootprint(warp, mesh, aspect) > 1.15;
    uploaded_ = warp;
}

void OutputWarpPass::draw(const OutputWarp& warp, const FrameTarget& target, const WarpTail& tail) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(target.x, target.y, target.width, target.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(target.x, target.y, target.width, target.height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (texture_ == 0) {
        return;
    }
    if (!uploaded_ || *uploaded_ != warp) {
        upload(warp);
    }
    const bool mapped = tail.blendMap != 0 || tail.mapLoading;
    const bool lifted = tail.liftArea[2] > tail.liftArea[0] && tail.liftArea[3] > tail.liftArea[1];
    const unsigned variant = (mapped ? variantMap : 0) | (lifted ? variantLift : 0) |
                             (tail.masks != 0 ? variantMasks : 0) | (shrinks_ ? variantShrinks : 0);
    const Program* used = program(variant);
    if (vertexCount_ == 0 || used == nullptr) {
        return;
    }
    glDisable(GL_BLEND);
    glUseProgram(used->id);
    glBindVertexArray(vertexArray_);
    glUniform1f(used->uniforms[mapKeep], tail.mapLoading ? 0.0f : 1.0f);
    glUniform3f(used->uniforms[lift], tail.lift[0], tail.lift[1], tail.lift[2]);
    glUniform4f(used->uniforms[liftArea], tail.liftArea[0], tail.liftArea[1], tail.liftArea[2],
                tail.liftArea[3]);
    glUniform1f(used->uniforms[keep], 1.0f - tail.blackout);
    // Units the tail does not read still hold a texture.
    const unsigned units[3] = {texture_, tail.blendMap != 0 ? tail.blendMap : texture_,
                               tail.masks != 0 ? tail.masks : texture_};
    for (unsigned unit = 0; unit < 3; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, units[unit]);
        glBindSampler(unit, sampler_);
    }
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertexCount_));
    for (unsigned unit = 3; unit-- > 0;) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindSampler(unit, 0);
    }
    glBindVertexArray(0);
    glUseProgram(0);
}

} // namespace prismeta
