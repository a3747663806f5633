#include "app/calibration/CameraPictureView.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cstring>

namespace prismeta {

namespace {

constexpr double handleRadius = 7.0;

const QColor footprintColours[] = {QColor(0, 190, 255), QColor(255, 170, 0), QColor(120, 230, 90),
                                   QColor(240, 90, 200)};

} // namespace

QImage toQImage(const calibration::GreyImage& picture) {
    if (picture.empty()) {
        return {};
    }
    QImage image(picture.width, picture.height, QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(image.scanLine(y),
                    picture.pixels.data() + static_cast<std::size_t>(y) * picture.width,
                    static_cast<std::size_t>(picture.width));
    }
    return image;
}

CameraPictureView::CameraPictureView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(tr("Camera picture"));
    setMouseTracking(false);
}

void CameraPictureView::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void CameraPictureView::setPlaceholder(const QString& text) {
    placeholder_ = text;
    update();
}

void CameraPictureView::setCorners(const std::optional<std::array<QPointF, 4>>& corners) {
    corners_ = corners;
    grabbed_.reset();
    update();
}

void CameraPictureView::setCornersMovable(bool movable) {
    cornersMovable_ = movable;
    grabbed_.reset();
    setCursor(movable ? Qt::CrossCursor : Qt::ArrowCursor);
    update();
}

void CameraPictureView::setFootprints(std::vector<Footprint> footprints) {
    footprints_ = std::move(footprints);
    update();
}

QRectF CameraPictureView::pictureRect() const {
    if (picture_.isNull()) {
        return {};
    }
    const QSizeF size = QSizeF(picture_.size()).scaled(QSizeF(this->size()), Qt::KeepAspectRatio);
    return {(width() - size.width()) / 2.0, (height() - size.height()) / 2.0, size.width(),
            size.height()};
}

QPointF CameraPictureView::toView(QPointF camera) const {
    const QRectF area = pictureRect();
    if (area.isEmpty()) {
        return {};
    }
    return {area.x() + camera.x() * area.width() / picture_.width(),
            area.y() + camera.y() * area.height() / picture_.height()};
}

QPointF CameraPictureView::toCamera(QPointF view) const {
    const QRectF area = pictureRect();
    if (area.isEmpty()) {
        return {};
    }
    return {(view.x() - area.x()) * picture_.width() / area.width(),
            (view.y() - area.y()) * picture_.height() / area.height()};
}

void CameraPictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    const QRectF area = pictureRect();
    if (area.isEmpty()) {
        painter.setPen(QColor(170, 170, 170)); // on the dark ground, whatever the theme
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                         placeholder_);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area, picture_);
    painter.setRenderHint(QPainter::Antialiasing);

    for (std::size_t k = 0; k < footprints_.size(); ++k) {
        const Footprint& footprint = footprints_[k];
        const QColor colour = footprint.failed ? QColor(240, 60, 60)
                                               : footprintColours[k % std::size(footprintColours)];
        QPolygonF outline;
        QPointF centre;
        for (const QPointF& p : footprint.outline) {
            outline << toView(p);
            centre += toView(p);
        }
        if (!outline.isEmpty()) {
            centre /= outline.size();
            QColor fill = colour;
            fill.setAlpha(40);
            painter.setPen(QPen(colour, 2.0));
            painter.setBrush(fill);
            painter.drawPolygon(outline);
        } else {
            centre = area.topLeft() + QPointF(12, 20 + 18.0 * k);
        }
        // The line about it on a dark box, legible over any picture.
        const QFontMetrics metrics(font());
        const QStringList lines = footprint.label.split(QLatin1Char('\n'));
        int textWidth = 0;
        for (const QString& line : lines) {
            textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
        }
        const QSizeF box(textWidth + 12.0, metrics.height() * lines.size() + 6.0);
        QRectF labelRect(centre - QPointF(box.width() / 2, box.height() / 2), box);
        labelRect.moveLeft(std::clamp(labelRect.left(), 0.0, std::max(0.0, width() - box.width())));
        labelRect.moveTop(std::clamp(labelRect.top(), 0.0, std::max(0.0, height() - box.height())));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 190));
        painter.drawRoundedRect(labelRect, 4, 4);
        painter.setPen(colour.lighter(130));
        painter.drawText(labelRect, Qt::AlignCenter, footprint.label);
    }

    if (corners_) {
        QPolygonF quad;
        for (const QPointF& c : *corners_) {
            quad << toView(c);
        }
        // Dark under light: legible over the picture and the footprints.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 0, 0, 200), 3.5));
        painter.drawPolygon(quad);
        painter.setPen(QPen(QColor(255, 255, 255, 235), 1.5, Qt::DashLine));
        painter.drawPolygon(quad);
        const char* const names[] = {"TL", "TR", "BR", "BL"};
        for (int k = 0; k < 4; ++k) {
            const QPointF p = quad[k];
            painter.setPen(QPen(Qt::black, 1.0));
            painter.setBrush(grabbed_ == k ? QColor(255, 220, 0) : QColor(255, 255, 255));
            if (cornersMovable_) {
                painter.drawEllipse(p, handleRadius, handleRadius);
            } else {
                painter.drawEllipse(p, 3.0, 3.0);
            }
            const QPointF outward = p - quad.boundingRect().center();
            const double length = std::hypot(outward.x(), outward.y());
            const QPointF at =
                length > 0 ? p + outward * ((handleRadius + 10.0) / length) : p + QPointF(10, 10);
            // White outlined in black: legible over a white picture and a dark one.
            const QString name = QLatin1String(names[k]);
            const QFontMetricsF metrics(font());
            QPainterPath text;
            text.addText(at + QPointF(-metrics.horizontalAdvance(name) / 2,
                                      (metrics.ascent() - metrics.descent()) / 2),
                         font(), name);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(Qt::black, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(text);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawPath(text);
        }
    }
}

void CameraPictureView::mousePressEvent(QMouseEvent* event) {
    if (!cornersMovable_ || !corners_ || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    double nearest = handleRadius * 2.0;
    grabbed_.reset();
    for (int k = 0; k < 4; ++k) {
        const QPointF d = toView((*corners_)[static_cast<std::size_t>(k)]) - event->position();
        const double distance = std::hypot(d.x(), d.y());
        if (distance <= nearest) {
            nearest = distance;
            grabbed_ = k;
        }
    }
    moved_ = false;
    update();
}

void CameraPictureView::mouseMoveEvent(QMouseEvent* event) {
    if (!grabbed_ || !corners_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    QPointF p = toCamera(event->position());
    p.setX(std::clamp(p.x(), 0.0, static_cast<double>(picture_.width())));
    p.setY(std::clamp(p.y(), 0.0, static_cast<double>(picture_.height())));
    (*corners_)[static_cast<std::size_t>(*grabbed_)] = p;
    moved_ = true;
    update();
}

void CameraPictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (!grabbed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    grabbed_.reset();
    update();
    if (moved_) {
        moved_ = false;
        emit cornersEdited();
    }
}

} // namespace prismeta
