#pragma once

#include "cues/CueRunner.h"
#include "cues/LiveLayer.h"
#include "cues/ShowClock.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QAction;
class QMenuBar;
class QWidget;

namespace prismeta {

class ModelAdapter;

// The application's running of the project's cues: the Show menu (GO, Back,
// Record, Update and Delete Cue, Blackout), the timer that runs follows and
// schedules, and what every canvas view and output window draws the fade and
// the blackout with (one show clock: steady_clock, the renderers' own).
//
// Interface thread only. One per application (active() finds it for the
// views); borrows the adapter's model.
class ShowCues : public QObject {
    Q_OBJECT

public:
    explicit ShowCues(ModelAdapter& adapter, QObject* parent = nullptr);
    ~ShowCues() override;

    static ShowCues* active();

    CueRunner& runner() { return runner_; }
    const CueRunner& runner() const { return runner_; }
    // What live inputs (DMX) make of the surfaces and outputs, drawn by every
    // view over the project; liveChanged() after changing it.
    LiveLayer& live() { return live_; }
    const LiveLayer& live() const { return live_; }
    void liveChanged() { emit changed(); }
    // The show's videos (starts, lengths), shared by the runner.
    CueVideos* videos() const { return videos_.get(); }
    // The incoming timecode as the Cues panel shows it ("01:00:05:12 at 25
    // fps"); empty when the show chases none.
    void setIncomingTimecode(std::function<QString()> text) { incomingTimecode_ = std::move(text); }
    QString incomingTimecode() const { return incomingTimecode_ ? incomingTimecode_() : QString(); }
    // Starts the show: at the cue selected (number from 1, name or id), else
    // as CueRunner::start. False when the selector names no cue.
    bool start(std::optional<std::string_view> selector);
    // Whether a fade or the blackout is still changing the picture at now.
    bool animating(double now) const;

    void toggleBlackout();
    void buildMenu(QMenuBar* menuBar) const;
    // GO, Back and Blackout on their keys in window: a shortcut works only
    // while a widget that holds its action is visible, and in a show the
    // editor (whose menus hold them) is hidden.
    void addShortcutsTo(QWidget& window) const;

signals:
    // The live cue, a fade or the blackout changed: views draw again.
    void changed();

private:
    ModelAdapter& adapter_;
    SteadyShowClock showClock_;
    SystemWallClock wallClock_;
    CueRunner runner_;
    std::shared_ptr<CueVideos> videos_;
    LiveLayer live_;
    std::function<QString()> incomingTimecode_;
    QTimer ticker_;
    QAction* go_;
    QAction* back_;
    QAction* record_;
    QAction* update_;
    QAction* delete_;
    QAction* blackout_;
};

} // namespace prismeta
