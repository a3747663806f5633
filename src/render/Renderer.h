#pragma once

#include "core/OutputConfig.h"
#include "cues/Blackout.h"
#include "geometry/SmoothVertexCache.h"
#include "geometry/SurfaceVertex.h"
#include "render/MediaBackend.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace prismeta {

class ProjectModel;
class BlendMapTexture;
class Crossfade;
class OutputWarpPass;
struct WarpTail;
class LiveLayer;
struct FadingLook;
class MediaLocations;
class MediaSource;
class MediaSourceTable;
class MaskTextures;
class SharedShaderPictures;
struct Surface;
struct FrameUniforms;
struct ShaderInputsFrame;

// Where a frame goes: a framebuffer object and a viewport in device pixels
// (GL origin bottom-left). The frame clears and draws only inside this
// rectangle, so a host may show the canvas in part of a larger window.
struct FrameTarget {
    unsigned framebuffer = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Draws one canvas view: the editor's whole canvas (no output config) or one
// output's crop with its edge-blend ramps, blend map and black-level lift; an
// output the model has in blend test shows the test field through its ramps
// instead of the canvas. An output with a warp is drawn onto its projector's
// raster: the finished crop (ramps, blend map, lift, masks) goes to a texture
// of the target's size and from there through the warp (OutputWarpPass.h). Owns its GL objects and
// one media source per surface; renderers share nothing with each other but, where the host gives
// them, the shader pictures (setSharedShaders).
//
// Thread: the one that owns its GL context (the interface thread). Every call,
// the destructor included, needs that OpenGL 3.3 core context current. The
// model is borrowed: the host keeps it alive for as long as the renderer.
class Renderer {
public:
    // Needs a current OpenGL 3.3 core context (epoxy). Null on any failure;
    // shader and program errors are logged as "Prismeta: pipeline creation
    // failed: ..." on one line. The media backend decodes image and video
    // files; without one those surfaces show the placeholder.
    static std::unique_ptr<Renderer> create(const ProjectModel& model,
                                            std::optional<OutputConfig> outputConfig,
                                            MediaBackend media = {});
    ~Renderer(); // releases GL objects and media sources (stops their videos)

    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // The host hands over the current model and output config on every change;
    // the next frame draws them.
    void setModel(const ProjectModel& model);
    void setOutputConfig(std::optional<OutputConfig> config);
    const std::optional<OutputConfig>& outputConfig() const { return outputConfig_; }

    // Where media missing at their stored paths were found (none: nowhere).
    // A source opens the found file in place of its surface's path; sources
    // whose file changes with new locations are made again on the next frame.
    void setMediaLocations(std::shared_ptr<const MediaLocations> locations);

    // The show's running cue fade (none: no fade) and blackout, both on the
    // clock frames are drawn at; every renderer given the same ones shows the
    // same picture at the same frame time. The blackout darkens outputs only,
    // over their edge blends.
    void setCrossfade(std::shared_ptr<const Crossfade> crossfade);
    void setBlackout(const Blackout& blackout) { blackout_ = blackout; }
    // What live inputs make of the surfaces (intensity, tint, other media, a
    // held video, a shader input) and the master over the outputs (which,
    // like the blackout, darkens outputs only). Borrowed; none: the project
    // as it is.
    void setLiveLayer(const LiveLayer* layer) { liveLayer_ = layer; }
    // Surfaces as the next cue will show them: their stills are opened and
    // uploaded, their videos opened with their first pictures decoded and
    // waiting for their start, their live sources connected (all kept while
    // listed), so a GO draws them at once.
    void setPreload(std::shared_ptr<const std::vector<Surface>> surfaces);
    // Shader surfaces' pictures rendered once per frame for every renderer
    // sharing them (none: this renderer runs its shaders itself).
    void setSharedShaders(std::shared_ptr<SharedShaderPictures> pictures);

    // One frame at steady_clock now, or at a given host time (tests, the CLI).
    // An empty target draws nothing. Every GL state the frame relies on is set
    // here, so a host (QPainter) may change state between frames.
    void draw(const FrameTarget& target);
    void draw(const FrameTarget& target, double hostTimeSeconds);

    // Whether the last frame drew media that goes on changing by itself (a
    // video playing, a still still decoding), so the next frame may differ
    // with nothing else changed. A host that redraws only on change asks this
    // after every frame and keeps drawing while it holds.
    bool needsFrames() const;

    // Mask coverage is rasterised off this thread; a frame drawn before a
    // mask's new coverage is in shows the previous one (none: no light) and
    // needsFrames() holds until it is. The blend map is decoded off this
    // thread too (BlendMapTexture.h). With waiting on (the CLI, tests) each
    // frame first waits for every coverage and blend map it needs.
    void setWaitForMasks(bool wait) { waitForMasks_ = wait; }

    // Media sources currently cached (for tests and diagnostics).
    std::size_t mediaSourceCount() const;
    // Vertices the last frame drew for its surfaces (for tests and diagnostics).
    std::size_t frameVertexCount() const { return vertices_.size(); }

    // What one frame may carry: 2^24 vertices (512 MiB of vertex data) and
    // 2^16 surfaces. Surfaces beyond either are left out of the frame; only a
    // hostile file gets there (a real 64 x 64 mesh needs 24,576 vertices).
    static constexpr std::size_t maxFrameVertices = std::size_t{1} << 24;
    static constexpr std::size_t maxFrameSurfaces = std::size_t{1} << 16;

private:
    // One surface's draw of the frame: its vertex range in the frame's vertex
    // buffer, its texture and (by position) its uniform block.
    struct DrawItem {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        unsigned texture = 0;
        unsigned alphaTexture = 0; // a compressed picture's alpha image, if it has one
        unsigned maskTexture = 0;  // the masks' coverage, or noMaskTexture_
        unsigned fromTexture = 0;  // the look a fade comes from, if it is in one
        unsigned fromAlphaTexture = 0;
    };

