#pragma once

#include "calibration/CalibrationTypes.h"

#include <QImage>
#include <QPolygonF>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

namespace prismeta {

// The camera's picture, fitted into the view with its aspect kept, and over
// it what the calibration knows: the canvas's four corners (top-left,
// top-right, bottom-right, bottom-left), which the operator can drag, and
// each projector's footprint with a line about it. Everything is given and
// reported in camera pixels.
//
// Interface thread only.
class CameraPictureView : public QWidget {
    Q_OBJECT

public:
    explicit CameraPictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    // What the view says where there is no picture.
    void setPlaceholder(const QString& text);

    // The canvas's corners; none: none shown.
    void setCorners(const std::optional<std::array<QPointF, 4>>& corners);
    const std::optional<std::array<QPointF, 4>>& corners() const { return corners_; }
    void setCornersMovable(bool movable);

    struct Footprint {
        QPolygonF outline;
        QString label;
        bool failed = false;
    };
    void setFootprints(std::vector<Footprint> footprints);
    const std::vector<Footprint>& footprints() const { return footprints_; }

    // Where a camera pixel position lies in the view, and back.
    QPointF toView(QPointF camera) const;
    QPointF toCamera(QPointF view) const;

    QSize sizeHint() const override { return {640, 400}; }

signals:
    // A corner was dropped somewhere else.
    void cornersEdited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRectF pictureRect() const;

    QImage picture_;
    QString placeholder_;
    std::optional<std::array<QPointF, 4>> corners_;
    bool cornersMovable_ = false;
    std::optional<int> grabbed_;
    bool moved_ = false;
    std::vector<Footprint> footprints_;
};

// A camera picture as an 8-bit grey image (a copy).
QImage toQImage(const calibration::GreyImage& picture);

} // namespace prismeta
