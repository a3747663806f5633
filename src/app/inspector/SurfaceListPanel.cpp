#include "app/inspector/SurfaceListPanel.h"

#include "app/ModelAdapter.h"
#include "app/inspector/FieldKeys.h"
#include "app/inspector/FieldUpdates.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/LiveStatusWatch.h"
#include "core/ProjectModel.h"
#include "core/Utf8Prefix.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace prismeta {

namespace {

// Rows show at most this much of a name: Qt lays out a row's whole text on
// every paint to elide it, and a 50 MB name in a hand-edited file held the
// interface thread for over a minute.
constexpr std::size_t maxShownNameBytes = 1024;

QString nameText(const Surface& surface) {
    const std::string& name = surface.name;
    if (name.size() <= maxShownNameBytes) {
        return QString::fromStdString(name);
    }
    const std::string_view shown = utf8Prefix(name, maxShownNameBytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())) + QChar(0x2026);
}

// What a row's icon shows: its kind, and for a live surface the state of its
// source (the icon differs by state), kept in the row's data.
int iconKey(const Surface& surface, const std::optional<LiveStatus>& status) {
    const int kind = static_cast<int>(surface.mediaKind) * 4;
    return status ? kind + 1 + static_cast<int>(status->state) : kind;
}

QIcon rowIcon(const Surface& surface, const std::optional<LiveStatus>& status) {
    return status ? liveKindIcon(status->state) : mediaKindIcon(surface.mediaKind);
}

QString rowToolTip(const Surface& surface, const std::optional<LiveStatus>& status) {
    if (!status || !surface.mediaPath) {
        return {};
    }
    return QString::fromStdString(displayedLiveSource(*surface.mediaPath)) + QLatin1Char('\n') +
           liveStatusText(*status);
}

QToolButton* makeIconButton(QWidget* parent, InspectorIcon icon, const QString& help,
                            const QString& objectName) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(inspectorIcon(icon));
    button->setAutoRaise(true);
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

} // namespace

SurfaceListPanel::SurfaceListPanel(ProjectModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("surfaceList"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 10, 10, 10);
    header->addWidget(makeLabel(tr("Surfaces"), TextStyle::headline, Tone::primary, this));
    header->addStretch(1);
    // The platform's own text for the shortcut: "Ctrl+D" here, "⌘D" on macOS.
    const QString duplicateShortcut =
        QKeySequence(Qt::CTRL | Qt::Key_D).toString(QKeySequence::NativeText);
    add_ = makeIconButton(this, InspectorIcon::add, tr("Add surface"),
                          QStringLiteral("addSurfaceButton"));
    duplicate_ = makeIconButton(this, InspectorIcon::duplicate,
                                tr("Duplicate selected (%1)").arg(duplicateShortcut),
                                QStringLiteral("duplicateSurfaceButton"));
    delete_ = makeIconButton(this, InspectorIcon::trash, tr("Delete selected"),
                             QStringLiteral("deleteSurfaceButton"));
    header->addWidget(add_);
    header->addWidget(duplicate_);
    header->addWidget(delete_);
    column->addLayout(header);

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("surfaceListView"));
    list_->setAccessibleName(tr("Surfaces"));
    list_->verticalScrollBar()->setAccessibleName(tr("Surfaces"));
    list_->horizontalScrollBar()->setAccessibleName(tr("Surfaces"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setUniformItemSizes(false);
    list_->setFixedHeight(listHeight);
    list_->setFrameShape(QFrame::NoFrame);
    column->addWidget(list_);
    rowHeight_ = QLineEdit().sizeHint().height() + 2;

    connect(add_, &QToolButton::clicked, this, [this] { model_.addSurface(); });
    connect(duplicate_, &QToolButton::clicked, this, [this] { model_.duplicateSelected(); });
    connect(delete_, &QToolButton::clicked, this, [this] { model_.deleteSelected(); });
    connect(list_, &QListWidget::itemSelectionChanged, this, &SurfaceListPanel::onSelectionChanged);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const int row = list_->row(item);
        if (row >= 0 && static_cast<std::size_t>(row) < rowIDs_.size()) {
            beginRename(rowIDs_[static_cast<std::size_t>(row)]);
        }
    });
}

