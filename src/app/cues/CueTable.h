#pragma once

#include <QTableWidget>

namespace prismeta {

// The cue list's table: rows are dragged to a new place in the list. A drop
// changes no cell itself; it asks for the move (moveRequested), and the cue
// list, once moved, fills the table again.
//
// Interface thread only.
class CueTable : public QTableWidget {
    Q_OBJECT

public:
    explicit CueTable(int columns, QWidget* parent = nullptr);

    // The position a row dropped at pos (viewport coordinates) takes in the
    // list, for a row dragged from the position from.
    int dropTarget(int from, const QPoint& pos) const;

signals:
    // The cue at position from is to end up at position to.
    void moveRequested(int from, int to);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Rows of this table; a drag of the same kind that no drag of this
    // process started (from an accessibility tool, or a test) counts too.
    bool isRowDrag(const QDropEvent& event) const;
};

} // namespace prismeta
