#include "render/MediaSource.h"

#include "core/Surface.h"
#include "render/IsfPicture.h"
#include "render/TestPattern.h"
#include "render/UniformBlocks.h"

#include <epoxy/gl.h>

#include <cstring>

namespace prismeta {

namespace {

// Backend objects are other people's code: an exception there means no media,
// never a broken frame.
template <typename F> auto guarded(F&& call) -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        return {};
    }
}

int queryMaxTextureSize() {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return maxSize;
}

bool plausible(const MediaFrame& frame, int maxSize) {
    return frame.pixels != nullptr && frame.width > 0 && frame.height > 0 &&
           frame.width <= maxSize && frame.height <= maxSize && frame.strideBytes % 4 == 0 &&
           frame.strideBytes >= static_cast<std::size_t>(frame.width) * 4 &&
           frame.strideBytes / 4 <= static_cast<std::size_t>(1) << 30;
}

void setTextureParameters() {
    // The renderer's sampler object decides filtering at draw time; these make
    // the texture complete without mipmaps for anyone sampling it without one.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
}

// Binds texture to GL_TEXTURE_2D, making it (with its parameters) on first
// use. False when no texture can be made.
bool bindOrMakeTexture(unsigned& texture) {
    if (texture == 0) {
        glGenTextures(1, &texture);
        if (texture == 0) {
            return false;
        }
        glBindTexture(GL_TEXTURE_2D, texture);
        setTextureParameters();
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
    }
    return true;
}

// A host (Qt) may leave any unpack state behind.
void resetUnpackState(GLint rowLength) {
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
    glPixelStorei(GL_UNPACK_SKIP_IMAGES, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
}

// Copies the frame into the pixel buffer (fresh storage, so the copy never
// waits for a transfer still reading the old one) and leaves it bound as the
// source of the next upload. False, with nothing bound, when it cannot be
// mapped.
bool stageInPixelBuffer(unsigned buffer, const MediaFrame& frame) {
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 4;
    const std::size_t bytes =
        frame.strideBytes * static_cast<std::size_t>(frame.height - 1) + rowBytes;
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_UNPACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_DRAW);
    void* mapped = glMapBufferRange(GL_PIXEL_UNPACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes),
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    if (mapped != nullptr) {
        std::memcpy(mapped, frame.pixels, bytes);
        // False when the driver lost the storage meanwhile (a mode switch).
        if (glUnmapBuffer(GL_PIXEL_UNPACK_BUFFER) == GL_TRUE) {
            return true;
        }
    }
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    return false;
}

struct BlockFormat {
    GLenum internalFormat = 0;
    std::size_t blockBytes = 0;
    int coding = plainPicture;
};

BlockFormat blockFormat(const MediaFrame& frame) {
    switch (frame.format) {
    case MediaPixelFormat::bc1:
        return {GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 8, blockPicture};
    case MediaPixelFormat::bc3:
        return {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16, blockPicture};
    case MediaPixelFormat::bc3ScaledYCoCg:
        return {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16,
                frame.alphaPixels != nullptr ? scaledYCoCgWithAlpha : scaledYCoCgPicture};
    case MediaPixelFormat::bc4:
        return {GL_COMPRESSED_RED_RGTC1, 8, singleChannelPicture};
    case MediaPixelFormat::bc7:
        return {GL_COMPRESSED_RGBA_BPTC_UNORM, 16, blockPicture};
    case MediaPixelFormat::rgba8:
    case MediaPixelFormat::bgra8:
        break;
    }
    return {};
}

// The bytes of a picture of the given block size padded to whole blocks; 0
// when that is not a sensible size.
std::size_t blockBytes(int width, int height, std::size_t bytesPerBlock) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return ((static_cast<std::size_t>(width) + 3) / 4) *
           ((static_cast<std::size_t>(height) + 3) / 4) * bytesPerBlock;
}

