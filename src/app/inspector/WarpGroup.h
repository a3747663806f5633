#pragma once

#include "core/OutputConfig.h"
#include "core/Uuid.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace prismeta {

class ElidedLabel;
class InspectorDialogs;
class ModelAdapter;
class ProjectModel;
class WarpPreview;

// The "Warp" group of an output card: Edit Warp (the output's window shows
// the warp's handles on the projector; the window opens through
// openWindow), Grid (the alignment grid there), a preview of the output's
// picture through its warp on the raster (WarpPreview), Reset Warp, Add Mesh
// (columns x rows laid over the current shape, smooth), Remove Mesh, Smooth
// (the mesh's interpolation: smooth or cells), and the blend map (a
// still's file, chosen through the inspector's dialogs, or none). Reset, the
// mesh buttons, Smooth and the blend map are undo steps of the output
// (ProjectModel::setOutputWarp, setOutputBlendMap); the two switches are
// views, not in the file.
//
// Interface thread only. Borrows the model and dialogs (which may be null:
// the blend map cannot be chosen then), which must outlive it.
class WarpGroup : public QWidget {
    Q_OBJECT

public:
    WarpGroup(ProjectModel& model, InspectorDialogs* dialogs, const OutputConfig& output,
              QWidget* parent = nullptr);

    void showOutput(const OutputConfig& output, bool editing, bool grid);

    QCheckBox* editBox() const { return edit_; }
    QCheckBox* gridBox() const { return grid_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* addMeshButton() const { return addMesh_; }
    QPushButton* removeMeshButton() const { return removeMesh_; }
    QCheckBox* smoothBox() const { return smooth_; }
    QSpinBox* columnsBox() const { return columns_; }
    QSpinBox* rowsBox() const { return rows_; }
    QPushButton* blendMapButton() const { return chooseMap_; }
    QToolButton* clearBlendMapButton() const { return clearMap_; }
    ElidedLabel* blendMapLabel() const { return mapName_; }
    WarpPreview* preview() const { return preview_; }
    // The canvas the preview draws the output's picture from.
    void setModelAdapter(ModelAdapter* adapter);

signals:
    // Edit Warp was switched on: the output's window should be open.
    void windowWanted(const prismeta::Uuid& outputID);

private:
    const OutputConfig* currentOutput() const;

    ProjectModel& model_;
    InspectorDialogs* dialogs_;
    Uuid id_;
    QCheckBox* edit_;
    QCheckBox* grid_;
    WarpPreview* preview_;
    QPushButton* reset_;
    QPushButton* addMesh_;
    QPushButton* removeMesh_;
    QCheckBox* smooth_;
    QSpinBox* columns_;
    QSpinBox* rows_;
    ElidedLabel* mapName_;
    QPushButton* chooseMap_;
    QToolButton* clearMap_;
};

// The output's picture as its projector shows it: the raster (the output's
// display size, or an output window's default size before it has one) as a
// frame the width of the card, the output's picture drawn through its warp
// inside it (an output without a warp letterboxed, as its window shows it),
// and the warped picture's outline and mesh lines over it, reaching outside
// the frame where corners lie beyond the raster. The picture is a live
// rendering of the output once setModelAdapter gives the canvas (black
// where the platform has no GL widgets); the outline is drawn either way.
class WarpPreview : public QWidget {
    Q_OBJECT

public:
    explicit WarpPreview(QWidget* parent = nullptr);
    // Where the picture comes from; null (the default): outlines only.
    void setModelAdapter(ModelAdapter* adapter);
    // The output, the warp it is drawn through (its own, or its unwarped
    // placement) and its raster's size.
    void showOutput(const OutputConfig& output, const OutputWarp& drawn, int rasterWidth,
                    int rasterHeight);
    const OutputWarp& warp() const { return warp_; }
    // The picture's widget (null without an adapter), and the raster's
    // rectangle in this widget.
    QWidget* picture() const { return picture_; }
    QRect rasterRect() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placePicture();

    OutputConfig output_;
    OutputWarp warp_;
    double aspect_ = 16.0 / 9.0;
    ModelAdapter* adapter_ = nullptr;
    QWidget* picture_ = nullptr;
    QWidget* outline_ = nullptr;
};

} // namespace prismeta
