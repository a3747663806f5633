#include "render/BlendMapTexture.h"

#include "core/Log.h"
#include "media/GreyImageLoad.h"

#include <epoxy/gl.h>

#include <optional>

namespace prismeta {

BlendMapTexture::BlendMapTexture() = default;

BlendMapTexture::~BlendMapTexture() {
    clear();
}

void BlendMapTexture::clear() {
    load_.reset();
    if (texture_ != 0) {
        glDeleteTextures(1, &texture_);
    }
    texture_ = 0;
    ready_ = false;
    path_.clear();
    openPath_.clear();
}

BlendMapTexture::State BlendMapTexture::state() const {
    if (path_.empty()) {
        return State::none;
    }
    if (ready_) {
        return State::ready;
    }
    return load_ ? State::loading : State::none;
}

void BlendMapTexture::request(std::string_view path, std::string_view openPath) {
    if (path == path_ && openPath == openPath_) {
        return;
    }
    path_ = path;
    openPath_ = openPath;
    load_.reset();
    if (path_.empty()) {
        ready_ = false;
        return;
    }
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    ImageLimits limits;
    if (maxTexture > 0) {
        limits.maxDimension = maxTexture;
    }
    load_ = std::make_unique<GreyImageLoad>(openPath_, limits);
}

void BlendMapTexture::finish() {
    if (load_) {
        load_->wait();
    }
    collect();
}

void BlendMapTexture::collect() {
    if (!load_ || load_->state() == GreyImageLoad::State::loading) {
        return;
    }
    std::optional<GreyImage> image = load_->takeImage();
    load_.reset();
    if (!image) {
        logLine("Prismeta: blend map cannot be read: " + path_ +
                "; the output gets its full light");
        ready_ = false;
        return;
    }
    if (texture_ == 0) {
        glGenTextures(1, &texture_);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R16, image->width, image->height, 0, GL_RED,
                 GL_UNSIGNED_SHORT, image->values.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    ready_ = true;
}

} // namespace prismeta
