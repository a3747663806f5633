#include "app/inspector/InspectorView.h"

#include "app/ModelAdapter.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/LiveStatusWatch.h"
#include "app/inspector/MasksSection.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/OutputsSection.h"
#include "app/inspector/ReferenceSection.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "app/inspector/SurfaceListPanel.h"
#include "app/inspector/WarpGroup.h"
#include "core/ProjectModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace prismeta {

InspectorView::InspectorView(ModelAdapter& adapter,
                             std::function<void(const Uuid&)> openOutputWindow,
                             std::unique_ptr<InspectorDialogs> dialogs, QWidget* parent)
    : QWidget(parent), model_(adapter.model()), dialogs_(std::move(dialogs)) {
    setObjectName(QStringLiteral("inspector"));
    setAccessibleName(tr("Inspector"));
    setMinimumWidth(minimumPanelWidth);
    if (!dialogs_) {
        dialogs_ = std::make_unique<WidgetInspectorDialogs>(this, adapter.model());
    }
    ProjectModel& model = adapter.model();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Two places: the surfaces (the reference, the list and the selected
    // surface's controls) and the outputs, each scrolling on its own, so an
    // output's warp is a tab away, not below every surface control.
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("inspectorTabs"));
    tabs_->setDocumentMode(true);
    tabs_->setUsesScrollButtons(false);
    layout->addWidget(tabs_, 1);

    auto* surfacesPage = new QWidget(tabs_);
    surfacesPage->setObjectName(QStringLiteral("inspectorSurfacesPage"));
    auto* surfacesColumn = new QVBoxLayout(surfacesPage);
    surfacesColumn->setContentsMargins(0, 0, 0, 0);
    surfacesColumn->setSpacing(0);
    reference_ = new ReferenceSection(model, *dialogs_, surfacesPage);
    surfaces_ = new SurfaceListPanel(model, surfacesPage);
    surfacesColumn->addWidget(reference_);
    surfacesColumn->addWidget(makeDivider(surfacesPage));
    surfacesColumn->addWidget(surfaces_);
    surfacesColumn->addWidget(makeDivider(surfacesPage));

    const auto makeScroll = [](QWidget* owner, const QString& name, const QString& scrolls) {
        auto* scroll = new QScrollArea(owner);
        scroll->setObjectName(name);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // Named for what it scrolls: assistive technology announces it.
        scroll->verticalScrollBar()->setAccessibleName(scrolls);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return scroll;
    };
    scroll_ = makeScroll(surfacesPage, QStringLiteral("inspectorScrollArea"), tr("Surface"));
    auto* content = new QWidget(scroll_);
    content->setObjectName(QStringLiteral("inspectorScrollContent"));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(20);
    selected_ = new SelectedSurfaceControls(model, *dialogs_, content);
    column->addWidget(selected_);
    column->addStretch(1);
    scroll_->setWidget(content);
    surfacesColumn->addWidget(scroll_, 1);
    tabs_->addTab(surfacesPage, tr("Surfaces"));

    outputsScroll_ = makeScroll(tabs_, QStringLiteral("inspectorOutputsScrollArea"), tr("Outputs"));
    auto* outputsContent = new QWidget(outputsScroll_);
    outputsContent->setObjectName(QStringLiteral("inspectorOutputsContent"));
    auto* outputsColumn = new QVBoxLayout(outputsContent);
    outputsColumn->setContentsMargins(14, 14, 14, 14);
    outputsColumn->setSpacing(20);
    outputs_ =
        new OutputsSection(model, std::move(openOutputWindow), outputsContent, dialogs_.get());
    outputs_->setModelAdapter(&adapter);
    outputsColumn->addWidget(outputs_);
    outputsColumn->addStretch(1);
    outputsScroll_->setWidget(outputsContent);
    tabs_->addTab(outputsScroll_, tr("Outputs"));

    liveStatus_ = new LiveStatusWatch(model, this);
    surfaces_->setLiveStatusWatch(liveStatus_);
    selected_->setLiveStatusWatch(liveStatus_);

    connect(&adapter, &ModelAdapter::changed, this, &InspectorView::refresh);
    connect(selected_->masksSection(), &MasksSection::maskChosen, this, [this, &model](int index) {
        const std::optional<Uuid>& id = model.selectedID();
        if (index < 0 || !id) {
            emit maskChosen(std::nullopt);
            return;
        }
        emit maskChosen(
            MaskTarget{MaskTarget::Record::surface, *id, static_cast<std::size_t>(index)});
    });
    connect(outputs_, &OutputsSection::maskChosen, this, [this](const Uuid& id, int index) {
        if (index >= 0) {
            emit maskChosen(
                MaskTarget{MaskTarget::Record::output, id, static_cast<std::size_t>(index)});
        }
    });
    refresh(ModelChanges::all());
    // Button clicks anywhere in the panel, cards made later included.
    qApp->installEventFilter(this);
}

bool InspectorView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (button != nullptr && mouse->button() == Qt::LeftButton && isAncestorOf(button) &&
            button->isEnabled() && button->rect().contains(mouse->position().toPoint())) {
            // After the click has done its work.
            QMetaObject::invokeMethod(this, &InspectorView::reportEditCommitted,
                                      Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

InspectorView::~InspectorView() = default;

std::optional<Uuid> InspectorView::editingSurfaceID() const {
    return surfaces_->editingSurfaceID();
}

std::optional<Uuid> InspectorView::editingOutputID() const {
    return outputs_->editingOutputID();
}

bool InspectorView::showsOutputs() const {
    return tabs_->currentWidget() == outputsScroll_;
}

void InspectorView::showOutputs(const std::optional<Uuid>& outputID) {
    tabs_->setCurrentWidget(outputsScroll_);
    if (!outputID) {
        return;
    }
    for (OutputCard* card : outputs_->cards()) {
        if (card->outputID() == *outputID) {
            // The card's warp, where the operator works now, in view; its
            // layout may be pending after the tab came up.
            outputsContentLayout();
            outputsScroll_->ensureWidgetVisible(card->warpGroup(), 0, 20);
            return;
        }
    }
}

void InspectorView::outputsContentLayout() {
    if (QWidget* content = outputsScroll_->widget()) {
        if (QLayout* layout = content->layout()) {
            layout->activate();
        }
    }
}

void InspectorView::refresh(const ModelChanges& changes) {
    reference_->refresh(changes);
    surfaces_->refresh(changes);
    selected_->refresh(changes);
    outputs_->refresh(changes);
    // Edit Warp switched on (from a card, or remotely): the outputs come up
    // on that output.
    std::vector<Uuid> editing;
    for (const OutputConfig& output : model_.outputs()) {
        if (model_.warpEditing(output.id)) {
            editing.push_back(output.id);
        }
    }
    for (const Uuid& id : editing) {
        if (std::find(warpEdited_.begin(), warpEdited_.end(), id) == warpEdited_.end()) {
            showOutputs(id);
            break;
        }
    }
    warpEdited_ = std::move(editing);
    // After the rows: a reading that differs updates them.
    liveStatus_->refresh(changes);
}

} // namespace prismeta