    // What one look draws: a colour, or a texture read in a given way.
    struct LookPicture {
        float color[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        bool useTexture = false;
        unsigned texture = 0;
        unsigned alphaTexture = 0;
        float scale[2] = {1.0f, 1.0f};
        int coding = 0;
    };

    Renderer(const ProjectModel& model, std::optional<OutputConfig> outputConfig,
             MediaBackend media);
    bool createGpuState();
    // The frame of the output's crop (or of the canvas) into target.
    void drawCrop(const FrameTarget& target, double hostTimeSeconds);
    void releaseGpuState();
    // The surface's cached source, made when its kind or path changed (ahead:
    // for a look a GO is still to show); none for colour surfaces.
    MediaSource* mediaSource(const Surface& surface, double hostTime, bool ahead = false);
    // hold: a video shows the picture it last showed (a live pause).
    LookPicture lookPicture(const Surface& surface, double hostTime,
                            const ShaderInputsFrame& inputs, bool hold = false);
    // Where the surface's file was found after it moved (empty: at its path).
    std::string_view relocatedPath(const Surface& surface) const;
    // A shader surface's picture from the shared pictures (0: the placeholder).
    unsigned sharedShaderTexture(const Surface& surface, double hostTime,
                                 const ShaderInputsFrame& inputs);
    // Records one surface into the frame: uniforms, texture and vertices,
    // with the look it fades from when it is in a cue's fade.
    void drawSurface(const Surface& surface, const FadingLook* fading, double hostTime);
    // The output's ramps, the black-level lift where no ramp is, and, in blend
    // test, the test field beneath them (the canvas is not drawn then).
    // Then the output's masks over all of it (maskTexture not 0), and the
    // blackout.
    void drawBlendOverlay(const OutputConfig& output, const FrameUniforms& frame, bool blendTest,
                          double hostTime, unsigned maskTexture);
    // Whether the surface has a mesh drawn smooth, whose vertices are kept
    // in smoothVertices_ (cut at this frame's pixels per canvas unit).
    static bool drawnSmooth(const Surface& surface);
    std::span<const SurfaceVertex> smoothSurfaceVertices(const Surface& surface);
    // The coverage of the surface's masks (the white fallback when none draw).
    unsigned surfaceMaskTexture(const Surface& surface);
    void uploadFrame();
    // The one log line of a renderer that had to play a HAP video decoded to
    // pixels.
    void logCompressedFallback(std::string_view path) const;

    const ProjectModel* model_;
    std::optional<OutputConfig> outputConfig_;
    MediaBackend media_;

    // GL objects, all owned. A "pipeline" is a program with its vertex array;
    // the blend state is set at the start of every frame.
    unsigned pipeline = 0;
    unsigned pipelineVertexArray_ = 0;
    unsigned blendPipeline = 0;
    unsigned blendVertexArray_ = 0;
    unsigned sampler = 0;
    unsigned fallbackTexture = 0;
    unsigned noMaskTexture_ = 0;      // one-channel white: unit 2 always holds one channel
    unsigned testPatternTexture_ = 0; // made on first use, shared by test-pattern sources
    bool testPatternTried_ = false;
    unsigned vertexBuffer_ = 0;
    unsigned blendVertexBuffer_ = 0;
    unsigned blendUniformBuffer_ = 0;
    int blendStageUniform_ = -1;
    unsigned uniformBuffer_ = 0;
    std::size_t uniformStride_ = 0; // SurfaceUniforms rounded up to the GL offset alignment

    std::unique_ptr<MediaSourceTable> mediaSources;
    std::uint64_t frameStamp_ = 0;
    std::shared_ptr<const MediaLocations> mediaLocations_;
    bool mediaLocationsChanged_ = false;
    CompressedTextures driverTextures_; // what the driver samples, found at creation
    bool compressedFallbackLogged_ = false;
    std::shared_ptr<const Crossfade> crossfade_;
    std::shared_ptr<const std::vector<Surface>> preload_;
    std::shared_ptr<SharedShaderPictures> sharedShaders_;
    // Whether the last frame drew a shared picture that still changes.
    bool sharedShadersChanging_ = false;
    Blackout blackout_;
    const LiveLayer* liveLayer_ = nullptr;
    std::unique_ptr<MaskTextures> maskTextures_;
    std::unique_ptr<BlendMapTexture> blendMap_;
    std::unique_ptr<OutputWarpPass> warpPass_; // made with the first warped frame
    bool warpPassTried_ = false;
    // While the crop of a warped output is drawn: the last overlay stages
    // (map, lift, masks, blackout) go here for the warp pass to apply.
    std::unique_ptr<WarpTail> warpTail_;
    bool tailToWarp_ = false;
    bool waitForMasks_ = false;
    int targetWidth_ = 0; // the frame's target, for the size of mask coverage
    int targetHeight_ = 0;
    double pixelsPerUnit_[2] = {1.0, 1.0}; // of this frame's target, per canvas unit

    // Per-frame storage, kept between frames so a steady frame allocates nothing.
    std::vector<SurfaceVertex> vertices_;
    std::vector<std::byte> uniformBytes_;
    std::vector<DrawItem> drawItems_;
    SmoothVertexCache smoothVertices_;
};

} // namespace prismeta
