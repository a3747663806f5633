#include "render/Renderer.h"

#include "core/BlendCurve.h"
#include "core/Log.h"
#include "core/MediaLocations.h"
#include "core/ProjectModel.h"
#include "core/Surface.h"
#include "core/SurfaceList.h"
#include "cues/Crossfade.h"
#include "cues/LiveLayer.h"
#include "geometry/BlendBands.h"
#include "geometry/CoveredSize.h"
#include "geometry/Tessellation.h"
#include "masks/MaskRaster.h"
#include "masks/MaskSizing.h"
#include "render/BlendMapTexture.h"
#include "render/IsfPicture.h"
#include "render/MaskTextures.h"
#include "render/MediaSource.h"
#include "render/MediaSourceTable.h"
#include "render/OutputWarpPass.h"
#include "render/ShaderProgram.h"
#include "render/ShaderSources.h"
#include "render/SharedShaderPictures.h"
#include "render/TestPattern.h"
#include "render/UniformBlocks.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <span>
#include <utility>

namespace prismeta {

namespace {

// The overlay program's blendStage values.
enum class BlendStage {
    ramps = 0,
    blackLevel = 1,
    testField = 2,
    blackout = 3,
    masks = 4,
    blendMap = 5
};

// Texture unit of the mask coverage, in both programs (units 2 and 3 hold the
// look a fade comes from), and of the blend map in the overlay program.
constexpr int maskTextureUnit = 4;
constexpr int blendMapTextureUnit = 5;

constexpr float placeholderColor[4] = {0.15f, 0.15f, 0.17f, 1.0f};
constexpr std::size_t minimumUniformStride = 256;
static_assert(minimumUniformStride >= sizeof(SurfaceUniforms));

std::size_t roundUp(std::size_t value, std::size_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// A crop the vertex stage can divide by; anything else shows no surface.
bool drawableCrop(const FrameUniforms& frame) {
    return std::isfinite(frame.cropOrigin[0]) && std::isfinite(frame.cropOrigin[1]) &&
           std::isfinite(frame.cropSize[0]) && std::isfinite(frame.cropSize[1]) &&
           frame.cropSize[0] != 0.0f && frame.cropSize[1] != 0.0f;
}

// Gives the buffer fresh storage holding bytes (orphaning the old one, so the
// driver never waits for the GPU to finish reading last frame's data).
void streamInto(GLenum target, unsigned buffer, const void* data, std::size_t bytes) {
    glBindBuffer(target, buffer);
    glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STREAM_DRAW);
}

} // namespace

std::unique_ptr<Renderer> Renderer::create(const ProjectModel& model,
                                           std::optional<OutputConfig> outputConfig,
                                           MediaBackend media) {
    std::unique_ptr<Renderer> renderer(
        new Renderer(model, std::move(outputConfig), std::move(media)));
    if (!renderer->createGpuState()) {
        renderer->releaseGpuState();
        return nullptr;
    }
    return renderer;
}

Renderer::Renderer(const ProjectModel& model, std::optional<OutputConfig> outputConfig,
                   MediaBackend media)
    : model_(&model), outputConfig_(std::move(outputConfig)), media_(std::move(media)),
      mediaSources(std::make_unique<MediaSourceTable>()),
      maskTextures_(std::make_unique<MaskTextures>()),
      blendMap_(std::make_unique<BlendMapTexture>()), warpTail_(std::make_unique<WarpTail>()) {}

Renderer::~Renderer() {
    releaseGpuState();
}

void Renderer::setModel(const ProjectModel& model) {
    model_ = &model;
}

void Renderer::setOutputConfig(std::optional<OutputConfig> config) {
    outputConfig_ = std::move(config);
}

void Renderer::setMediaLocations(std::shared_ptr<const MediaLocations> locations) {
    // Applied by the next frame, when the GL context is current for releasing.
    mediaLocations_ = std::move(locations);
    mediaLocationsChanged_ = true;
}

bool Renderer::needsFrames() const {
    return mediaSources->anyChangesOverTime() || maskTextures_->pending() || blendMap_->pending() ||
           sharedShadersChanging_;
}

void Renderer::setPreload(std::shared_ptr<const std::vector<Surface>> surfaces) {
    preload_ = std::move(surfaces);
}

void Renderer::setSharedShaders(std::shared_ptr<SharedShaderPictures> pictures) {
    sharedShaders_ = std::move(pictures);
}

void Renderer::setCrossfade(std::shared_ptr<const Crossfade> crossfade) {
    crossfade_ = std::move(crossfade);
}

std::size_t Renderer::mediaSourceCount() const {
    return mediaSources->size();
}

bool Renderer::createGpuState() {
    // No current context (or one older than 3.3) reads as version 0 or less.
    if (epoxy_gl_version() < 33) {
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
        // Errors a host left behind are not ours.
    }

    pipeline = buildShaderProgram(surfaceVertexSource, surfaceFragmentSource);
    if (pipeline == 0) {
        return false;
    }
    blendPipeline = buildShaderProgram(blendVertexSource, blendFragmentSource);
    if (blendPipeline == 0) {
        return false;
    }
    const GLuint surfaceBlock = glGetUniformBlockIndex(pipeline, "SurfaceUniforms");
    const GLuint frameBlock = glGetUniformBlockIndex(pipeline, "FrameUniforms");
    const GLint textureUniform = glGetUniformLocation(pipeline, "mediaTexture");
    if (surfaceBlock == GL_INVALID_INDEX || frameBlock == GL_INVALID_INDEX || textureUniform < 0) {
        return false;
    }
    const GLuint blendBlock = glGetUniformBlockIndex(blendPipeline, "BlendUniforms");
    blendStageUniform_ = glGetUniformLocation(blendPipeline, "blendStage");
    if (blendBlock == GL_INVALID_INDEX || blendStageUniform_ < 0) {
        return false;
    }
    glUniformBlockBinding(blendPipeline, blendBlock, blendUniformsBinding);
    glUniformBlockBinding(pipeline, surfaceBlock, surfaceUniformsBinding);
    glUniformBlockBinding(pipeline, frameBlock, frameUniformsBinding);
    glUseProgram(pipeline);
    glUniform1i(textureUniform, 0);
    glUniform1i(glGetUniformLocation(pipeline, "alphaTexture"), 1);
    glUniform1i(glGetUniformLocation(pipeline, "fromTexture"), 2);
    glUniform1i(glGetUniformLocation(pipeline, "fromAlphaTexture"), 3);
    glUniform1i(glGetUniformLocation(pipeline, "maskTexture"), maskTextureUnit);
    glUseProgram(blendPipeline);
    glUniform1i(glGetUniformLocation(blendPipeline, "maskTexture"), maskTextureUnit);
    glUniform1i(glGetUniformLocation(blendPipeline, "blendMapTexture"), blendMapTextureUnit);
    glUseProgram(0);

    // Compressed video is handed to this renderer only in the block formats
    // its driver samples; any other plays decoded to pixels.
    const int version = epoxy_gl_version();
    driverTextures_.s3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    driverTextures_.rgtc =
        version >= 30 || epoxy_has_gl_extension("GL_ARB_texture_compression_rgtc");
    driverTextures_.bptc =
        version >= 42 || epoxy_has_gl_extension("GL_ARB_texture_compression_bptc");
    media_.compressedTextures.s3tc = media_.compressedTextures.s3tc && driverTextures_.s3tc;
    media_.compressedTextures.rgtc = media_.compressedTextures.rgtc && driverTextures_.rgtc;
    media_.compressedTextures.bptc = media_.compressedTextures.bptc && driverTextures_.bptc;

    glGenBuffers(1, &vertexBuffer_);
    glGenBuffers(1, &blendVertexBuffer_);
    glGenBuffers(1, &uniformBuffer_);
    glGenBuffers(1, &blendUniformBuffer_);
    glGenVertexArrays(1, &pipelineVertexArray_);
    glGenVertexArrays(1, &blendVertexArray_);
    if (vertexBuffer_ == 0 || blendVertexBuffer_ == 0 || uniformBuffer_ == 0 ||
        blendUniformBuffer_ == 0 || pipelineVertexArray_ == 0 || blendVertexArray_ == 0) {
        return false;
    }

    glBindVertexArray(pipelineVertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(SurfaceVertex),
                          bufferOffset(offsetof(SurfaceVertex, pos)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(SurfaceVertex),
                          bufferOffset(offsetof(SurfaceVertex, uvq)));

    glBindVertexArray(blendVertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, blendVertexBuffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(BlendVertex),
                          bufferOffset(offsetof(BlendVertex, pos)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 1, GL_FLOAT, GL_FALSE, sizeof(BlendVertex),
                          bufferOffset(offsetof(BlendVertex, alpha)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    // Uniform ranges must start at multiples of this: 16 on llvmpipe, often
    // 256 on discrete GPUs. The stride is never below 256, so software
    // rendering (and every test run on it) uses the offsets a GPU would.
    GLint alignment = 0;
    glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &alignment);
    if (alignment <= 0) {
        return false;
    }
    uniformStride_ = roundUp(minimumUniformStride, static_cast<std::size_t>(alignment));

    glGenSamplers(1, &sampler);
    if (sampler == 0) {
        return false;
    }
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    glGenTextures(1, &fallbackTexture);
    if (fallbackTexture == 0) {
        return false;
    }
    const std::uint8_t white[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, fallbackTexture);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // Unit 2 (mask coverage) always holds a one-channel texture, so the
    // programs see the same texture state with masks and without.
    glGenTextures(1, &noMaskTexture_);
    if (noMaskTexture_ == 0) {
        return false;
    }
    glBindTexture(GL_TEXTURE_2D, noMaskTexture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, 1, 1, 0, GL_RED, GL_UNSIGNED_BYTE, white);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);

    return glGetError() == GL_NO_ERROR;
}

void Renderer::releaseGpuState() {
    // Sources first: their players stop and their textures go while the
    // context is still current.
    mediaSources->clear();
    maskTextures_->clear();
    blendMap_->clear();
    warpPass_.reset();
    warpPassTried_ = false;
    const GLuint textures[] = {fallbackTexture, testPatternTexture_, noMaskTexture_};
    for (GLuint texture : textures) {
        if (texture != 0) {
            glDeleteTextures(1, &texture);
        }
    }
    if (sampler != 0) {
        glDeleteSamplers(1, &sampler);
    }
    const GLuint buffers[] = {vertexBuffer_, blendVertexBuffer_, uniformBuffer_,
                              blendUniformBuffer_};
    for (GLuint buffer : buffers) {
        if (buffer != 0) {
            glDeleteBuffers(1, &buffer);
        }
    }
    const GLuint arrays[] = {pipelineVertexArray_, blendVertexArray_};
    for (GLuint array : arrays) {
        if (array != 0) {
            glDeleteVertexArrays(1, &array);
        }
    }
    if (pipeline != 0) {
        glDeleteProgram(pipeline);
    }
    if (blendPipeline != 0) {
        glDeleteProgram(blendPipeline);
    }
    fallbackTexture = testPatternTexture_ = noMaskTexture_ = sampler = 0;
    vertexBuffer_ = blendVertexBuffer_ = uniformBuffer_ = blendUniformBuffer_ = 0;
    pipelineVertexArray_ = blendVertexArray_ = pipeline = blendPipeline = 0;
}

MediaSource* Renderer::mediaSource(const Surface& surface, double hostTime, bool ahead) {
    // An output connects only to the live sources whose surfaces reach its
    // crop: on many machines each one opens the cameras and streams it
    // shows, not every one of the show (an SRT sender or a camera may take
    // one caller only). One that moved out is let go with this frame.
    if (surface.mediaKind == MediaKind::live && outputConfig_ &&
        !mayCoverRegion(surface, outputConfig_->cropX, outputConfig_->cropY,
                        outputConfig_->cropWidth, outputConfig_->cropHeight)) {
        return nullptr;
    }
    if (MediaSource* cached = mediaSources->find(surface, frameStamp_)) {
        return cached;
    }
    if (surface.mediaKind == MediaKind::color ||
        (surface.mediaKind == MediaKind::shader && sharedShaders_)) {
        return nullptr; // an old entry of this surface goes with this frame's prune
    }
    if (surface.mediaKind == MediaKind::testPattern && !testPatternTried_) {
        // Once per renderer: the picture is the same for every surface.
        testPatternTried_ = true;
        testPatternTexture_ = MediaSource::makeTestPattern(testPatternSize);
    }
    // Where a moved file was found stands in for the surface's path; the
    // lookup happens only here, when a source is made.
    const std::string_view openPath = relocatedPath(surface);
    return mediaSources->insert(surface,
                                std::make_unique<MediaSource>(surface, media_, testPatternTexture_,
                                                              hostTime, openPath, ahead),
                                frameStamp_);
}

std::string_view Renderer::relocatedPath(const Surface& surface) const {
    if (mediaLocations_ && surface.mediaPath) {
        if (const std::string* found = mediaLocations_->find(*surface.mediaPath)) {
            return *found;
        }
    }
    return {};
}

void Renderer::draw(const FrameTarget& target) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    draw(target, std::chrono::duration<double>(now).count());
}

void Renderer::draw(const FrameTarget& target, double hostTimeSeconds) {
    if (target.width <= 0 || target.height <= 0 || model_ == nullptr) {
        return;
    }
    const OutputWarp* warp = outputConfig_ && outputConfig_->warp ? &*outputConfig_->warp : nullptr;
    if (warp == nullptr) {
        drawCrop(target, hostTimeSeconds);
        return;
    }
    if (!warpPass_ && !warpPassTried_) {
        warpPassTried_ = true;
        warpPass_ = OutputWarpPass::create();
    }
    // The crop at the raster's size, then through the warp. Where GL gives
    // no texture for it, the crop goes straight onto the raster.
    const std::optional<FrameTarget> crop =
        warpPass_ ? warpPass_->cropTarget(target.width, target.height) : std::nullopt;
    if (!crop) {
        drawCrop(target, hostTimeSeconds);
        return;
    }
    *warpTail_ = WarpTail{};
    tailToWarp_ = true;
    drawCrop(*crop, hostTimeSeconds);
    tailToWarp_ = false;
    warpPass_->draw(*warp, target, *warpTail_);
    glDisable(GL_SCISSOR_TEST);
}

void Renderer::drawCrop(const FrameTarget& target, double hostTimeSeconds) {
    // One snapshot for the whole frame: copying the list costs a reference count.
    const SurfaceList snapshot = model_->surfaces();
    const std::span<const Surface> surfaces(snapshot.vector().data(),
                                            std::min(snapshot.size(), maxFrameSurfaces));
    ++frameStamp_;
    sharedShadersChanging_ = false;
    if (mediaLocationsChanged_) {
        mediaLocationsChanged_ = false;
        // Sources showing another file than the locations now give go.
        mediaSources->dropIf([this](const MediaSource& source) {
            const std::string_view opened = source.openedPath();
            if (opened.empty()) {
                return false;
            }
            const std::string stored(source.path());
            const std::string& now = mediaLocations_ ? mediaLocations_->resolve(stored) : stored;
            return now != opened;
        });
    }

    FrameUniforms frame;
    if (outputConfig_) {
        frame.cropOrigin[0] = outputConfig_->cropX;
        frame.cropOrigin[1] = outputConfig_->cropY;
        frame.cropSize[0] = outputConfig_->cropWidth;
        frame.cropSize[1] = outputConfig_->cropHeight;
    }

    // Record the whole frame first: media sources, uniforms and one vertex
    // array. Texture uploads happen here, before any draw state is set.
    targetWidth_ = target.width;
    targetHeight_ = target.height;
    maskTextures_->collect();
    // Shader pictures are rendered at the size their surface covers here,
    // and smooth meshes cut to it.
    pixelsPerUnit_[0] = target.width / static_cast<double>(frame.cropSize[0]);
    pixelsPerUnit_[1] = target.height / static_cast<double>(frame.cropSize[1]);
    std::size_t vertexCount = 0;
    for (const Surface& surface : surfaces) {
        const std::size_t count = drawnSmooth(surface)
                                      ? smoothSurfaceVertices(surface).size()
                                      : tessellatedVertexCount(surface, PixelScale{});
        if (vertexCount + count <= maxFrameVertices) {
            vertexCount += count;
        }
    }
    smoothVertices_.prune(frameStamp_);
    vertices_.clear();
    vertices_.reserve(vertexCount);
    drawItems_.clear();
    drawItems_.reserve(surfaces.size());
    const std::size_t surfaceBase = roundUp(sizeof(FrameUniforms), uniformStride_);
    uniformBytes_.resize(surfaceBase + surfaces.size() * uniformStride_);
    std::memcpy(uniformBytes_.data(), &frame, sizeof frame);

    glActiveTexture(GL_TEXTURE0);
    const Crossfade* crossfade = crossfade_.get();
    for (const Surface& surface : surfaces) {
        drawSurface(surface, crossfade ? crossfade->find(surface, hostTimeSeconds) : nullptr,
                    hostTimeSeconds);
    }
    if (preload_) {
        // Stills decoded and uploaded ahead of the GO; videos opened, their
        // first pictures decoded, waiting for the GO to start them.
        for (const Surface& surface : *preload_) {
            if (MediaSource* source = mediaSource(surface, hostTimeSeconds, true);
                source != nullptr && source->kind() == MediaKind::image) {
                source->staticTexture();
            }
        }
    }
    mediaSources->prune(frameStamp_);
    if (sharedShaders_) {
        sharedShaders_->releaseUnused(hostTimeSeconds);
    }
    // The output's masks: over its crop of the canvas, a texel per pixel.
    unsigned outputMask = 0;
    if (outputConfig_ && anyMaskDraws(outputConfig_->masks)) {
        const MaskSpace crop{outputConfig_->cropX, outputConfig_->cropY, outputConfig_->cropWidth,
                             outputConfig_->cropHeight};
        const CoverageSize size{std::min(target.width, maxCoverageSide),
                                std::min(target.height, maxCoverageSide)};
        outputMask = maskTextures_->texture(outputConfig_->id, outputConfig_->masks, crop, size,
                                            frameStamp_);
    }
    maskTextures_->prune(frameStamp_);
    // The output's blend map, from where it was found when it moved.
    if (outputConfig_ && outputConfig_->blendMap && !outputConfig_->blendMap->empty()) {
        const std::string& stored = *outputConfig_->blendMap;
        const std::string* found = mediaLocations_ ? mediaLocations_->find(stored) : nullptr;
        blendMap_->request(stored, found != nullptr ? *found : stored,
                           blendGammaInRange(outputConfig_->blendGamma));
    } else {
        blendMap_->request({}, {}, 1.0f);
    }
    blendMap_->collect();
    if (waitForMasks_) {
        maskTextures_->finish();
        blendMap_->finish();
    }
    uploadFrame();

    // Every state the frame relies on, since a host may have changed any.
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(target.x, target.y, target.width, target.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(target.x, target.y, target.width, target.height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FRAMEBUFFER_SRGB);
    glDisable(GL_SAMPLE_ALPHA_TO_COVERAGE);
    glDisable(GL_RASTERIZER_DISCARD);
    glDisable(GL_DITHER);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);

    // Surfaces are recorded in blend test too, so media keep playing and
    // come back at once; only their draws are left out.
    const bool blendTest = outputConfig_ && model_->blendTest(outputConfig_->id);
    if (!blendTest && drawableCrop(frame) && !drawItems_.empty()) {
        glUseProgram(pipeline);
        glBindVertexArray(pipelineVertexArray_);
        glBindSampler(0, sampler);
        glBindBufferRange(GL_UNIFORM_BUFFER, frameUniformsBinding, uniformBuffer_, 0,
                          sizeof(FrameUniforms));
        // Unit 1 holds the alpha image of a compressed picture that has one,
        // and never an empty slot otherwise.
        glBindSampler(1, sampler);
        glBindSampler(2, sampler);
        glBindSampler(3, sampler);
        glBindSampler(maskTextureUnit, sampler);
        unsigned boundAlpha = 0;
        unsigned boundMask = 0;
        for (std::size_t i = 0; i < drawItems_.size(); ++i) {
            const DrawItem& item = drawItems_[i];
            if (item.count == 0) {
                continue;
            }
            glBindBufferRange(GL_UNIFORM_BUFFER, surfaceUniformsBinding, uniformBuffer_,
                              static_cast<GLintptr>(surfaceBase + i * uniformStride_),
                              sizeof(SurfaceUniforms));
            const unsigned alpha = item.alphaTexture != 0 ? item.alphaTexture : fallbackTexture;
            if (alpha != boundAlpha) {
                glActiveTexture(GL_TEXTURE1);
                glBindTexture(GL_TEXTURE_2D, alpha);
                glActiveTexture(GL_TEXTURE0);
                boundAlpha = alpha;
            }
            if (item.fromTexture != 0) {
                glActiveTexture(GL_TEXTURE2);
                glBindTexture(GL_TEXTURE_2D, item.fromTexture);
                glActiveTexture(GL_TEXTURE3);
                glBindTexture(GL_TEXTURE_2D,
                              item.fromAlphaTexture != 0 ? item.fromAlphaTexture : fallbackTexture);
                glActiveTexture(GL_TEXTURE0);
            }
            if (item.maskTexture != boundMask) {
                glActiveTexture(GL_TEXTURE0 + maskTextureUnit);
                glBindTexture(GL_TEXTURE_2D, item.maskTexture);
                glActiveTexture(GL_TEXTURE0);
                boundMask = item.maskTexture;
            }
            glBindTexture(GL_TEXTURE_2D, item.texture);
            glDrawArrays(GL_TRIANGLES, static_cast<GLint>(item.first),
                         static_cast<GLsizei>(item.count));
        }
    }

    if (outputConfig_) {
        drawBlendOverlay(*outputConfig_, frame, blendTest, hostTimeSeconds, outputMask);
    }

    // Leave nothing of ours bound that a host could trip over.
    glBindVertexArray(0);
    glUseProgram(0);
    glBindSampler(0, 0);
    glBindSampler(1, 0);
    glBindSampler(2, 0);
    glBindSampler(3, 0);
    glBindSampler(maskTextureUnit, 0);
    glBindSampler(blendMapTextureUnit, 0);
    glActiveTexture(GL_TEXTURE0 + blendMapTextureUnit);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0 + maskTextureUnit);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
}

Renderer::LookPicture Renderer::lookPicture(const Surface& surface, double hostTime,
                                            const ShaderInputsFrame& inputs, bool hold) {
    MediaSource* source = mediaSource(surface, hostTime);
    unsigned texture = 0;
    if (source != nullptr) {
        switch (source->kind()) {
        case MediaKind::testPattern:
        case MediaKind::image:
            texture = source->staticTexture();
            break;
        case MediaKind::video:
            texture = hold && source->lastVideoTexture() != 0 ? 0 : source->videoTexture(hostTime);
            if (texture == 0) {
                texture = source->lastVideoTexture(); // hold the last frame between new ones
            }
            if (!compressedFallbackLogged_ && source->compressedVideoDecodedToPixels()) {
                compressedFallbackLogged_ = true;
                logCompressedFallback(source->path());
            }
            break;
        case MediaKind::live:
            texture = source->liveTexture(hostTime);
            break;
        case MediaKind::shader: {
            const PixelSize size =
                coveredSize(surface, pixelsPerUnit_[0], pixelsPerUnit_[1], IsfPicture::maxSize);
            texture = source->shaderTexture(surface, size.width, size.height,
                                            hostTime - media_.showClockOrigin, hostTime, inputs);
            break;
        }
        case MediaKind::color:
            break;
        }
    } else if (surface.mediaKind == MediaKind::shader && sharedShaders_ && surface.mediaPath &&
               !surface.mediaPath->empty()) {
        texture = sharedShaderTexture(surface, hostTime, inputs);
    }

    LookPicture picture;
    if (surface.mediaKind == MediaKind::color) {
        picture.color[0] = surface.color.r;
        picture.color[1] = surface.color.g;
        picture.color[2] = surface.color.b;
        picture.color[3] = surface.color.a;
        picture.texture = fallbackTexture;
    } else if (texture != 0) {
        picture.color[0] = picture.color[1] = picture.color[2] = picture.color[3] = 1.0f;
        picture.useTexture = true;
        picture.texture = texture;
        if (source != nullptr && source->kind() == MediaKind::video) {
            const MediaSource::PictureLayout& layout = source->videoLayout();
            picture.coding = layout.coding;
            picture.scale[0] = layout.scale[0];
            picture.scale[1] = layout.scale[1];
            picture.alphaTexture = layout.alphaTexture;
        }
    } else {
        std::memcpy(picture.color, placeholderColor, sizeof picture.color);
        picture.texture = fallbackTexture;
    }
    return picture;
}

unsigned Renderer::sharedShaderTexture(const Surface& surface, double hostTime,
                                       const ShaderInputsFrame& inputs) {
    const std::string_view relocated = relocatedPath(surface);
    const PixelSize size =
        coveredSize(surface, pixelsPerUnit_[0], pixelsPerUnit_[1], IsfPicture::maxSize);
    const SharedShaderPictures::Picture shared = sharedShaders_->picture(
        surface, relocated.empty() ? std::string_view(*surface.mediaPath) : relocated, size.width,
        size.height, hostTime - media_.showClockOrigin, hostTime, inputs);
    sharedShadersChanging_ = sharedShadersChanging_ || shared.changesOverTime;
    return shared.texture;
}

void Renderer::drawSurface(const Surface& surface, const FadingLook* fading, double hostTime) {
    // A live input may show the surface with other media, hold its video,
    // set a shader input and multiply its intensity and colour.
    const LiveLook* live = liveLayer_ ? liveLayer_->find(surface.id) : nullptr;
    const Surface& shown = live && live->look ? *live->look : surface;
    // A shader that stays the same through a fade runs once, with its inputs
    // mixed, and its picture stands for both looks (only the opacity fades).
    ShaderInputsFrame inputs;
    inputs.events = &model_->shaderEvents();
    if (live) {
        inputs.liveValue = live->shaderValue;
        inputs.liveWeight = live->shaderWeight;
    }
    const bool oneShaderRun = fading != nullptr && shown.mediaKind == MediaKind::shader &&
                              fading->from.mediaKind == MediaKind::shader &&
                              fading->from.mediaPath == shown.mediaPath;
    if (oneShaderRun) {
        inputs.fadeFrom = &fading->from.shaderInputs;
        inputs.fadeProgress = fading->progress(hostTime);
    }
    const LookPicture picture = lookPicture(shown, hostTime, inputs, live && live->paused);
    SurfaceUniforms uniforms;
    DrawItem item;
    std::memcpy(uniforms.color, picture.color, sizeof uniforms.color);
    uniforms.useTexture = picture.useTexture ? 1 : 0;
    uniforms.pictureCoding = picture.coding;
    uniforms.pictureScale[0] = picture.scale[0];
    uniforms.pictureScale[1] = picture.scale[1];
    item.texture = picture.texture;
    item.alphaTexture = picture.alphaTexture;
    const float intensity = live ? live->intensity : 1.0f;
    if (fading != nullptr) {
        ShaderInputsFrame fromInputs;
        fromInputs.events = inputs.events;
        const LookPicture from =
            oneShaderRun ? picture : lookPicture(fading->from, hostTime, fromInputs);
        std::memcpy(uniforms.fromColor, from.color, sizeof uniforms.fromColor);
        uniforms.fromUseTexture = from.useTexture ? 1 : 0;
        uniforms.fromPictureCoding = from.coding;
        uniforms.fromPictureScale[0] = from.scale[0];
        uniforms.fromPictureScale[1] = from.scale[1];
        uniforms.fromOpacity = static_cast<float>(fading->from.opacity) * intensity;
        uniforms.lookWeight = static_cast<float>(fading->progress(hostTime));
        item.fromTexture = from.texture;
        item.fromAlphaTexture = from.alphaTexture;
    }
    uniforms.opacity = static_cast<float>(surface.opacity) * intensity;
    if (live) {
        uniforms.tint[0] = live->tint[0];
        uniforms.tint[1] = live->tint[1];
        uniforms.tint[2] = live->tint[2];
    }
    uniforms.feather = surface.feather;
    item.maskTexture = noMaskTexture_;
    if (anyMaskDraws(surface.masks)) {
        item.maskTexture = surfaceMaskTexture(surface);
        uniforms.useMask = 1;
    }

    const std::size_t index = drawItems_.size();
    const std::size_t surfaceBase = roundUp(sizeof(FrameUniforms), uniformStride_);
    std::memcpy(uniformBytes_.data() + surfaceBase + index * uniformStride_, &uniforms,
                sizeof uniforms);

    // Surfaces that do not fit the frame's budget were left out of the count
    // reserved above, in the same order.
    item.first = static_cast<std::uint32_t>(vertices_.size());
    if (drawnSmooth(surface)) {
        const std::span<const SurfaceVertex> cut = smoothSurfaceVertices(surface);
        if (vertices_.size() + cut.size() <= maxFrameVertices) {
            vertices_.insert(vertices_.end(), cut.begin(), cut.end());
            item.count = static_cast<std::uint32_t>(cut.size());
        }
    } else if (vertices_.size() + tessellatedVertexCount(surface, PixelScale{}) <=
               maxFrameVertices) {
        item.count =
            static_cast<std::uint32_t>(tessellateSurface(surface, PixelScale{}, vertices_));
    }
    drawItems_.push_back(item);
}

bool Renderer::drawnSmooth(const Surface& surface) {
    return surface.mesh && prismeta::drawnSmooth(*surface.mesh);
}

std::span<const SurfaceVertex> Renderer::smoothSurfaceVertices(const Surface& surface) {
    return smoothVertices_.vertices(surface, PixelScale{pixelsPerUnit_[0], pixelsPerUnit_[1]},
                                    frameStamp_);
}

unsigned Renderer::surfaceMaskTexture(const Surface& surface) {
    const double cropWidth = outputConfig_ ? outputConfig_->cropWidth : 1.0;
    const double cropHeight = outputConfig_ ? outputConfig_->cropHeight : 1.0;
    const CoverageSize size =
        surfaceCoverageSize(surface, cropWidth, cropHeight, targetWidth_, targetHeight_);
    return maskTextures_->texture(surface.id, surface.masks, MaskSpace{}, size, frameStamp_);
}

void Renderer::logCompressedFallback(std::string_view path) const {
    std::string missing;
    for (const auto& [has, name] :
         {std::pair{driverTextures_.s3tc, "S3TC"}, std::pair{driverTextures_.rgtc, "RGTC"},
          std::pair{driverTextures_.bptc, "BPTC"}}) {
        if (!has) {
            missing += missing.empty() ? name : std::string(", ") + name;
        }
    }
    logLine("Prismeta: HAP video decoded on the processor (" +
            (missing.empty() ? std::string("compressed textures turned off")
                             : "the driver lacks " + missing + " textures") +
            "): " + std::string(path));
}

void Renderer::uploadFrame() {
    if (!vertices_.empty()) {
        streamInto(GL_ARRAY_BUFFER, vertexBuffer_, vertices_.data(),
                   vertices_.size() * sizeof(SurfaceVertex));
    }
    streamInto(GL_UNIFORM_BUFFER, uniformBuffer_, uniformBytes_.data(), uniformBytes_.size());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

void Renderer::drawBlendOverlay(const OutputConfig& output, const FrameUniforms& frame,
                                bool blendTest, double hostTime, unsigned maskTexture) {
    // One vertex list for the frame's overlay draws, in drawing order: the
    // test field, the ramps, the blend map, the lift, the masks, the
    // blackout. At most 54 vertices, on the stack.
    std::array<BlendVertex, 6 + 24 + 6 + 6 + 6 + 6> vertices{};
    std::size_t count = 0;
    const auto append = [&vertices, &count](std::span<const BlendVertex> part) {
        std::copy(part.begin(), part.end(), vertices.begin() + static_cast<std::ptrdiff_t>(count));
        count += part.size();
        return part.size();
    };

    // A crop that shows no canvas shows no field either: the output stays black.
    const std::size_t fieldCount =
        blendTest && drawableCrop(frame) ? append(blendQuad(0, 0, 1, 1).vertices) : 0;

    const BlendBands bands = blendBands(output);
    const std::size_t rampCount = append({bands.vertices.data(), bands.count});
    // The blend map over the whole crop, or no light while the first one loads.
    const BlendMapTexture::State mapState = blendMap_->state();
    std::size_t mapCount = 0;
    std::size_t loadingCount = 0;
    if (tailToWarp_) {
        // Applied by the warp pass (below).
    } else if (mapState == BlendMapTexture::State::ready) {
        mapCount = append(blendQuad(0, 0, 1, 1).vertices);
    } else if (mapState == BlendMapTexture::State::loading) {
        BlendQuad quad = blendQuad(0, 0, 1, 1);
        for (BlendVertex& vertex : quad.vertices) {
            vertex.alpha = 1.0f;
        }
        loadingCount = append(quad.vertices);
    }

    const BlackLevel lift = blackLevelInRange(output.blackLevel);
    std::size_t liftCount = 0;
    std::optional<BlendQuad> liftArea;
    if (!lift.isZero()) {
        liftArea = blendFreeArea(output);
        if (liftArea && !tailToWarp_) {
            liftCount = append(liftArea->vertices);
        }
    }
    const std::size_t maskCount =
        maskTexture != 0 && !tailToWarp_ ? append(blendQuad(0, 0, 1, 1).vertices) : 0;
    // A live master below full darkens as the blackout does: what shows is
    // the master's share of what the blackout leaves.
    const double master = liveLayer_ ? liveLayer_->master() : 1.0;
    const double blackLevel = blackout_.level(hostTime);
    const double blackout = master < 1.0 ? 1.0 - (1.0 - blackLevel) * master : blackLevel;
    if (tailToWarp_) {
        // A warped output's warp pass applies the map, the lift, the masks
        // and the blackout as it reads the crop.
        WarpTail& tail = *warpTail_;
        tail.blendMap = mapState == BlendMapTexture::State::ready ? blendMap_->texture() : 0;
        tail.mapLoading = mapState == BlendMapTexture::State::loading;
        if (liftArea) {
            tail.lift[0] = lift.r;
            tail.lift[1] = lift.g;
            tail.lift[2] = lift.b;
            float x0 = 1.0f, y0 = 1.0f, x1 = 0.0f, y1 = 0.0f;
            for (const BlendVertex& vertex : liftArea->vertices) {
                x0 = std::min(x0, vertex.pos[0]);
                y0 = std::min(y0, vertex.pos[1]);
                x1 = std::max(x1, vertex.pos[0]);
                y1 = std::max(y1, vertex.pos[1]);
            }
            tail.liftArea[0] = x0;
            tail.liftArea[1] = y0;
            tail.liftArea[2] = x1;
            tail.liftArea[3] = y1;
        }
        tail.masks = maskTexture;
        tail.blackout = static_cast<float>(std::clamp(blackout, 0.0, 1.0));
    }
    // The blackout goes over everything, lift included: black is black.
    std::size_t blackoutCount = 0;
    if (const double level = blackout; level > 0.0 && !tailToWarp_) {
        BlendQuad quad = blendQuad(0, 0, 1, 1);
        for (BlendVertex& vertex : quad.vertices) {
            vertex.alpha = static_cast<float>(level);
        }
        blackoutCount = append(quad.vertices);
    }
    if (count == 0) {
        return;
    }
    BlendUniforms uniforms;
    std::memcpy(uniforms.cropOrigin, frame.cropOrigin, sizeof uniforms.cropOrigin);
    std::memcpy(uniforms.cropSize, frame.cropSize, sizeof uniforms.cropSize);
    uniforms.blackLevel[0] = lift.r;
    uniforms.blackLevel[1] = lift.g;
    uniforms.blackLevel[2] = lift.b;
    uniforms.curve = blendCurveInRange(output.blendCurve);
    uniforms.gamma = blendGammaInRange(output.blendGamma);

    glUseProgram(blendPipeline);
    glBindVertexArray(blendVertexArray_);
    // Fresh storage each frame, like the surface vertices: no wait on the GPU.
    streamInto(GL_ARRAY_BUFFER, blendVertexBuffer_, vertices.data(), count * sizeof(BlendVertex));
    streamInto(GL_UNIFORM_BUFFER, blendUniformBuffer_, &uniforms, sizeof uniforms);
    glBindBufferBase(GL_UNIFORM_BUFFER, blendUniformsBinding, blendUniformBuffer_);

    GLint first = 0;
    glActiveTexture(GL_TEXTURE0 + maskTextureUnit);
    glBindTexture(GL_TEXTURE_2D, maskTexture != 0 ? maskTexture : noMaskTexture_);
    glBindSampler(maskTextureUnit, sampler);
    glActiveTexture(GL_TEXTURE0 + blendMapTextureUnit);
    glBindTexture(GL_TEXTURE_2D, mapCount != 0 ? blendMap_->texture() : noMaskTexture_);
    glBindSampler(blendMapTextureUnit, sampler);
    glActiveTexture(GL_TEXTURE0);
    const std::array<std::pair<BlendStage, std::size_t>, 7> draws = {
        {{BlendStage::testField, fieldCount},
         {BlendStage::ramps, rampCount},
         {BlendStage::blendMap, mapCount},
         {BlendStage::blackout, loadingCount},
         {BlendStage::blackLevel, liftCount},
         {BlendStage::masks, maskCount},
         {BlendStage::blackout, blackoutCount}}};
    for (const auto& [stage, stageCount] : draws) {
        if (stageCount == 0) {
            continue;
        }
        glUniform1i(blendStageUniform_, static_cast<GLint>(stage));
        glDrawArrays(GL_TRIANGLES, first, static_cast<GLsizei>(stageCount));
        first += static_cast<GLint>(stageCount);
    }
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

} // namespace prismeta
