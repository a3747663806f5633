#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace prismeta {

class ContinuousSlider;
class InspectorDialogs;
class ModelChanges;
class ProjectModel;

// The top of the inspector: the "Reference" header with the "Snap" switch
// (the same flag as Toggle Snap to Grid), the button that chooses or changes
// the editor's reference image, "Clear", and the image's opacity slider
// while an image is set. Writes go straight to the model and take no undo
// snapshot.
//
// Interface thread only. Borrows the model and the dialogs, which must
// outlive it; the inspector calls refresh() on every model change.
class ReferenceSection : public QWidget {
    Q_OBJECT

public:
    ReferenceSection(ProjectModel& model, InspectorDialogs& dialogs, QWidget* parent = nullptr);

    void refresh(const ModelChanges& changes);

    QCheckBox* snapSwitch() const { return snap_; }
    QPushButton* chooseButton() const { return choose_; }
    QPushButton* clearButton() const { return clear_; }
    ContinuousSlider* opacitySlider() const { return opacity_; }
    QWidget* opacityRow() const { return opacityRow_; }

private:
    void chooseImage();

    ProjectModel& model_;
    InspectorDialogs& dialogs_;
    QCheckBox* snap_;
    QPushButton* choose_;
    QPushButton* clear_;
    QWidget* opacityRow_;
    ContinuousSlider* opacity_;
};

} // namespace prismeta