void SurfaceListPanel::refresh(const ModelChanges& changes) {
    if (changes.has(ModelField::surfaces)) {
        reconcileRows();
    }
    if (changes.has(ModelField::surfaces) || changes.has(ModelField::selectedID)) {
        syncSelection();
    }
    if (changes.has(ModelField::selectedID)) {
        const bool selected = model_.selectedID().has_value();
        duplicate_->setEnabled(selected);
        delete_->setEnabled(selected);
    }
}

int SurfaceListPanel::rowOf(const Uuid& surfaceID) const {
    const auto found = std::find(rowIDs_.begin(), rowIDs_.end(), surfaceID);
    return found == rowIDs_.end() ? -1 : static_cast<int>(found - rowIDs_.begin());
}

void SurfaceListPanel::reconcileRows() {
    const QSignalBlocker blocker(list_);
    const std::vector<Surface>& surfaces = model_.surfaces().vector();
    // Walk the new list: keep a row whose id matches, drop rows whose
    // surface is gone from the rest of the list, insert rows for newcomers.
    // Adding, duplicating and deleting touch one row each.
    std::size_t i = 0;
    for (; i < surfaces.size(); ++i) {
        const Surface& surface = surfaces[i];
        while (i < rowIDs_.size() && rowIDs_[i] != surface.id) {
            const Uuid& rowID = rowIDs_[i];
            const bool comesLater =
                std::any_of(surfaces.begin() + static_cast<std::ptrdiff_t>(i) + 1, surfaces.end(),
                            [&rowID](const Surface& s) { return s.id == rowID; });
            if (comesLater) {
                break;
            }
            removeRow(static_cast<int>(i));
        }
        if (i < rowIDs_.size() && rowIDs_[i] == surface.id) {
            updateRow(static_cast<int>(i), surface);
        } else {
            insertRow(static_cast<int>(i), surface);
        }
    }
    while (rowIDs_.size() > surfaces.size()) {
        removeRow(static_cast<int>(rowIDs_.size()) - 1);
    }
    syncRenameField();
}

void SurfaceListPanel::updateRow(int row, const Surface& surface) {
    QListWidgetItem* item = list_->item(row);
    const QString name = nameText(surface);
    if (item->text() != name) {
        item->setText(name);
    }
    const std::optional<LiveStatus> status =
        liveWatch_ != nullptr ? liveWatch_->status(surface.id) : std::nullopt;
    const int key = iconKey(surface, status);
    if (item->data(Qt::UserRole).toInt() != key) {
        item->setData(Qt::UserRole, key);
        item->setIcon(rowIcon(surface, status));
    }
    const QString tip = rowToolTip(surface, status);
    if (item->toolTip() != tip) {
        item->setToolTip(tip);
    }
}

void SurfaceListPanel::setLiveStatusWatch(const LiveStatusWatch* watch) {
    liveWatch_ = watch;
    if (watch != nullptr) {
        connect(watch, &LiveStatusWatch::changed, this, &SurfaceListPanel::showLiveStatus);
    }
    showLiveStatus();
}

void SurfaceListPanel::showLiveStatus() {
    const std::vector<Surface>& surfaces = model_.surfaces().vector();
    // Rows the list has not caught up with yet are brought up to date by
    // the next refresh.
    for (std::size_t i = 0; i < surfaces.size() && i < rowIDs_.size(); ++i) {
        if (rowIDs_[i] == surfaces[i].id) {
            updateRow(static_cast<int>(i), surfaces[i]);
        }
    }
}

void SurfaceListPanel::insertRow(int row, const Surface& surface) {
    const std::optional<LiveStatus> status =
        liveWatch_ != nullptr ? liveWatch_->status(surface.id) : std::nullopt;
    auto* item = new QListWidgetItem(rowIcon(surface, status), nameText(surface));
    item->setData(Qt::UserRole, iconKey(surface, status));
    item->setToolTip(rowToolTip(surface, status));
    // Every row is as tall as the rename field, so renaming moves nothing.
    item->setSizeHint(QSize(0, rowHeight_));
    list_->insertItem(row, item);
    rowIDs_.insert(rowIDs_.begin() + row, surface.id);
}

