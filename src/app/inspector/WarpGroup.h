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
class ProjectModel;
class WarpPreview;

// The "Warp" group of an output card: Edit Warp (the output's window shows
// the warp's handles on the projector; the window opens through
// openWindow), Grid (the alignment grid there), a small preview of the
// raster with the warped picture's outline, Reset Warp, Add Mesh (columns x
// rows laid over the current shape, smooth), Remove Mesh, Smooth (the
// mesh's interpolation: smooth or cells), and the blend map (a
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

// The raster as a small frame (the output's display aspect, 16:9 by
// default) with the warped picture's outline and mesh lines inside it.
class WarpPreview : public QWidget {
    Q_OBJECT

public:
    explicit WarpPreview(QWidget* parent = nullptr);
    void showWarp(const std::optional<OutputWarp>& warp, double aspect);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<OutputWarp> warp_;
    double aspect_ = 16.0 / 9.0;
};

} // namespace prismeta