// Fills texture (made on first use) with a compressed image padded to whole
// blocks: in place while its format and size stay, new storage otherwise.
bool uploadBlocks(unsigned& texture, unsigned& format, int& width, int& height,
                  GLenum internalFormat, int paddedWidth, int paddedHeight,
                  const std::uint8_t* blocks, std::size_t bytes) {
    if (!bindOrMakeTexture(texture)) {
        return false;
    }
    resetUnpackState(0);
    if (format == internalFormat && width == paddedWidth && height == paddedHeight) {
        glCompressedTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, paddedWidth, paddedHeight, internalFormat,
                                  static_cast<GLsizei>(bytes), blocks);
    } else {
        glCompressedTexImage2D(GL_TEXTURE_2D, 0, internalFormat, paddedWidth, paddedHeight, 0,
                               static_cast<GLsizei>(bytes), blocks);
        format = internalFormat;
        width = paddedWidth;
        height = paddedHeight;
    }
    return true;
}

} // namespace

MediaSource::MediaSource(const Surface& surface, const MediaBackend& backend, unsigned testPattern,
                         double hostTimeSeconds, std::string_view openPath, bool ahead)
    : signature_(mediaSignature(surface)), kind_(surface.mediaKind), playback_(surface.playback),
      liveOptions_(surface.liveOptions),
      uploadThroughPixelBuffer_(backend.videoUpload == MediaBackend::Upload::pixelBuffer) {
    waitingForGo_ = ahead;
    opensFile_ =
        (kind_ == MediaKind::image || kind_ == MediaKind::video || kind_ == MediaKind::shader) &&
        surface.mediaPath && !surface.mediaPath->empty();
    if (opensFile_ && !openPath.empty()) {
        relocatedPath_ = openPath;
    }
    const auto request = [&] {
        MediaRequest r;
        r.path = opensFile_ ? openedPath() : std::string_view(*surface.mediaPath);
        r.surface = surface.id;
        r.signature = signature_;
        r.hostTimeSeconds = hostTimeSeconds;
        r.once = surface.playback == VideoPlayback::once;
        r.ahead = ahead;
        r.maxTextureSize = maxTextureSize_;
        r.compressedTextures = backend.compressedTextures;
        r.liveOptions = &liveOptions_;
        return r;
    };
    switch (kind_) {
    case MediaKind::color:
        break;
    case MediaKind::testPattern:
        staticTexture_ = testPattern;
        break;
    case MediaKind::image:
        if (surface.mediaPath && backend.openImage) {
            maxTextureSize_ = queryMaxTextureSize();
            imageFeed_ = guarded([&] { return backend.openImage(request()); });
        }
        break;
    case MediaKind::video:
        if (surface.mediaPath && backend.openVideo) {
            maxTextureSize_ = queryMaxTextureSize();
            videoFeed_ = guarded([&] { return backend.openVideo(request()); });
        }
        break;
    case MediaKind::shader:
        if (opensFile_) {
            shader_ = std::make_unique<IsfPicture>(std::string(openedPath()), backend);
        }
        break;
    case MediaKind::live:
        // A device or a URL, never looked for under the project's folder.
        if (surface.mediaPath && !surface.mediaPath->empty() && backend.openLive) {
            maxTextureSize_ = queryMaxTextureSize();
            liveFeed_ = guarded([&] { return backend.openLive(request()); });
        }
        break;
    }
}

MediaSource::~MediaSource() {
    // The video first: it stops decoding before its last frame's texture goes.
    videoFeed_.reset();
    liveFeed_.reset();
    shader_.reset();
    imageFeed_.reset();
    if (ownsStaticTexture_ && staticTexture_ != 0) {
        glDeleteTextures(1, &staticTexture_);
    }
    if (lastVideoTexture_ != 0) {
        glDeleteTextures(1, &lastVideoTexture_);
    }
    if (alphaTexture_ != 0) {
        glDeleteTextures(1, &alphaTexture_);
    }
    if (pixelBuffer_ != 0) {
        glDeleteBuffers(1, &pixelBuffer_);
    }
}

std::string_view MediaSource::path() const {
    const std::size_t bar = signature_.find('|');
    return bar == std::string::npos ? std::string_view()
                                    : std::string_view(signature_).substr(bar + 1);
}

std::string_view MediaSource::openedPath() const {
    if (!opensFile_) {
        return {};
    }
    return relocatedPath_.empty() ? path() : std::string_view(relocatedPath_);
}

