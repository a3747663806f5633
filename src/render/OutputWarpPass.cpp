#include "render/OutputWarpPass.h"

#include "geometry/Tessellation.h"
#include "render/ShaderProgram.h"

#include <epoxy/gl.h>

#include <cstdint>
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
// so picture row v is texture row 1 - v. Where a pixel covers clearly more
// than one texel (a fifth more: an unwarped or mirrored picture, whose
// footprint is one texel give or take rounding, stays a plain bilinear read,
// texel for texel) the picture is shrunk there: n x n samples across its
// footprint (n the footprint rounded up, at most 4) average what the pixel
// sees. The
// distance to the picture's outer edge, in pixels, weighs the pixels the
// edge crosses.
constexpr std::string_view warpFragmentSource = R"(#version 330 core
uniform sampler2D crop;
in vec3 vUvq;
out vec4 fragColor;

vec4 warp_fragment() {
    vec2 uv = vUvq.xy / vUvq.z;
    vec2 st = vec2(uv.x, 1.0 - uv.y);
    vec2 dx = dFdx(st);
    vec2 dy = dFdy(st);
    vec2 texels = vec2(textureSize(crop, 0));
    float footprint = max(length(dx * texels), length(dy * texels));
    vec3 c;
    if (footprint <= 1.2) {
        c = textureLod(crop, st, 0.0).rgb;
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
    vec2 inside = min(uv, 1.0 - uv);
    vec2 perPixel = vec2(length(vec2(dx.x, dy.x)), length(vec2(dx.y, dy.y)));
    vec2 pixels = inside / max(perPixel, vec2(1e-9));
    float coverage = clamp(min(pixels.x, pixels.y) + 0.5, 0.0, 1.0);
    return vec4(c * coverage, 1.0);
}

void main() { fragColor = warp_fragment(); }
)";

const void* bufferOffset(std::size_t bytes) {
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(bytes));
}

} // namespace

std::unique_ptr<OutputWarpPass> OutputWarpPass::create() {
    std::unique_ptr<OutputWarpPass> pass(new OutputWarpPass());
    pass->program_ = buildShaderProgram(warpVertexSource, warpFragmentSource);
    if (pass->program_ == 0) {
        return nullptr;
    }
    glUseProgram(pass->program_);
    glUniform1i(glGetUniformLocation(pass->program_, "crop"), 0);
    glUseProgram(0);

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
    if (program_ != 0) {
        glDeleteProgram(program_);
    }
    framebuffer_ = texture_ = sampler_ = vertexBuffer_ = vertexArray_ = program_ = 0;
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
    return FrameTarget{framebuffer_, 0, 0, width_, height_};
}

void OutputWarpPass::upload(const OutputWarp& warp) {
    vertices_.clear();
    const WarpMesh* mesh = warp.mesh ? &*warp.mesh : nullptr;
    const std::size_t count = mesh ? tessellatedVertexCount(warp.corners, mesh) : 0;
    if (count == 0 || count > maxVertices) {
        mesh = nullptr;
    }
    vertexCount_ = tessellateQuads(warp.corners, mesh, vertices_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices_.size() * sizeof(SurfaceVertex)),
                 vertices_.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    uploaded_ = warp;
}

void OutputWarpPass::draw(const OutputWarp& warp, const FrameTarget& target) {
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
    if (vertexCount_ == 0) {
        return;
    }
    glDisable(GL_BLEND);
    glUseProgram(program_);
    glBindVertexArray(vertexArray_);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glBindSampler(0, sampler_);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertexCount_));
    glBindSampler(0, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindVertexArray(0);
    glUseProgram(0);
}

} // namespace prismeta
