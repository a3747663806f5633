#pragma once

#include "core/OutputConfig.h"

#include <QFrame>

#include <array>
#include <cstddef>

class QComboBox;
class QLineEdit;
class QToolButton;

namespace prismeta {

class BlendCurveGroup;
class DisplayPicker;
class ElidedLabel;
class InspectorDialogs;
class ModelAdapter;
class MasksSection;
class ProjectModel;
class ShowNodes;
class WarpGroup;

// One output of the outputs section: its name (a double click asks to rename
// it; while renaming, a field writes each keystroke until Return), the
// buttons that open its window and delete it, the "Crop" row with the part
// of the canvas it shows (x, y, width and height in canvas coordinates), the
// "Blend" row with the left, right, top and bottom ramp widths as whole
// percentages, then the ramps' curve, gamma, black level and blend test
// (BlendCurveGroup), the "Node" row with the machine of the show that shows
// it (empty: the leader; the machines the leader has heard from are listed,
// any other name may be typed), the "Display" row with the screen its window
// goes to (that machine's screens, as it reports them, for an output on
// another machine), the "Warp" group (its warp on the projector and its
// blend map, WarpGroup.h), and the output's masks (made in the canvas,
// within the output's crop). Its fields write into its element of the
// model's outputs (found by id) and take no undo snapshot; the warp's
// buttons, the blend map and the mask list are undo steps of the output.
//
// The section calls showOutput() with the model's values; a field the user is
// typing in keeps its text. A crop, blend or node field stores on Return or
// when it loses focus, and only if it was typed in; text it cannot take (not
// a number, not a node name) gives way to the stored value. A node chosen
// from the list is stored at once.
//
// Interface thread only. Borrows the model, which must outlive it; owned by
// the outputs section.
class OutputCard : public QFrame {
    Q_OBJECT

public:
    enum class Edge { left = 0, right = 1, top = 2, bottom = 3 };
    enum class Crop { x = 0, y = 1, width = 2, height = 3 };

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
    QLineEdit* cropField(Crop part) const { return crop_[static_cast<std::size_t>(part)]; }
    QLineEdit* blendField(Edge edge) const { return blend_[static_cast<std::size_t>(edge)]; }
    QComboBox* nodeField() const { return node_; }
    BlendCurveGroup* blendCurveGroup() const { return blendCurve_; }
    DisplayPicker* displayPicker() const { return display_; }
    MasksSection* masksSection() const { return masks_; }
    WarpGroup* warpGroup() const { return warp_; }

    // The show's machines, for the node list and the screens of each; none
    // (the default): no machine is listed and every display is this
    // machine's screen. Borrowed; must outlive the card.
    void setShowNodes(const ShowNodes* nodes);
    // The canvas the Warp group's preview draws the output's picture from
    // (WarpPreview); borrowed, must outlive the card.
    void setModelAdapter(ModelAdapter* adapter);

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
    void commitCrop(Crop part);
    void commitBlend(Edge edge);
    void commitNode(const QString& text);
    void listNodes();
    void showNode(const OutputConfig& output);
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
    std::array<QLineEdit*, 4> crop_{};
    std::array<QLineEdit*, 4> blend_{};
    QComboBox* node_ = nullptr;
    const ShowNodes* nodes_ = nullptr;
    BlendCurveGroup* blendCurve_ = nullptr;
    DisplayPicker* display_;
    MasksSection* masks_ = nullptr;
    WarpGroup* warp_ = nullptr;
};

// The field of an output that a crop field shows and edits.
float cropValue(const OutputConfig& output, OutputCard::Crop part);
float& cropValue(OutputConfig& output, OutputCard::Crop part);

// The field of an output that a blend field shows and edits.
float blendWidth(const OutputConfig& output, OutputCard::Edge edge);
float& blendWidth(OutputConfig& output, OutputCard::Edge edge);

} // namespace prismeta
