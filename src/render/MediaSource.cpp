#include "render/MediaSource.h"

#include "core/Surface.h"
#include "render/TestPattern.h"

#include <epoxy/gl.h>

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

bool plausible(const MediaFrame& frame) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
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

} // namespace

MediaSource::MediaSource(const Surface& surface, const MediaBackend& backend, unsigned testPattern,
                         double hostTimeSeconds)
    : signature_(mediaSignature(surface)), kind_(surface.mediaKind) {
    switch (kind_) {
    case MediaKind::color:
        break;
    case MediaKind::testPattern:
        staticTexture_ = testPattern;
        break;
    case MediaKind::image:
        if (surface.mediaPath && backend.openImage) {
            imageFeed_ = guarded([&] { return backend.openImage(*surface.mediaPath); });
        }
        break;
    case MediaKind::video:
        if (surface.mediaPath && backend.openVideo) {
            videoFeed_ =
                guarded([&] { return backend.openVideo(*surface.mediaPath, hostTimeSeconds); });
        }
        break;
    }
}

MediaSource::~MediaSource() {
    // The video first: it stops decoding before its last frame's texture goes.
    videoFeed_.reset();
    imageFeed_.reset();
    if (ownsStaticTexture_ && staticTexture_ != 0) {
        glDeleteTextures(1, &staticTexture_);
    }
    if (lastVideoTexture_ != 0) {
        glDeleteTextures(1, &lastVideoTexture_);
    }
}

std::string_view MediaSource::path() const {
    const std::size_t bar = signature_.find('|');
    return bar == std::string::npos ? std::string_view()
                                    : std::string_view(signature_).substr(bar + 1);
}

bool MediaSource::matches(const Surface& surface) const {
    return mediaSignatureMatches(surface, kind_, path());
}

unsigned MediaSource::staticTexture() {
    if (imageFeed_) {
        if (const auto image = guarded([&] { return imageFeed_->takeImage(); })) {
            int width = 0;
            int height = 0;
            ownsStaticTexture_ = true;
            upload(staticTexture_, width, height, *image);
            imageFeed_.reset(); // an image is loaded once
        }
    }
    return staticTexture_;
}

unsigned MediaSource::videoTexture(double hostTimeSeconds) {
    if (!videoFeed_) {
        return 0;
    }
    const auto frame = guarded([&] { return videoFeed_->newFrame(hostTimeSeconds); });
    if (!frame || !upload(lastVideoTexture_, textureWidth_, textureHeight_, *frame)) {
        return 0;
    }
    return lastVideoTexture_;
}

bool MediaSource::upload(unsigned& texture, int& width, int& height, const MediaFrame& frame) {
    if (!plausible(frame)) {
        return false;
    }
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
    resetUnpackState(static_cast<GLint>(frame.strideBytes / 4));
    const GLenum format = frame.format == MediaPixelFormat::bgra8 ? GL_BGRA : GL_RGBA;
    if (frame.width == width && frame.height == height) {
        // Same size: refill the storage in place, no new allocation.
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.width, frame.height, format, GL_UNSIGNED_BYTE,
                        frame.pixels);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frame.width, frame.height, 0, format,
                     GL_UNSIGNED_BYTE, frame.pixels);
        width = frame.width;
        height = frame.height;
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return true;
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
    if (!upload(texture, width, height, frame)) {
        return 0;
    }
    return texture;
}

} // namespace prismeta
