#pragma once

#include <QDockWidget>
#include <QTimer>

class QProgressBar;
class QTableWidget;
class QTableWidgetItem;

namespace prismeta {

class ModelAdapter;
class ShowCues;
class ModelChanges;

// The Cues panel: the cue list (number from 1, name, fade, follow, schedule)
// with the live cue in bold and the next one marked, GO and Back, and a bar
// for the running fade. Name, fade, follow and schedule are edited in place,
// each edit one undo step; a double click goes to the cue.
//
// Interface thread only; borrows the adapter and the show.
class CuesDock : public QDockWidget {
    Q_OBJECT

public:
    CuesDock(ModelAdapter& adapter, ShowCues& show, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }

private:
    void rebuild();
    void markLive();
    void onEdited(QTableWidgetItem* item);
    void updateProgress();

    ModelAdapter& adapter_;
    ShowCues& show_;
    QTableWidget* table_;
    QProgressBar* fade_;
    QTimer progressTimer_;
    bool rebuilding_ = false;
    bool hadCues_ = false;
};

} // namespace prismeta
