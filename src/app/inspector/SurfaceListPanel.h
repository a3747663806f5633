#pragma once

#include "core/Uuid.h"

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <optional>
#include <vector>

class QListWidget;
class QListWidgetItem;
class QToolButton;

namespace prismeta {

class LiveStatusWatch;
class ModelChanges;
class ProjectModel;
struct Surface;

// The inspector's surface list: a header ("Surfaces" with the add, duplicate
// and delete buttons) above a single-selection list, one row per surface in
// stacking order, with the media kind's icon and the name. The list and the
// model's selectedID follow each other both ways. A double click on a row
// renames it inline: the name becomes a field that writes each keystroke
// into the surface, until Return. Which surface is being renamed
// (editingSurfaceID) belongs to this panel; it outlives the surface, so a
// surface brought back by Undo comes back being renamed.
//
// Rows are matched to surfaces by id and updated in place; only rows of
// surfaces that came or went are made or removed, so a rename field being
// typed in survives every other change.
//
// Interface thread only. Borrows the model, which must outlive it; the
// inspector calls refresh() on every model change.
class SurfaceListPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int listHeight = 170;

    explicit SurfaceListPanel(ProjectModel& model, QWidget* parent = nullptr);

    void refresh(const ModelChanges& changes);
    // Where live surfaces' rows read their sources' status.
    void setLiveStatusWatch(const LiveStatusWatch* watch);

    const std::optional<Uuid>& editingSurfaceID() const { return editingID_; }
    // Starts renaming the surface (as a double click on its name does), or
    // ends renaming (as Return does).
    void beginRename(const Uuid& surfaceID);
    void endRename();

    QListWidget* list() const { return list_; }
    QToolButton* addButton() const { return add_; }
    QToolButton* duplicateButton() const { return duplicate_; }
    QToolButton* deleteButton() const { return delete_; }
    // The field of the row being renamed; null while no row shows one.
    QLineEdit* renameField() const { return renameField_; }
    // The row of a surface (the first with the id), or -1.
    int rowOf(const Uuid& surfaceID) const;

private:
    void reconcileRows();
    void updateRow(int row, const Surface& surface);
    void showLiveStatus();
    void insertRow(int row, const Surface& surface);
    void removeRow(int row);
    void syncSelection();
    void syncRenameField();
    void onSelectionChanged();
    void renameSurface(const Uuid& surfaceID, const QString& name);

    ProjectModel& model_;
    QToolButton* add_;
    QToolButton* duplicate_;
    QToolButton* delete_;
    QListWidget* list_;
    std::vector<Uuid> rowIDs_; // parallel to the list's rows
    std::optional<Uuid> editingID_;
    QListWidgetItem* renameItem_ = nullptr; // the row holding the rename field
    QPointer<QLineEdit> renameField_;
    int rowHeight_ = 0;
    const LiveStatusWatch* liveWatch_ = nullptr;
};

} // namespace prismeta