bool MediaSource::matches(const Surface& surface) const {
    return mediaSignatureMatches(surface, kind_, path()) &&
           (kind_ != MediaKind::video || surface.playback == playback_) &&
           (kind_ != MediaKind::live || surface.liveOptions == liveOptions_);
}

unsigned MediaSource::staticTexture() {
    if (imageFeed_) {
        if (const auto image = guarded([&] { return imageFeed_->takeImage(); })) {
            int width = 0;
            int height = 0;
            ownsStaticTexture_ = true;
            upload(staticTexture_, width, height, *image, maxTextureSize_);
            imageFeed_.reset(); // an image is loaded once
        }
    }
    return staticTexture_;
}

unsigned MediaSource::shaderTexture(const Surface& surface, int width, int height, double showTime,
                                    double hostTimeSeconds, const ShaderInputsFrame& inputs) {
    return shader_ ? shader_->render(surface, width, height, showTime, hostTimeSeconds, inputs) : 0;
}

bool MediaSource::changesOverTime() const {
    if (shader_) {
        return shader_->changesOverTime();
    }
    if (imageFeed_) {
        return guarded([&] { return imageFeed_->pending(); });
    }
    if (liveFeed_) {
        // A source may come (back) at any moment.
        return !waitingForGo_;
    }
    return videoFeed_ && !videoEnded_ && !waitingForGo_;
}

unsigned MediaSource::videoTexture(double hostTimeSeconds) {
    if (!videoFeed_) {
        return 0;
    }
    waitingForGo_ = false; // drawn: it plays
    videoEnded_ = !guarded([&] { return videoFeed_->playing(); });
    const auto frame = guarded([&] { return videoFeed_->newFrame(hostTimeSeconds); });
    if (!frame) {
        return 0;
    }
    bool uploaded = false;
    if (frame->pixels == nullptr) {
        // A picture the decoder could not make: the last one stays.
    } else if (isBlockCompressed(frame->format)) {
        uploaded = uploadCompressed(*frame);
    } else {
        if (textureFormat_ != 0) {
            // The texture held blocks: it gets pixel storage anew.
            textureFormat_ = 0;
            textureWidth_ = textureHeight_ = 0;
        }
        uploaded = upload(lastVideoTexture_, textureWidth_, textureHeight_, *frame, maxTextureSize_,
                          uploadThroughPixelBuffer_ ? &pixelBuffer_ : nullptr);
        if (uploaded) {
            videoLayout_ = PictureLayout{};
        }
    }
    guarded([&] {
        videoFeed_->releaseFrame();
        return 0;
    });
    return uploaded ? lastVideoTexture_ : 0;
}

unsigned MediaSource::liveTexture(double hostTimeSeconds) {
    if (!liveFeed_) {
        return 0;
    }
    waitingForGo_ = false; // drawn: it shows
    if (const auto frame = guarded([&] { return liveFeed_->newFrame(hostTimeSeconds); })) {
        const bool uploaded =
            !isBlockCompressed(frame->format) &&
            upload(lastVideoTexture_, textureWidth_, textureHeight_, *frame, maxTextureSize_,
                   uploadThroughPixelBuffer_ ? &pixelBuffer_ : nullptr);
        guarded([&] {
            liveFeed_->releaseFrame();
            return 0;
        });
        if (uploaded) {
            return lastVideoTexture_;
        }
    }
    return guarded([&] { return liveFeed_->holdsPicture(); }) ? lastVideoTexture_ : 0;
}

LiveStatus MediaSource::liveStatus() const {
    return liveFeed_ ? guarded([&] { return liveFeed_->status(); }) : LiveStatus{};
}

