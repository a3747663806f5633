#pragma once

#include "app/show/WarpEditing.h"
#include "core/Uuid.h"

#include <QWidget>

#include <optional>

namespace prismeta {

class ModelAdapter;
class ModelChanges;

// Drawn over an output window's picture, on the projector, where the
// operator looks at the wall: while the output's warp is edited
// (ProjectModel::warpEditing), a thin outline of the raster, the warped
// picture's outline (its mesh lines too) and its handles; while the grid is
// asked for (warpGrid), a line every 1/16 of the crop through the warp, laid
// on the canvas from its origin so that two projectors with crops of one size
// show lines at the same places of the canvas where they overlap.
//
// Editing: drag a handle with the mouse; the arrow keys move the selected
// handle by one raster pixel (Shift: ten); Tab selects the next handle,
// Shift+Tab the one before (WarpEditing holds the rules and the undo steps).
// While editing it shows the pointer and takes the keyboard focus; a click or
// the focus going elsewhere ends a run of nudges. It lets every event through
// to the window while nothing is edited.
//
// Interface thread only. Borrows the adapter, which must outlive it.
class WarpOverlay : public QWidget {
    Q_OBJECT

public:
    WarpOverlay(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent);

    bool editing() const;
    bool showsGrid() const;
    // The editing rules (null for a window without an output of its own).
    WarpEditing* editingRules() { return editing_ ? &*editing_ : nullptr; }

    // Where a raster point (0..1) lies in this widget, and back: the whole
    // widget is the raster (rasterRect), as the whole window is.
    QPointF toView(Pt raster) const;
    Pt toRaster(QPointF view) const;
    QRectF rasterRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    void refresh(const ModelChanges& changes);
    // Where handle h's disc is drawn, in this widget.
    std::optional<QPointF> discCentre(std::size_t h) const;

    ModelAdapter& adapter_;
    std::optional<Uuid> outputID_;
    std::optional<WarpEditing> editing_;
    bool editingShown_ = false;
};

} // namespace prismeta
