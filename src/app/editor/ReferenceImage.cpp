#include "app/editor/ReferenceImage.h"

#include "media/ImageLoad.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace prismeta {

namespace {

constexpr int pollIntervalMs = 15;

QImage toQImage(PixelImage&& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0) {
        return {};
    }
    // Both orders are straight alpha. On a little-endian machine BGRA bytes
    // are Qt's ARGB32 words; elsewhere they are RGBA with red and blue swapped.
    const bool bgra = pixels.order == ChannelOrder::bgra;
    const bool wordOrder = bgra && QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    const QImage view(pixels.pixels.data(), pixels.width, pixels.height, pixels.width * 4,
                      wordOrder ? QImage::Format_ARGB32 : QImage::Format_RGBA8888);
    // Converting copies out of the decoder's buffer, into the format QPainter
    // draws fastest.
    QImage image = view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return bgra && !wordOrder ? image.rgbSwapped() : image;
}

} // namespace

ReferenceImage::ReferenceImage(QObject* parent) : QObject(parent) {
    pollTimer_.setSingleShot(true);
    pollTimer_.setInterval(pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &ReferenceImage::poll);
}

ReferenceImage::~ReferenceImage() = default;

void ReferenceImage::setPath(const std::optional<std::string>& path) {
    if (path == path_) {
        return;
    }
    path_ = path;
    // Destroying a load cancels it without waiting.
    load_.reset();
    pollTimer_.stop();
    setImage(QImage());
    if (path_ && !path_->empty()) {
        ImageLimits limits;
        limits.maxDimension = maxDimension;
        load_ = std::make_unique<ImageLoad>(*path_, limits);
        poll();
    }
}

void ReferenceImage::poll() {
    if (!load_) {
        return;
    }
    switch (load_->state()) {
    case ImageLoad::State::loading:
        pollTimer_.start();
        return;
    case ImageLoad::State::ready: {
        std::optional<PixelImage> pixels = load_->takeImage();
        load_.reset();
        setImage(pixels ? toQImage(std::move(*pixels)) : QImage());
        return;
    }
    case ImageLoad::State::failed:
        load_.reset();
        setImage(QImage());
        return;
    }
}

void ReferenceImage::setImage(QImage image) {
    const bool had = !image_.isNull();
    image_ = std::move(image);
    fitted_ = QImage();
    fittedRatio_ = 0.0;
    if (had || !image_.isNull()) {
        emit changed();
    }
}

const QImage& ReferenceImage::fitted(const ViewRect& fit, double devicePixelRatio) {
    if (image_.isNull() || fit.isEmpty() || !(devicePixelRatio > 0.0)) {
        static const QImage none;
        return none;
    }
    if (!fitted_.isNull() && fit == fittedFor_ && devicePixelRatio == fittedRatio_) {
        return fitted_;
    }
    // The target in device pixels, and the picture scaled by the larger of
    // the two ratios so that it covers the target on both axes.
    const int targetWidth =
        std::max(1, static_cast<int>(std::lround(fit.width * devicePixelRatio)));
    const int targetHeight =
        std::max(1, static_cast<int>(std::lround(fit.height * devicePixelRatio)));
    const double scale = std::max(static_cast<double>(targetWidth) / image_.width(),
                                  static_cast<double>(targetHeight) / image_.height());
    const int scaledWidth =
        std::max(targetWidth, static_cast<int>(std::lround(image_.width() * scale)));
    const int scaledHeight =
        std::max(targetHeight, static_cast<int>(std::lround(image_.height() * scale)));
    const QImage scaled =
        image_.scaled(scaledWidth, scaledHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Centred: equal amounts cropped from both ends of the longer axis.
    fitted_ = scaled.copy((scaledWidth - targetWidth) / 2, (scaledHeight - targetHeight) / 2,
                          targetWidth, targetHeight);
    fitted_.setDevicePixelRatio(devicePixelRatio);
    fittedFor_ = fit;
    fittedRatio_ = devicePixelRatio;
    return fitted_;
}

} // namespace prismeta
