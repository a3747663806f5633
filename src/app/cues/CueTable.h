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
    void dropEvent(QDropEvent* event) override;
};

} // namespace prismeta
