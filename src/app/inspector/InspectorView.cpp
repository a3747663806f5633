#include "app/inspector/InspectorView.h"

#include "app/ModelAdapter.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/LiveStatusWatch.h"
#include "app/inspector/MasksSection.h"
#include "app/inspector/OutputsSection.h"
#include "app/inspector/ReferenceSection.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "app/inspector/SurfaceListPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace prismeta {

InspectorView::InspectorView(ModelAdapter& adapter,
                             std::function<void(const Uuid&)> openOutputWindow,
                             std::unique_ptr<InspectorDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(std::move(dialogs)) {
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

    reference_ = new ReferenceSection(model, *dialogs_, this);
    surfaces_ = new SurfaceListPanel(model, this);
    layout->addWidget(reference_);
    layout->addWidget(makeDivider(this));
    layout->addWidget(surfaces_);
    layout->addWidget(makeDivider(this));

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("inspectorScrollArea"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Named for what it scrolls: assistive technology announces it.
    scroll_->verticalScrollBar()->setAccessibleName(tr("Surface and outputs"));
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll_);
    content->setObjectName(QStringLiteral("inspectorScrollContent"));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(20);
    selected_ = new SelectedSurfaceControls(model, *dialogs_, content);
    outputs_ = new OutputsSection(model, std::move(openOutputWindow), content, dialogs_.get());
    column->addWidget(selected_);
    column->addWidget(makeDivider(content));
    column->addWidget(outputs_);
    column->addStretch(1);
    scroll_->setWidget(content);
    layout->addWidget(scroll_, 1);

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

void InspectorView::refresh(const ModelChanges& changes) {
    reference_->refresh(changes);
    surfaces_->refresh(changes);
    selected_->refresh(changes);
    outputs_->refresh(changes);
    // After the rows: a reading that differs updates them.
    liveStatus_->refresh(changes);
}

} // namespace prismeta
