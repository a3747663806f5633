#include "app/LetterboxView.h"

#include "geometry/UnwarpedPlacement.h"

#include <QPainter>
#include <QResizeEvent>

namespace prismeta {

LetterboxView::LetterboxView(const QColor& background, QWidget* parent)
    : QWidget(parent), background_(background) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LetterboxView::setContent(QWidget* content) {
    if (content_ == content) {
        return;
    }
    delete content_;
    content_ = content;
    if (content_ != nullptr) {
        content_->setParent(this);
        placeContent();
    }
}

void LetterboxView::setContentSize(double width, double height) {
    if (width == contentWidth_ && height == contentHeight_) {
        return;
    }
    contentWidth_ = width;
    contentHeight_ = height;
    placeContent();
}

void LetterboxView::setFillsView(bool fills) {
    if (fills != fillsView_) {
        fillsView_ = fills;
        placeContent();
    }
}

ViewRect LetterboxView::fit() const {
    if (fillsView_) {
        return ViewRect{0.0, 0.0, static_cast<double>(width()), static_cast<double>(height())};
    }
    return aspectFit(contentWidth_, contentHeight_, width(), height());
}

QRect LetterboxView::contentRect() const {
    if (fillsView_) {
        return rect();
    }
    // The same placement as an unwarped output's on its raster, so a warp
    // edit that starts from it moves nothing.
    const RasterRect r = unwarpedRect(contentWidth_, contentHeight_, width(), height());
    return r.empty() ? QRect() : QRect(r.x, r.y, r.width, r.height);
}

void LetterboxView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), background_);
}

void LetterboxView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeContent();
}

void LetterboxView::placeContent() {
    if (content_ == nullptr) {
        return;
    }
    const QRect rect = contentRect();
    if (rect.isEmpty()) {
        content_->hide();
        return;
    }
    content_->setGeometry(rect);
    content_->show();
}

} // namespace prismeta
