#include "app/inspector/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

#include <algorithm>

namespace prismeta {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == fullText_) {
        return;
    }
    fullText_ = text;
    setToolTip(text);
    setAccessibleName(text);
    updateGeometry();
    updateShownText();
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("M\u2026M")), lineHeight()};
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(fullText_) + 2, lineHeight()};
}

int ElidedLabel::lineHeight() const {
    // A line's spacing, and never less than the ink of the lowest marks: at
    // small sizes a font's rounded descent can end above its underscore
    // (one font height left "photo_name.jpg" reading "photo name.jpg").
    const QFontMetrics metrics(font());
    const int inkBelow = std::max(metrics.descent(),
                                  metrics.tightBoundingRect(QStringLiteral("_gjpqy")).bottom() + 1);
    const int line = std::max(metrics.lineSpacing(), metrics.ascent() + inkBelow);
    const QMargins margins = contentsMargins();
    // One pixel to spare: the line is centred, and may land half a pixel low.
    return line + 1 + margins.top() + margins.bottom() + 2 * margin();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateShownText();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateShownText();
    }
}

void ElidedLabel::updateShownText() {
    // Newlines would break the one line: shown as spaces.
    QString line = fullText_;
    for (QChar& c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')) {
            c = QLatin1Char(' ');
        }
    }
    const QString shown = QFontMetrics(font()).elidedText(line, mode_, contentsRect().width());
    if (shown != text()) {
        setText(shown);
    }
}

} // namespace prismeta
