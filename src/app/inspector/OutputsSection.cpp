#include "app/inspector/OutputsSection.h"

#include "app/ModelAdapter.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/MasksSection.h"
#include "app/inspector/OutputCard.h"
#include "core/ProjectModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace prismeta {

OutputsSection::OutputsSection(ProjectModel& model,
                               std::function<void(const Uuid&)> openOutputWindow, QWidget* parent,
                               InspectorDialogs* dialogs)
    : QWidget(parent), model_(model), dialogs_(dialogs),
      openOutputWindow_(std::move(openOutputWindow)) {
    setObjectName(QStringLiteral("outputsSection"));
    setAccessibleName(tr("Outputs"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* header = new QHBoxLayout;
    header->addWidget(makeLabel(tr("Outputs"), TextStyle::headline, Tone::primary, this));
    header->addStretch(1);
    add_ = new QToolButton(this);
    add_->setObjectName(QStringLiteral("addOutputButton"));
    add_->setIcon(inspectorIcon(InspectorIcon::add));
    add_->setAccessibleName(tr("Add output"));
    add_->setToolTip(tr("Add output"));
    add_->setAutoRaise(true);
    add_->setPopupMode(QToolButton::InstantPopup);
    add_->setFixedWidth(24);
    // The plus is the whole button: no menu arrow beside it.
    add_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    menu_ = new QMenu(add_);
    for (OutputPreset preset : allOutputPresets) {
        const std::string_view label = outputPresetLabel(preset);
        QAction* action =
            menu_->addAction(QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())));
        connect(action, &QAction::triggered, this, [this, preset] { model_.addOutput(preset); });
    }
    add_->setMenu(menu_);
    header->addWidget(add_);
    column->addLayout(header);

    emptyNote_ = makeLabel(
        tr("Add an output for each projector, then Open its window and drag it onto that display."),
        TextStyle::caption, Tone::tertiary, this);
    emptyNote_->setObjectName(QStringLiteral("outputsEmptyNote"));
    emptyNote_->setWordWrap(true);
    column->addWidget(emptyNote_);

    cardsLayout_ = new QVBoxLayout;
    cardsLayout_->setContentsMargins(0, 0, 0, 0);
    cardsLayout_->setSpacing(10);
    column->addLayout(cardsLayout_);
}

void OutputsSection::refresh(const ModelChanges& changes) {
    if (!changes.has(ModelField::outputs)) {
        if (changes.has(ModelField::blendTest)) {
            showCards();
        }
        return;
    }
    reconcileCards();
    emptyNote_->setVisible(model_.outputs().empty());
}

void OutputsSection::setModelAdapter(ModelAdapter* adapter) {
    adapter_ = adapter;
    for (OutputCard* card : cards_) {
        card->setModelAdapter(adapter);
    }
}

void OutputsSection::setShowNodes(const ShowNodes* nodes) {
    nodes_ = nodes;
    for (OutputCard* card : cards_) {
        card->setShowNodes(nodes);
    }
}

void OutputsSection::beginRename(const Uuid& outputID) {
    editingID_ = outputID;
    showCards();
}

void OutputsSection::endRename() {
    editingID_.reset();
    showCards();
}

void OutputsSection::reconcileCards() {
    const std::vector<OutputConfig>& outputs = model_.outputs();
    // Walk the new list: keep a card whose id matches, drop cards whose
    // output is gone from the rest of the list, make cards for newcomers.
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Uuid& id = outputs[i].id;
        while (i < cards_.size() && cards_[i]->outputID() != id) {
            const Uuid cardID = cards_[i]->outputID();
            const bool comesLater =
                std::any_of(outputs.begin() + static_cast<std::ptrdiff_t>(i) + 1, outputs.end(),
                            [&cardID](const OutputConfig& o) { return o.id == cardID; });
            if (comesLater) {
                break;
            }
            removeCard(i);
        }
        if (i >= cards_.size() || cards_[i]->outputID() != id) {
            makeCard(i);
        }
    }
    while (cards_.size() > outputs.size()) {
        removeCard(cards_.size() - 1);
    }
    showCards();
}

void OutputsSection::showCards() {
    const std::vector<OutputConfig>& outputs = model_.outputs();
    bool renamingShown = false;
    for (std::size_t i = 0; i < outputs.size() && i < cards_.size(); ++i) {
        // One card at most shows the field (ids repeat only in hand-made files).
        const bool renaming = !renamingShown && editingID_ && outputs[i].id == *editingID_;
        renamingShown = renamingShown || renaming;
        cards_[i]->showOutput(outputs[i], i, renaming);
    }
}

OutputCard* OutputsSection::makeCard(std::size_t position) {
    auto* card = new OutputCard(model_, model_.outputs()[position], this, dialogs_);
    card->setShowNodes(nodes_);
    card->setModelAdapter(adapter_);
    cardsLayout_->insertWidget(static_cast<int>(position), card);
    card->show();
    cards_.insert(cards_.begin() + static_cast<std::ptrdiff_t>(position), card);
    connect(card, &OutputCard::renameRequested, this, &OutputsSection::beginRename);
    connect(card, &OutputCard::renameFinished, this, &OutputsSection::endRename);
    connect(card->masksSection(), &MasksSection::maskChosen, this,
            [this, card](int index) { emit maskChosen(card->outputID(), index); });
    connect(card, &OutputCard::openRequested, this, [this](const Uuid& outputID) {
        if (openOutputWindow_) {
            openOutputWindow_(outputID);
        }
    });
    return card;
}

void OutputsSection::removeCard(std::size_t position) {
    OutputCard* card = cards_[position];
    cards_.erase(cards_.begin() + static_cast<std::ptrdiff_t>(position));
    cardsLayout_->removeWidget(card);
    card->hide();
    // Later: the card may be the one whose button asked for the removal.
    card->deleteLater();
}

} // namespace prismeta
