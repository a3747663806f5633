#include "app/inspector/ColorWell.h"

#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace prismeta {

ColorWell::ColorWell(QWidget* parent) : QToolButton(parent) {
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void ColorWell::setColor(const QColor& color) {
    if (color == color_) {
        return;
    }
    color_ = color;
    update();
}

QSize ColorWell::sizeHint() const {
    return {44, 24};
}

void ColorWell::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    const QRect swatch = rect().adjusted(5, 5, -5, -5);
    painter.setPen(Qt::NoPen);
    // A checkerboard under the colour shows its transparency.
    const int cell = 4;
    for (int y = swatch.top(); y <= swatch.bottom(); y += cell) {
        for (int x = swatch.left(); x <= swatch.right(); x += cell) {
            const bool dark = (((x - swatch.left()) / cell) + ((y - swatch.top()) / cell)) % 2;
            painter.fillRect(QRect(x, y, cell, cell).intersected(swatch),
                             dark ? QColor(200, 200, 200) : QColor(255, 255, 255));
        }
    }
    painter.fillRect(swatch, color_);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}

} // namespace prismeta
