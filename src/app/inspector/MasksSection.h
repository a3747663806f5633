#pragma once

#include "core/Mask.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QToolButton;

namespace prismeta {

class ContinuousSlider;
enum class MaskPreset;

// The masks of one record (the selected surface, or an output): a list of
// them, the fields of the current one (name, enabled, invert, feather), and
// Add (from the presets), Duplicate, Delete, Move Up and Move Down.
//
// The section reads and writes the whole list through its owner's hooks.
// Field edits are written at each change without an undo step, as the
// inspector's other fields are; the list operations call `beforeListEdit`
// first, where the owner takes its undo step (or none, for outputs).
//
// Interface thread only; the owner calls showMasks() on every change of the
// record and once when the record becomes another one.
class MasksSection : public QWidget {
    Q_OBJECT

public:
    struct Hooks {
        // The record's masks now; nothing when there is no record.
        std::function<std::optional<std::vector<Mask>>()> read;
        std::function<void(std::vector<Mask>)> write;
        // Called once before Add, Duplicate, Delete and the moves, with the
        // undo step's name ("Add Mask").
        std::function<void(const std::string& step)> beforeListEdit;
        // A new mask from a preset (in the record's own coordinates).
        std::function<Mask(MaskPreset)> makePreset;
    };

    MasksSection(Hooks hooks, QWidget* parent = nullptr);

    // `otherRecord`: the masks now belong to another record; the first mask
    // becomes the current one and typing for the previous record is dropped.
    void showMasks(const std::vector<Mask>& masks, bool otherRecord);

    // The current mask's index, if any.
    std::optional<std::size_t> currentMask() const;
    void setCurrentMask(std::size_t index);
    // Makes mask `index` the current one at once, before the record shows
    // it (a mask just written by the owner), and reports it (maskChosen).
    void choose(std::size_t index);

    QListWidget* list() const { return list_; }
    QToolButton* addButton() const { return add_; }
    QMenu* addMenu() const { return addMenu_; }
    QToolButton* duplicateButton() const { return duplicate_; }
    QToolButton* deleteButton() const { return delete_; }
    QToolButton* moveUpButton() const { return moveUp_; }
    QToolButton* moveDownButton() const { return moveDown_; }
    QWidget* fields() const { return fields_; }
    QLineEdit* nameField() const { return name_; }
    QCheckBox* enabledCheckBox() const { return enabled_; }
    QCheckBox* invertCheckBox() const { return invert_; }
    QLabel* featherCaption() const { return featherCaption_; }
    ContinuousSlider* featherSlider() const { return feather_; }

signals:
    // The user picked a mask to work on (a row pressed or made current, a
    // list operation), or the masks of another record are shown: the index
    // of the current mask, -1 for none. The editor shows that mask's path.
    void maskChosen(int index);

private:
    // Edits the current mask (a field): no list operation, no undo step.
    void editCurrent(const std::function<void(Mask&)>& change);
    // A list operation: `change` edits the list and returns the new current
    // index, or nothing to leave the record untouched.
    void editList(
        const std::string& step,
        const std::function<std::optional<std::size_t>(std::vector<Mask>&, std::size_t)>& change);
    void addPreset(MaskPreset preset);
    void showCurrent(bool otherMask);
    void updateButtons();

    Hooks hooks_;
    std::vector<Mask> shown_;
    std::size_t current_ = 0;

    QListWidget* list_ = nullptr;
    QToolButton* add_ = nullptr;
    QMenu* addMenu_ = nullptr;
    QToolButton* duplicate_ = nullptr;
    QToolButton* delete_ = nullptr;
    QToolButton* moveUp_ = nullptr;
    QToolButton* moveDown_ = nullptr;
    QWidget* fields_ = nullptr;
    QLineEdit* name_ = nullptr;
    QCheckBox* enabled_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QLabel* featherCaption_ = nullptr;
    ContinuousSlider* feather_ = nullptr;
};

} // namespace prismeta
