#pragma once

#include "core/MediaKind.h"
#include "core/Surface.h"
#include "render/MediaBackend.h"
#include "render/ShaderInputsFrame.h"

#include <memory>
#include <string>
#include <string_view>

namespace prismeta {

class IsfPicture;

// The texture behind one surface's media: the generated test pattern, a still
// image, the newest frame of a looping video, the newest picture of a live
// source or a shader's picture. A source is tied to the
// surface's media signature (kind and path) at creation; the renderer makes a
// new one when either changes. Failures are silent: a source whose media
// cannot be read simply has no texture, and nothing is retried.
//
// Owned by one renderer's media table. Render thread only, with that
// renderer's GL context current for construction, destruction and every call.
class MediaSource {
public:
    // Cheap: image and video files are opened through the backend's
    // factories, which decode elsewhere. The test pattern is the same for
    // every surface, so a test-pattern source borrows the renderer's one
    // texture of it (testPattern, 0 when it could not be made). openPath,
    // when not empty, is the file opened in place of the surface's path (where
    // the file was found after it moved); the signature keeps the surface's.
    // A source made ahead (before the GO that shows it) has its video wait at
    // its first picture until its playback is started.
    MediaSource(const Surface& surface, const MediaBackend& backend, unsigned testPattern,
                double hostTimeSeconds, std::string_view openPath = {}, bool ahead = false);
    ~MediaSource(); // stops the video, releases the textures

    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // The surface's media signature when the source was made ("image|/a/b.png").
    const std::string& signature() const { return signature_; }
    MediaKind kind() const { return kind_; }
    // The path part of the signature (empty when the surface had none).
    std::string_view path() const;
    // Whether the source still matches the surface's kind, path and way of
    // playing a video; no allocation.
    bool matches(const Surface& surface) const;
    // The file an image or video source opened; empty for the other kinds and
    // for a surface without a path.
    std::string_view openedPath() const;

    // The test pattern or the image (once its feed has delivered); 0 for none.
    unsigned staticTexture();
    // The newest video frame due at hostTime, uploaded into the one texture
    // this source keeps for its video (lastVideoTexture); 0 when there is no
    // new one. The frame goes back to its decoder right after the upload.
    unsigned videoTexture(double hostTimeSeconds);
    // A live source's picture: the newest one uploaded into the video
    // texture, or the last one while it is within the hold time; 0 (the
    // placeholder) before the first picture and once the source has been
    // gone for longer than that.
    unsigned liveTexture(double hostTimeSeconds);
    // How the live source is doing (waiting for a source that has no feed).
    LiveStatus liveStatus() const;

    // A shader surface's picture at showTime, rendered at width x height
    // (see IsfPicture::render); 0 while it loads and after a failure.
    unsigned shaderTexture(const Surface& surface, int width, int height, double showTime,
                           double hostTimeSeconds, const ShaderInputsFrame& inputs = {});

    // The texture of the last video frame delivered; 0 before the first.
    unsigned lastVideoTexture() const { return lastVideoTexture_; }

    // How to read lastVideoTexture: as it is, or as a compressed picture
    // padded to whole blocks (scale: the picture's share of the texture),
    // with its alpha image's texture where it has one.
    struct PictureLayout {
        int coding = 0; // a PictureCoding
        float scale[2] = {1.0f, 1.0f};
        unsigned alphaTexture = 0;
    };
    const PictureLayout& videoLayout() const { return videoLayout_; }
    // Whether the video turned out to be GPU-compressed but comes decoded to
    // pixels because the renderer cannot sample its blocks. Polls the feed
    // until it has decided.
    bool compressedVideoDecodedToPixels();

    // Whether drawing again later may show something new: a still that is
    // still decoding, or a video whose decoder had not ended at the last poll.
    // Windows draw only on change, so a source that plays by any other means
    // must answer true here while it does, or its picture stops after one
    // frame.
    bool changesOverTime() const;

    // The test pattern as a texture of size x size (1024 for surfaces); 0 when
    // it cannot be made.
    static unsigned makeTestPattern(int size);

private:
    // Uploads a frame into texture (made on first use, resized as needed),
    // through pixelBuffer when it is not null (made on first use).
    static bool upload(unsigned& texture, int& width, int& height, const MediaFrame& frame,
                       int maxTextureSize, unsigned* pixelBuffer = nullptr);
    // Uploads a compressed picture (and its alpha image) into the video
    // textures, reusing their storage while size and format stay.
    bool uploadCompressed(const MediaFrame& frame);

    std::string signature_;
    MediaKind kind_;
    VideoPlayback playback_;
    LiveOptions liveOptions_;
    bool opensFile_ = false;
    std::string relocatedPath_; // the file opened in place of the path, if any
    int maxTextureSize_ = 0;
    unsigned staticTexture_ = 0;
    bool ownsStaticTexture_ = false;
    unsigned lastVideoTexture_ = 0;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    unsigned textureFormat_ = 0; // the GL internal format of a compressed picture's texture
    unsigned alphaTexture_ = 0;
    int alphaWidth_ = 0;
    int alphaHeight_ = 0;
    PictureLayout videoLayout_;
    VideoFeed::Route route_ = VideoFeed::Route::undecided;
    bool uploadThroughPixelBuffer_ = false;
    unsigned pixelBuffer_ = 0;
    // Read before each poll, so a last picture published just before the
    // decoder ended is still taken by that poll.
    bool videoEnded_ = false;
    // Made ahead and not drawn yet: its video waits for its start and
    // changes nothing on screen.
    bool waitingForGo_ = false;
    std::unique_ptr<ImageFeed> imageFeed_;
    std::unique_ptr<VideoFeed> videoFeed_;
    std::unique_ptr<LiveFeed> liveFeed_;
    std::unique_ptr<IsfPicture> shader_;
};

} // namespace prismeta
