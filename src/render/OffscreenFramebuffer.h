#pragma once

#include "render/Renderer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace prismeta {

// A framebuffer object with one 8-bit RGBA colour attachment, for drawing
// without a window (tests, benchmarks, prismeta-cli) and reading the pixels
// back. Thread: the one with its GL context current, for every call and the
// destructor.
class OffscreenFramebuffer {
public:
    // Null when the size is below 1 or beyond maxSize(), or GL refuses.
    static std::unique_ptr<OffscreenFramebuffer> create(int width, int height);
    ~OffscreenFramebuffer();

    OffscreenFramebuffer(const OffscreenFramebuffer&) = delete;
    OffscreenFramebuffer& operator=(const OffscreenFramebuffer&) = delete;

    // The whole framebuffer as a renderer target.
    FrameTarget target() const { return {framebuffer_, 0, 0, width_, height_}; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Waits for drawing to finish and returns width * height * 4 bytes of
    // RGBA, row 0 at the top (as an image file stores it).
    std::vector<std::uint8_t> readPixels() const;

    // The largest width or height a framebuffer may have in the current context.
    static int maxSize();

private:
    OffscreenFramebuffer() = default;

    unsigned framebuffer_ = 0;
    unsigned renderbuffer_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace prismeta
