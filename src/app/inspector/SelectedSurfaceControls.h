#pragma once

#include "core/EditRanges.h"
#include "core/Surface.h"
#include "core/Uuid.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace prismeta {

class ColorWell;
class ContinuousSlider;
class ElidedLabel;
class InspectorDialogs;
class LiveStatusWatch;
class MasksSection;
class ModelChanges;
class ProjectModel;
class SegmentedControl;
class ShaderInputsSection;
class Stepper;
enum class MediaFileType;
enum class MaskShape;

// The controls of the selected surface: name, media kind and its detail
// (colour, file), opacity and edge feather, the warp mesh, the corner
// fields, "Reset Corners" and the masks; or, with nothing selected, the empty
// state.
//
// Every control writes its own field through the model's selected-surface
// binding, at each change, without an undo snapshot; only "Reset Corners"
// (inside the model's operation) and the masks' list operations take one. The model reaches the
// controls quietly (signals blocked) and only where a value changed; a field the user is typing in
// keeps its text until it commits, and a slider held by the user is not moved under the pointer.
// Corner fields commit on Return or when they lose focus, and store exactly what was typed.
//
// Interface thread only. Borrows the model and the dialogs, which must
// outlive it; the inspector calls refresh() on every model change.
class SelectedSurfaceControls : public QWidget {
    Q_OBJECT

public:
    static constexpr std::int64_t meshCountMinimum = 1;
    static constexpr std::int64_t meshCountMaximum = 6;
    static constexpr std::int64_t newMeshCount = 3;
    static constexpr double featherMaximum = prismeta::featherMaximum;

    SelectedSurfaceControls(ProjectModel& model, InspectorDialogs& dialogs,
                            QWidget* parent = nullptr);

    void refresh(const ModelChanges& changes);
    // Where the live row's indicator reads its source's status.
    void setLiveStatusWatch(const LiveStatusWatch* watch);

    // The two states; exactly one is shown.
    QWidget* emptyState() const { return emptyState_; }
    QWidget* controls() const { return controls_; }

    QLineEdit* nameField() const { return name_; }
    SegmentedControl* mediaKindPicker() const { return kind_; }
    ColorWell* colorWell() const { return colorWell_; }
    QWidget* colorRow() const { return colorRow_; }
    QLabel* testPatternNote() const { return testPatternNote_; }
    QWidget* imageRow() const { return imageRow_; }
    QWidget* videoRow() const { return videoRow_; }
    QPushButton* chooseImageButton() const { return chooseImage_; }
    QPushButton* chooseVideoButton() const { return chooseVideo_; }
    QWidget* shaderRow() const { return shaderRow_; }
    QPushButton* chooseShaderButton() const { return chooseShader_; }
    ShaderInputsSection* shaderInputs() const { return shaderInputs_; }
    // A live surface's row: "Live Source…", the source (secrets hidden), the
    // options it is opened with, and how it is doing (waiting, lost, or
    // connected with its rate).
    QWidget* liveRow() const { return liveRow_; }
    QPushButton* chooseLiveSourceButton() const { return chooseLive_; }
    ElidedLabel* liveSourceLabel() const { return liveSource_; }
    QLabel* liveOptionsLabel() const { return liveOptions_; }
    QLabel* liveStatusLabel() const { return liveStatus_; }
    // The chosen file's name, under the file rows (the same text in both).
    ElidedLabel* imageFileLabel() const { return imageFile_; }
    ElidedLabel* videoFileLabel() const { return videoFile_; }
    QLabel* opacityCaption() const { return opacityCaption_; }
    ContinuousSlider* opacitySlider() const { return opacity_; }
    QLabel* featherCaption() const { return featherCaption_; }
    ContinuousSlider* featherSlider() const { return feather_; }
    QCheckBox* meshCheckBox() const { return meshOn_; }
    QCheckBox* playOnceCheckBox() const { return playOnce_; }
    QWidget* meshDetail() const { return meshDetail_; }
    QLabel* columnsCaption() const { return columnsCaption_; }
    Stepper* columnsStepper() const { return columns_; }
    QLabel* rowsCaption() const { return rowsCaption_; }
    Stepper* rowsStepper() const { return rows_; }
    QPushButton* resetMeshButton() const { return resetMesh_; }
    // How the mesh runs between its points: smooth (ticked) or cells.
    QCheckBox* smoothMeshCheckBox() const { return smoothMesh_; }
    QWidget* cornerFields() const { return cornerFields_; }
    // Corner i (0 TL, 1 TR, 2 BR, 3 BL), x or y.
    QLineEdit* cornerField(int corner, bool y) const;
    QPushButton* resetCornersButton() const { return resetCorners_; }
    // "Mask Shape": a menu of Triangle, Circle, Hexagon and Polygon. The
    // shape, a mask filling the whole picture (Polygon: the picture's own four
    // corners, to reshape point by point), replaces the surface's normal masks
    // in one undo step; inverted masks stay. It becomes the edited mask.
    QToolButton* maskShapeButton() const { return maskShape_; }
    // Adding, duplicating, deleting and moving a mask take an undo step.
    MasksSection* masksSection() const { return masks_; }

private:
    QWidget* buildControls();
    QWidget* buildEmptyState();
    QWidget* buildMediaDetail();
    QWidget* buildMeshControls();
    QWidget* buildCornerFields();

