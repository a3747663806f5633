#pragma once

#include "core/Cue.h"
#include "core/Uuid.h"
#include "cues/Schedule.h"

#include <QDockWidget>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QBoxLayout;
class QLabel;
class QProgressBar;
class QTableWidget;
class QTableWidgetItem;

namespace prismeta {

class CueTable;
class ModelAdapter;
class ShowCues;
class ModelChanges;

// The Cues panel: the cue list (number from 1, name, fade, follow, schedule,
// timecode) with the live cue in bold and the next one marked, GO and Back, a
// bar for the running fade and one for the time left to the next follow or
// scheduled cue, and the incoming timecode while the show chases it. Name,
// fade, follow, schedule and timecode are edited in place and rows dragged
// to a new place, each edit one undo step; an entry that is not a value
// stays in its cell, marked, and what is wrong with it shows under the list.
// A double click on the number goes to the cue.
//
// Interface thread only; borrows the adapter and the show.
class CuesDock : public QDockWidget {
    Q_OBJECT

public:
    CuesDock(ModelAdapter& adapter, ShowCues& show, QWidget* parent = nullptr);

    QTableWidget* table() const;
    QProgressBar* fadeBar() const { return fade_; }
    QProgressBar* nextBar() const { return next_; }
    QLabel* timecodeLabel() const { return timecode_; }
    // Reads the show's clocks into the two bars (a timer does it ten times a
    // second).
    void updateProgress();

    QSize sizeHint() const override;

private:
    void rebuild();
    void markLive();
    void onEdited(QTableWidgetItem* item);
    // Marks an entry the cue could not take and says why, under the list.
    void showProblem(QTableWidgetItem* item, const QString& problem);
    void updateNext();

    ModelAdapter& adapter_;
    ShowCues& show_;
    QBoxLayout* layout_;
    CueTable* table_;
    QLabel* problem_;
    QProgressBar* fade_;
    QProgressBar* next_;
    QLabel* timecode_;
    QTimer progressTimer_;
    bool rebuilding_ = false;
    bool hadCues_ = false;
    // The cue of each row, to keep the selection on its cue when the list
    // changes.
    std::vector<Uuid> rowIds_;

    // The next scheduled cue, found again only when the list changes, its
    // time comes, the clock is set back or a minute passes (finding it reads
    // every cue's schedule).
    struct ScheduleAhead {
        std::shared_ptr<const std::vector<Cue>> cues;
        std::int64_t foundAt = 0;
        std::int64_t since = 0; // the scheduled time before it, or foundAt
        std::optional<ScheduledGo> next;
    };
    ScheduleAhead ahead_;
};

} // namespace prismeta
