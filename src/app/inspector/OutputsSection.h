#pragma once

#include "core/Uuid.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace prismeta {

class InspectorDialogs;

class ModelChanges;
class OutputCard;
class ProjectModel;
class ModelAdapter;
class ShowNodes;

// The outputs part of the inspector: the "Outputs" header with the menu of
// presets that add an output, a note while there are none, and one card per
// output in list order. Which output is being renamed (editingOutputID)
// belongs to this section and outlives the output.
//
// Cards are matched to outputs by id and updated in place; only cards of
// outputs that came or went are made or removed, so a field being typed in
// survives every other change.
//
// Interface thread only. Borrows the model, which must outlive it; the
// inspector calls refresh() on every model change. `openOutputWindow` opens
// (or raises) an output's window.
class OutputsSection : public QWidget {
    Q_OBJECT

public:
    OutputsSection(ProjectModel& model, std::function<void(const Uuid&)> openOutputWindow,
                   QWidget* parent = nullptr, InspectorDialogs* dialogs = nullptr);

    void refresh(const ModelChanges& changes);

    const std::optional<Uuid>& editingOutputID() const { return editingID_; }
    void beginRename(const Uuid& outputID);
    void endRename();

    QToolButton* addButton() const { return add_; }
    QMenu* presetMenu() const { return menu_; }
    QLabel* emptyNote() const { return emptyNote_; }
    const std::vector<OutputCard*>& cards() const { return cards_; }

    // The show's machines for every card (OutputCard::setShowNodes).
    void setShowNodes(const ShowNodes* nodes);
    // The canvas every card's warp preview draws from (OutputCard).
    void setModelAdapter(ModelAdapter* adapter);

signals:
    // A card's mask list chose a mask to work on (MasksSection::maskChosen).
    void maskChosen(const prismeta::Uuid& outputID, int index);

private:
    void reconcileCards();
    void showCards();
    OutputCard* makeCard(std::size_t position);
    void removeCard(std::size_t position);

    ProjectModel& model_;
    InspectorDialogs* dialogs_ = nullptr;
    std::function<void(const Uuid&)> openOutputWindow_;
    QToolButton* add_;
    QMenu* menu_;
    QLabel* emptyNote_;
    QVBoxLayout* cardsLayout_;
    std::vector<OutputCard*> cards_; // in the order of the model's outputs
    std::optional<Uuid> editingID_;
    const ShowNodes* nodes_ = nullptr;
    ModelAdapter* adapter_ = nullptr;
};

} // namespace prismeta
