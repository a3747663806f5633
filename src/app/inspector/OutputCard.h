#pragma once

#include "core/OutputConfig.h"

#include <QFrame>

#include <array>
#include <cstddef>

class QLineEdit;
class QToolButton;

namespace prismeta {

class BlendCurveGroup;
class DisplayPicker;
class ElidedLabel;
class InspectorDialogs;
class MasksSection;
class ProjectModel;
class WarpGroup;

// One output of the outputs section: its name (a double click asks to rename
// it; while renaming, a field writes each keystroke until Return), the
// buttons that open its window and delete it, the "Blend" row with the
// left, right, top and bottom ramp widths as whole percentages, then the
// ramps' curve, gamma, black level and blend test (BlendCurveGroup), and the
// "Display" row with the screen its window goes to, the "Warp" group (its
// warp on the projector and its blend map, WarpGroup.h), and the output's
// masks (made in the canvas, within the output's crop). Its fields write into
// its element of the model's outputs (found by id) and take no undo
// snapshot; the warp's buttons, the blend map and the mask list are undo
// steps of the output.
//
// The section calls showOutput() with the model's values; a field the user is
// typing in keeps its text. A blend field stores on Return or when it loses
// focus, and only if it was typed in.
//
// Interface thread only. Borrows the model, which must outlive it; owned by
// the outputs section.
class OutputCard : public QFrame {
    Q_OBJECT

public:
    enum class Edge { left = 0, right = 1, top = 2, bottom = 3 };

    OutputCard(ProjectModel& model, const OutputConfig& output, QWidget* parent = nullptr,
               InspectorDialogs* dialogs = nullptr);

    const Uuid& outputID() const { return id_; }
    // The model's values for this card, found at `index` of the outputs.
    void showOutput(const OutputConfig& output, std::size_t index, bool renaming);

    bool isRenaming() const { return renaming_; }
    ElidedLabel* nameLabel() const { return nameLabel_; }
    QLineEdit* nameField() const { return nameField_; }
    QToolButton* openButton() const { return open_; }
    QToolButton* deleteButton() const { return delete_; }
    QLineEdit* blendField(Edge edge) const { return blend_[static_cast<std::size_t>(edge)]; }
    BlendCurveGroup* blendCurveGroup() const { return blendCurve_; }
    DisplayPicker* displayPicker() const { return display_; }
    MasksSection* masksSection() const { return masks_; }
    WarpGroup* warpGroup() const { return warp_; }

signals:
    void renameRequested(const prismeta::Uuid& outputID);
    void renameFinished();
    void openRequested(const prismeta::Uuid& outputID);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Lets `change` edit this card's output in the model; nothing once gone.
    template <typename Change> void edit(Change&& change);
    void commitBlend(Edge edge);
    void removeOutput();

    ProjectModel& model_;
    Uuid id_;
    std::size_t index_ = 0;
    bool renaming_ = false;
    OutputConfig shown_;
    ElidedLabel* nameLabel_;
    QLineEdit* nameField_;
    QToolButton* open_;
    QToolButton* delete_;
    std::array<QLineEdit*, 4> blend_{};
    BlendCurveGroup* blendCurve_ = nullptr;
    DisplayPicker* display_;
    MasksSection* masks_ = nullptr;
    WarpGroup* warp_ = nullptr;
};

// The field of an output that a blend field shows and edits.
float blendWidth(const OutputConfig& output, OutputCard::Edge edge);
float& blendWidth(OutputConfig& output, OutputCard::Edge edge);

} // namespace prismeta
