#pragma once

#include "geometry/AspectFit.h"

#include <QImage>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

namespace prismeta {

class ImageLoad;

// The editor's reference picture: the file at the model's reference path,
// decoded by the media layer's still loader (the formats image surfaces
// take) off the interface thread, once per path change, and kept. While a
// decode runs it is polled without blocking on a short timer; `changed`
// fires when the picture appears or goes. A path that does not decode shows
// nothing.
//
// fitted() gives the picture scaled to fill a fit rectangle, centred and
// cropped to it, ready to draw at the fit's top-left; the scaled copy is kept
// until the fit, the screen's pixel ratio or the picture changes, so a
// repaint costs one blit.
//
// Interface thread only; owned by the editor view.
class ReferenceImage : public QObject {
    Q_OBJECT

public:
    // Larger pictures are scaled down while decoding: the reference is a
    // guide to trace over, and this bounds the work of fitting it on the
    // interface thread.
    static constexpr int maxDimension = 4096;

    explicit ReferenceImage(QObject* parent = nullptr);
    ~ReferenceImage() override;

    // Starts decoding when the path differs from the last one given.
    void setPath(const std::optional<std::string>& path);

    bool loading() const { return load_ != nullptr; }
    // The decoded picture, premultiplied; null when there is none.
    const QImage& image() const { return image_; }

    // The picture filling `fit` (in points) at `devicePixelRatio`, cropped to
    // it; null without a picture or with an empty fit.
    const QImage& fitted(const ViewRect& fit, double devicePixelRatio);

    // Checks on the running decode now (also done on the poll timer).
    void poll();

signals:
    void changed();

private:
    void setImage(QImage image);

    std::optional<std::string> path_;
    std::unique_ptr<ImageLoad> load_;
    QImage image_;
    QTimer pollTimer_;

    QImage fitted_;
    ViewRect fittedFor_;
    double fittedRatio_ = 0.0;
};

} // namespace prismeta