void SurfaceListPanel::removeRow(int row) {
    QListWidgetItem* item = list_->takeItem(row);
    if (item == renameItem_) {
        renameItem_ = nullptr; // the list disposes of the row's field
        renameField_ = nullptr;
    }
    delete item;
    rowIDs_.erase(rowIDs_.begin() + row);
}

void SurfaceListPanel::syncSelection() {
    const QSignalBlocker blocker(list_);
    const std::optional<Uuid>& selected = model_.selectedID();
    const int row = selected ? rowOf(*selected) : -1;
    if (row < 0) {
        list_->clearSelection();
        return;
    }
    QListWidgetItem* item = list_->item(row);
    if (!item->isSelected() || list_->selectedItems().size() != 1) {
        list_->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
        // Only a new selection scrolls: a list the user scrolled stays put
        // while the selected surface is edited elsewhere.
        list_->scrollToItem(item);
    }
}

void SurfaceListPanel::onSelectionChanged() {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) {
        model_.setSelectedID(std::nullopt);
        return;
    }
    const int row = list_->row(selected.front());
    if (row >= 0 && static_cast<std::size_t>(row) < rowIDs_.size()) {
        model_.setSelectedID(rowIDs_[static_cast<std::size_t>(row)]);
    }
}

void SurfaceListPanel::beginRename(const Uuid& surfaceID) {
    editingID_ = surfaceID;
    syncRenameField();
    if (renameField_) {
        renameField_->setFocus(Qt::OtherFocusReason);
        renameField_->selectAll();
    }
}

void SurfaceListPanel::endRename() {
    const bool hadFocus = renameField_ && renameField_->hasFocus();
    editingID_.reset();
    syncRenameField();
    if (hadFocus) {
        list_->setFocus(Qt::OtherFocusReason);
    }
}

void SurfaceListPanel::syncRenameField() {
    const int row = editingID_ ? rowOf(*editingID_) : -1;
    QListWidgetItem* target = row >= 0 ? list_->item(row) : nullptr;
    if (target != nullptr && target == renameItem_ && renameField_) {
        // The field stays while its row does; it shows a name changed
        // elsewhere unless the user is typing in it.
        showFieldText(renameField_, nameText(model_.surfaces()[static_cast<std::size_t>(row)]));
        return;
    }
    if (renameItem_ != nullptr) {
        list_->removeItemWidget(renameItem_); // the list deletes the field later
        renameItem_ = nullptr;
        renameField_ = nullptr;
    }
    if (target == nullptr) {
        return; // nothing being renamed, or its surface is gone
    }
    const Uuid surfaceID = *editingID_;
    auto* holder = new QWidget;
    holder->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(2, 0, 2, 0);
    auto* field = new QLineEdit(target->text(), holder);
    field->setObjectName(QStringLiteral("surfaceRenameField"));
    field->setPlaceholderText(tr("Name"));
    field->setAccessibleName(tr("Name"));
    installFieldKeys(field);
    layout->addWidget(field);
    connect(field, &QLineEdit::textEdited, this,
            [this, surfaceID](const QString& text) { renameSurface(surfaceID, text); });
    connect(field, &QLineEdit::returnPressed, this, [this] { endRename(); });
    list_->setItemWidget(target, holder);
    renameItem_ = target;
    renameField_ = field;
}

void SurfaceListPanel::renameSurface(const Uuid& surfaceID, const QString& name) {
    const SurfaceList& surfaces = model_.surfaces();
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        if (surfaces[i].id == surfaceID) {
            Surface renamed = surfaces[i];
            renamed.name = name.toStdString();
            model_.replaceSurface(i, std::move(renamed));
            return;
        }
    }
    // The surface vanished meanwhile: the keystroke is dropped.
}

} // namespace prismeta