bool MediaSource::upload(unsigned& texture, int& width, int& height, const MediaFrame& frame,
                         int maxTextureSize, unsigned* pixelBuffer) {
    if (!plausible(frame, maxTextureSize) || !bindOrMakeTexture(texture)) {
        return false;
    }
    resetUnpackState(static_cast<GLint>(frame.strideBytes / 4));
    const std::uint8_t* pixels = frame.pixels;
    if (pixelBuffer != nullptr) {
        if (*pixelBuffer == 0) {
            glGenBuffers(1, pixelBuffer);
        }
        if (*pixelBuffer != 0 && stageInPixelBuffer(*pixelBuffer, frame)) {
            pixels = nullptr; // from offset 0 of the bound buffer
        }
    }
    const GLenum format = frame.format == MediaPixelFormat::bgra8 ? GL_BGRA : GL_RGBA;
    if (frame.width == width && frame.height == height) {
        // Same size: refill the storage in place, no new allocation.
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.width, frame.height, format, GL_UNSIGNED_BYTE,
                        pixels);
    } else {
        // The unsized format lets the driver keep the texture in the channel
        // order of the pixels it is given: llvmpipe then copies BGRA rows as
        // they are instead of reordering every pixel (six times faster at
        // 1080p). A driver that would store less than 8 bits a channel gets
        // the sized format.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, frame.width, frame.height, 0, format,
                     GL_UNSIGNED_BYTE, pixels);
        GLint bits[4] = {};
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &bits[0]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_GREEN_SIZE, &bits[1]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_BLUE_SIZE, &bits[2]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &bits[3]);
        if (bits[0] < 8 || bits[1] < 8 || bits[2] < 8 || bits[3] < 8) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frame.width, frame.height, 0, format,
                         GL_UNSIGNED_BYTE, pixels);
        }
        width = frame.width;
        height = frame.height;
    }
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return true;
}

bool MediaSource::uploadCompressed(const MediaFrame& frame) {
    const BlockFormat colour = blockFormat(frame);
    const std::size_t bytes = blockBytes(frame.width, frame.height, colour.blockBytes);
    const int paddedWidth = (frame.width + 3) / 4 * 4;
    const int paddedHeight = (frame.height + 3) / 4 * 4;
    const bool withAlpha = colour.coding == scaledYCoCgWithAlpha;
    if (colour.internalFormat == 0 || frame.pixels == nullptr || bytes == 0 ||
        frame.bytes != bytes || frame.width > maxTextureSize_ - 3 ||
        frame.height > maxTextureSize_ - 3 ||
        (withAlpha && frame.alphaBytes != blockBytes(frame.width, frame.height, 8))) {
        return false;
    }
    if (!uploadBlocks(lastVideoTexture_, textureFormat_, textureWidth_, textureHeight_,
                      colour.internalFormat, paddedWidth, paddedHeight, frame.pixels, bytes)) {
        return false;
    }
    if (withAlpha) {
        unsigned alphaFormat = alphaTexture_ != 0 ? GL_COMPRESSED_RED_RGTC1 : 0;
        if (!uploadBlocks(alphaTexture_, alphaFormat, alphaWidth_, alphaHeight_,
                          GL_COMPRESSED_RED_RGTC1, paddedWidth, paddedHeight, frame.alphaPixels,
                          frame.alphaBytes)) {
            return false;
        }
    }
    videoLayout_.coding = colour.coding;
    videoLayout_.scale[0] = static_cast<float>(frame.width) / static_cast<float>(paddedWidth);
    videoLayout_.scale[1] = static_cast<float>(frame.height) / static_cast<float>(paddedHeight);
    videoLayout_.alphaTexture = withAlpha ? alphaTexture_ : 0;
    return true;
}

bool MediaSource::compressedVideoDecodedToPixels() {
    if (route_ == VideoFeed::Route::undecided && videoFeed_) {
        route_ = guarded([&] { return videoFeed_->route(); });
    }
    return route_ == VideoFeed::Route::pixelsForLackOfTextures;
}

unsigned MediaSource::makeTestPattern(int size) {
    const std::vector<std::uint8_t> pixels = makeTestPatternPixels(size);
    if (pixels.empty()) {
        return 0;
    }
    const MediaFrame frame{size, size, static_cast<std::size_t>(size) * 4, MediaPixelFormat::rgba8,
                           pixels.data()};
    unsigned texture = 0;
    int width = 0;
    int height = 0;
    if (!upload(texture, width, height, frame, queryMaxTextureSize())) {
        return 0;
    }
    return texture;
}

} // namespace prismeta
