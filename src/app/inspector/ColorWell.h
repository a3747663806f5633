#pragma once

#include <QColor>
#include <QToolButton>

namespace prismeta {

// A button that shows a colour swatch (alpha over a checkerboard); pressing
// it is the owner's cue to open the colour dialog.
//
// Interface thread only; owned by its parent widget.
class ColorWell : public QToolButton {
    Q_OBJECT

public:
    explicit ColorWell(QWidget* parent = nullptr);

    const QColor& color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

} // namespace prismeta