    // Reads the selected surface, lets `change` edit it, writes it back.
    // Nothing when no surface is selected.
    void edit(const std::function<void(Surface&)>& change);
    void chooseColor();
    // Another media kind, without the file of the one before; a kind that
    // shows a file opens its chooser.
    void switchKind(MediaKind kind);
    void chooseFile(MediaFileType type);
    void chooseLiveSource();
    void showLiveStatus();
    void setMeshOn(bool on);
    // New counts where given, the mesh's own otherwise.
    void rebuildMesh(std::optional<std::int64_t> cols, std::optional<std::int64_t> rows);
    void commitCorner(int corner, bool y);
    void applyMaskShape(MaskShape shape);

    void showSurface(const Surface& surface, bool otherSurface);

    ProjectModel& model_;
    InspectorDialogs& dialogs_;
    std::optional<Surface> shown_; // what the controls show now

    QWidget* emptyState_ = nullptr;
    QWidget* controls_ = nullptr;
    QLineEdit* name_ = nullptr;
    SegmentedControl* kind_ = nullptr;
    QWidget* colorRow_ = nullptr;
    ColorWell* colorWell_ = nullptr;
    QLabel* testPatternNote_ = nullptr;
    QWidget* imageRow_ = nullptr;
    QWidget* videoRow_ = nullptr;
    QPushButton* chooseImage_ = nullptr;
    QPushButton* chooseVideo_ = nullptr;
    ElidedLabel* imageFile_ = nullptr;
    ElidedLabel* videoFile_ = nullptr;
    QWidget* shaderRow_ = nullptr;
    QPushButton* chooseShader_ = nullptr;
    ElidedLabel* shaderFile_ = nullptr;
    ShaderInputsSection* shaderInputs_ = nullptr;
    QWidget* liveRow_ = nullptr;
    QPushButton* chooseLive_ = nullptr;
    ElidedLabel* liveSource_ = nullptr;
    QLabel* liveOptions_ = nullptr;
    QLabel* liveStatus_ = nullptr;
    const LiveStatusWatch* liveWatch_ = nullptr;
    QLabel* opacityCaption_ = nullptr;
    ContinuousSlider* opacity_ = nullptr;
    QLabel* featherCaption_ = nullptr;
    ContinuousSlider* feather_ = nullptr;
    QCheckBox* meshOn_ = nullptr;
    QCheckBox* playOnce_ = nullptr; // in the video row
    QWidget* meshDetail_ = nullptr;
    QLabel* columnsCaption_ = nullptr;
    Stepper* columns_ = nullptr;
    QLabel* rowsCaption_ = nullptr;
    Stepper* rows_ = nullptr;
    QPushButton* resetMesh_ = nullptr;
    QCheckBox* smoothMesh_ = nullptr;
    QWidget* cornerFields_ = nullptr;
    std::array<QWidget*, 4> cornerRows_{};
    std::array<std::array<QLineEdit*, 2>, 4> corners_{};
    QPushButton* resetCorners_ = nullptr;
    QToolButton* maskShape_ = nullptr;
    MasksSection* masks_ = nullptr;
};

} // namespace prismeta
