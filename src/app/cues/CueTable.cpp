#include "app/cues/CueTable.h"

#include <QDataStream>
#include <QDropEvent>
#include <QMimeData>

#include <algorithm>

namespace prismeta {

namespace {

// The row of the first cell in the item model's drag data; -1 when there is
// none.
int draggedRow(const QMimeData& data, const QString& format) {
    QByteArray bytes = data.data(format);
    QDataStream stream(&bytes, QIODevice::ReadOnly);
    int row = -1;
    int column = -1;
    stream >> row >> column;
    return stream.status() == QDataStream::Ok ? row : -1;
}

} // namespace

CueTable::CueTable(int columns, QWidget* parent) : QTableWidget(0, columns, parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDragDropOverwriteMode(false);
    setDropIndicatorShown(true);
    setDefaultDropAction(Qt::MoveAction);
}

int CueTable::dropTarget(int from, const QPoint& pos) const {
    const QModelIndex at = indexAt(pos);
    // The gap the row goes into, counted in the list as it is now.
    int gap = rowCount();
    if (at.isValid()) {
        gap = at.row() + (pos.y() > visualRect(at).center().y() ? 1 : 0);
    }
    const int to = gap > from ? gap - 1 : gap;
    return std::clamp(to, 0, std::max(0, rowCount() - 1));
}

bool CueTable::isRowDrag(const QDropEvent& event) const {
    const QStringList formats = model()->mimeTypes();
    return (event.source() == nullptr || event.source() == this) && !formats.isEmpty() &&
           event.mimeData()->hasFormat(formats.first());
}

void CueTable::dragEnterEvent(QDragEnterEvent* event) {
    if (!isRowDrag(*event)) {
        event->ignore();
        return;
    }
    QTableWidget::dragEnterEvent(event);
    event->accept();
}

void CueTable::dropEvent(QDropEvent* event) {
    if (!isRowDrag(*event)) {
        event->ignore();
        return;
    }
    const int from = draggedRow(*event->mimeData(), model()->mimeTypes().first());
    // Accepted as a copy: a move would have the view clear the dragged cells
    // after the drop, and the list fills them again anyway.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (from < 0 || from >= rowCount()) {
        return;
    }
    const int to = dropTarget(from, event->position().toPoint());
    if (to != from) {
        emit moveRequested(from, to);
    }
}

} // namespace prismeta
