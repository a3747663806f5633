#include "render/OffscreenFramebuffer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

namespace prismeta {

int OffscreenFramebuffer::maxSize() {
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min({renderbuffer, viewport[0], viewport[1]});
}

std::unique_ptr<OffscreenFramebuffer> OffscreenFramebuffer::create(int width, int height) {
    const int limit = maxSize();
    if (width < 1 || height < 1 || width > limit || height > limit) {
        return nullptr;
    }
    std::unique_ptr<OffscreenFramebuffer> fb(new OffscreenFramebuffer());
    fb->width_ = width;
    fb->height_ = height;
    while (glGetError() != GL_NO_ERROR) {
    }
    glGenRenderbuffers(1, &fb->renderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, fb->renderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glGenFramebuffers(1, &fb->framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, fb->framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              fb->renderbuffer_);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (!complete || glGetError() != GL_NO_ERROR) {
        return nullptr; // out of memory, typically
    }
    return fb;
}

OffscreenFramebuffer::~OffscreenFramebuffer() {
    if (framebuffer_ != 0) {
        glDeleteFramebuffers(1, &framebuffer_);
    }
    if (renderbuffer_ != 0) {
        glDeleteRenderbuffers(1, &renderbuffer_);
    }
}

std::vector<std::uint8_t> OffscreenFramebuffer::readPixels() const {
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    std::vector<std::uint8_t> pixels(rowBytes * static_cast<std::size_t>(height_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    // GL's row 0 is the bottom one.
    std::vector<std::uint8_t> row(rowBytes);
    for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* a = pixels.data() + static_cast<std::size_t>(top) * rowBytes;
        std::uint8_t* b = pixels.data() + static_cast<std::size_t>(bottom) * rowBytes;
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    return pixels;
}

} // namespace prismeta
