#pragma once

#include "core/LiveSource.h"
#include "core/Uuid.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// The decoders behind image, video and live surfaces. The renderer knows no
// file format: a MediaBackend hands it objects that deliver pixels, and the
// renderer turns them into textures. Without a backend (the default) image,
// video and live surfaces show the placeholder colour.

enum class MediaPixelFormat {
    rgba8,
    bgra8,
    // GPU-compressed pictures: 4 x 4 pixel blocks, rows of blocks from the
    // top, the picture padded to whole blocks. Straight alpha.
    bc1,            // DXT1, opaque RGB
    bc3,            // DXT5, RGBA
    bc3ScaledYCoCg, // DXT5 holding Co, Cg, a scale and Y (turned into RGB when drawn)
    bc4,            // RGTC1, one channel, shown as opaque grey
    bc7,            // BPTC unorm, RGBA
};

// Whether the format is one of the GPU-compressed ones.
constexpr bool isBlockCompressed(MediaPixelFormat format) {
    return format != MediaPixelFormat::rgba8 && format != MediaPixelFormat::bgra8;
}

// A borrowed picture: 8 bits per channel, straight (not premultiplied) alpha,
// rows from the top, strideBytes apart (at least width * 4, a multiple of 4).
// A compressed picture has instead `bytes` of blocks at pixels, and may carry
// an alpha image (BC4, `alphaBytes` at alphaPixels, same size) beside a
// scaled-YCoCg one.
struct MediaFrame {
    int width = 0;
    int height = 0;
    std::size_t strideBytes = 0;
    MediaPixelFormat format = MediaPixelFormat::rgba8;
    const std::uint8_t* pixels = nullptr;
    std::size_t bytes = 0;
    const std::uint8_t* alphaPixels = nullptr;
    std::size_t alphaBytes = 0;
};

// The families of compressed textures a renderer can sample: S3TC (BC1,
// BC3), RGTC (BC4) and BPTC (BC7).
struct CompressedTextures {
    bool s3tc = false;
    bool rgtc = false;
    bool bptc = false;
};

// Decodes one still image, possibly on a thread of its own. Polled by the
// render thread until it delivers; after that it is released.
class ImageFeed {
public:
    virtual ~ImageFeed() = default;
    // The decoded image once it is ready; none before that, and none forever
    // when the file cannot be read. The pixels stay valid until the next call
    // or the loader's destruction.
    virtual std::optional<MediaFrame> takeImage() = 0;
    // Whether takeImage may still deliver: false once the decode has failed.
    // A host that redraws only on change keeps drawing while this holds.
    virtual bool pending() const { return true; }
};

// Plays one video, muted, looping or once (MediaRequest::once), decoding on
// threads of its own. Polled by the render thread for its newest frame on
// every frame.
class VideoFeed {
public:
    virtual ~VideoFeed() = default; // stops playback and decoding
    // The frame due at hostTimeSeconds (steady clock) when it is newer than
    // the last one handed out; none otherwise. The pixels stay valid until
    // releaseFrame, the next call or the player's destruction.
    virtual std::optional<MediaFrame> newFrame(double hostTimeSeconds) = 0;
    // The renderer has copied the last frame handed out. A decoder that works
    // with a few picture buffers takes this one back now instead of a frame
    // later.
    virtual void releaseFrame() {}
    // Whether new frames may still come: false once decoding has ended (a
    // file that cannot be played). A host that redraws only on change keeps
    // drawing while this holds.
    virtual bool playing() const { return true; }

    // How the pictures come, once the feed knows (after opening the file, on
    // its own thread): a GPU-compressed video whose blocks the renderer
    // cannot sample comes decoded to pixels instead, which the renderer says
    // in its log.
    enum class Route { undecided, pixels, compressed, pixelsForLackOfTextures };
    virtual Route route() const { return Route::pixels; }
};

// Shows one live source (a camera, a capture card, a network stream): the
// newest picture as it arrives, decoded on threads of the backend's own.
// Polled by the render thread on every frame.
class LiveFeed {
public:
    virtual ~LiveFeed() = default; // lets go of the source (its reader may be shared)
    // The newest picture when it is newer than the last one handed out;
    // none otherwise. The pixels stay valid until releaseFrame, the next call
    // or the feed's destruction.
    virtual std::optional<MediaFrame> newFrame(double hostTimeSeconds) = 0;
    virtual void releaseFrame() {}
    // Whether the last picture handed out may still be shown: the source's
    // newest picture is no older than the hold time. The placeholder
    // otherwise.
    virtual bool holdsPicture() const = 0;
    virtual LiveStatus status() const = 0;
};

// What a media source asks its backend to open, on the render thread while
// the source is made. Only valid during the call.
struct MediaRequest {
    std::string_view path;
    // The surface and its media signature: a backend may let every
    // renderer's source of one surface and signature play on one clock.
    Uuid surface;
    std::string_view signature;
    // The steady-clock time of the frame that makes the source.
    double hostTimeSeconds = 0.0;
    // A video played once from its start, holding its last picture, instead
    // of looping.
    bool once = false;
    // Opened ahead of the GO that will show it: a video decodes its first
    // pictures and waits for its playback to be started (PlaybackClock).
    bool ahead = false;
    // The largest side a texture may have here; larger pictures should come
    // scaled down rather than not at all.
    int maxTextureSize = 0;
    // The compressed textures the renderer samples: a video stored in GPU
    // blocks comes as such only in these, decoded to pixels otherwise.
    CompressedTextures compressedTextures;
    // A live source's options (live surfaces only).
    const LiveOptions* liveOptions = nullptr;
};

// Factories called on the render thread when a surface's media source is
// made. They never fail loudly: a file that cannot be read yields an object
// that never delivers, or none at all. Any of them may be empty.
struct MediaBackend {
    std::function<std::unique_ptr<ImageFeed>(const MediaRequest&)> openImage;
    std::function<std::unique_ptr<VideoFeed>(const MediaRequest&)> openVideo;
    std::function<std::unique_ptr<LiveFeed>(const MediaRequest&)> openLive;

    // How video frames reach their texture, which each source reuses: straight
    // from the decoder's memory (glTexSubImage2D), or copied into a pixel
    // buffer object first, which lets a hardware driver transfer them
    // asynchronously. Software rendering (llvmpipe) is faster straight.
    enum class Upload { direct, pixelBuffer };
    Upload videoUpload = Upload::direct;

    // The compressed textures the backend may hand out; the renderer narrows
    // this to what its driver samples before any source is made. Narrowing
    // it here plays compressed videos decoded to pixels, as on a driver
    // without those formats.
    CompressedTextures compressedTextures{true, true, true};

    // Shader surfaces: the host time at which the show clock (their TIME)
    // reads 0, the same for every renderer of a process; and whether a shader
    // is read and compiled before the first frame that shows it returns
    // (single deterministic frames) instead of in the background.
    double showClockOrigin = 0.0;
    bool shadersAtOnce = false;
};

} // namespace prismeta
