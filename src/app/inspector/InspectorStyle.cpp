#include "app/inspector/InspectorStyle.h"

#include <QFrame>
#include <QLabel>

namespace prismeta {

namespace {

QColor blend(const QColor& text, const QColor& background, double textShare) {
    return QColor::fromRgbF(
        static_cast<float>(text.redF() * textShare + background.redF() * (1.0 - textShare)),
        static_cast<float>(text.greenF() * textShare + background.greenF() * (1.0 - textShare)),
        static_cast<float>(text.blueF() * textShare + background.blueF() * (1.0 - textShare)));
}

} // namespace

void applyTextStyle(QWidget* widget, TextStyle style, Tone tone) {
    QFont font = widget->font();
    const double size = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    switch (style) {
    case TextStyle::body:
        break;
    case TextStyle::headline:
        font.setBold(true);
        break;
    case TextStyle::subheadline:
        font.setPointSizeF(size * 0.92);
        break;
    case TextStyle::caption:
        font.setPointSizeF(size * 0.85);
        break;
    case TextStyle::smallCaption:
        font.setPointSizeF(size * 0.78);
        break;
    }
    widget->setFont(font);

    if (tone != Tone::primary) {
        QPalette palette = widget->palette();
        const double share = tone == Tone::secondary ? 0.62 : 0.42;
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::WindowText,
                             blend(palette.color(group, QPalette::WindowText),
                                   palette.color(group, QPalette::Window), share));
        }
        widget->setPalette(palette);
    }
}

QLabel* makeLabel(const QString& text, TextStyle style, Tone tone, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    applyTextStyle(label, style, tone);
    return label;
}

QFrame* makeDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(1);
    return line;
}

} // namespace prismeta
