#pragma once

#include "geometry/AspectFit.h"

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace prismeta {

// A solid background with one child widget placed on the aspect-fit
// rectangle of a content size (the whole canvas in the editor, an output's
// crop in an output window): the child fills the view along one axis and is
// centred, leaving equal bars on the other. An empty fit (a size not greater
// than 0) hides the child, leaving only the background.
//
// Interface thread only. Owns the child it is given.
class LetterboxView : public QWidget {
    Q_OBJECT

public:
    explicit LetterboxView(const QColor& background, QWidget* parent = nullptr);

    // Takes ownership of content (which may be null: the view is then only
    // its background).
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

    void setContentSize(double width, double height);
    // Whether the child fills the whole view whatever the content's aspect
    // (a warped output, whose picture goes onto the projector's whole raster).
    void setFillsView(bool fills);

    // The fit in this widget's coordinates, in points (device-independent).
    ViewRect fit() const;
    // Where the child is placed: the fit with its edges rounded to points.
    QRect contentRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeContent();

    QColor background_;
    QPointer<QWidget> content_;
    double contentWidth_ = 0.0;
    double contentHeight_ = 0.0;
    bool fillsView_ = false;
};

} // namespace prismeta
