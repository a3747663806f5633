#include "render/BlendMapTexture.h"

#include "core/Log.h"
#include "media/GreyImage.h"
#include "media/GreyImageLoad.h"

#include <epoxy/gl.h>

#include <cmath>
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
    image_.reset();
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

void BlendMapTexture::request(std::string_view path, std::string_view openPath, float gamma) {
    gamma_ = gamma;
    if (ready_ && image_ && gamma_ != uploadedGamma_ && path == path_ && openPath == openPath_) {
        upload();
    }
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
        image_.reset();
        ready_ = false;
        return;
    }
    image_ = std::make_unique<GreyImage>(std::move(*image));
    upload();
    ready_ = true;
}

void BlendMapTexture::upload() {
    // v^(1/gamma) through a table of every 16-bit value.
    std::vector<std::uint16_t> table(65536);
    for (std::size_t v = 0; v < table.size(); ++v) {
        const double shaped = std::pow(static_cast<double>(v) / 65535.0, 1.0 / gamma_);
        table[v] = static_cast<std::uint16_t>(std::lround(shaped * 65535.0));
    }
    shaped_.resize(image_->values.size());
    for (std::size_t i = 0; i < shaped_.size(); ++i) {
        shaped_[i] = table[image_->values[i]];
    }
    if (texture_ == 0) {
        glGenTextures(1, &texture_);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R16, image_->width, image_->height, 0, GL_RED,
                 GL_UNSIGNED_SHORT, shaped_.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    uploadedGamma_ = gamma_;
}

} // namespace prismeta
