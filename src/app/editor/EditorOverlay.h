#pragma once

#include <QWidget>

namespace prismeta {

class EditorView;

// What the editor draws over the rendered canvas, back to front: the
// reference picture (filling the canvas rectangle at the model's reference
// opacity), the canvas border, then for the selected surface only its dashed
// outline, its mesh grid and its handles, and last the edited mask's path,
// points and Bézier handles (a surface's in a light accent colour, an
// output's in its output's colour). Sizes are in points, so they keep
// their size on high-density screens. The accent colour is the palette's
// highlight colour.
//
// Covers the whole editor, above the canvas view, and takes no pointer
// events: the editor under it handles them. Interface thread only; owned by
// (and a child of) the editor view it draws for.
class EditorOverlay : public QWidget {
    Q_OBJECT

public:
    explicit EditorOverlay(EditorView& view);

    // The handle and outline colour.
    QColor accent() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    EditorView& view_;
};

} // namespace prismeta
