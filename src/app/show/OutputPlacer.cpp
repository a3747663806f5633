#include "app/show/OutputPlacer.h"

#include "app/ModelAdapter.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/ScreenList.h"
#include "app/show/ShowMode.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "placement/ScreenMatch.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <string>

namespace prismeta {

OutputPlacer::OutputPlacer(ModelAdapter& adapter, OutputWindowRegistry& registry,
                           QWidget* mainWindow, QObject* parent)
    : QObject(parent), adapter_(adapter), mainWindow_(mainWindow) {
    follow_.setSingleShot(true);
    follow_.setInterval(0);
    connect(&follow_, &QTimer::timeout, this, &OutputPlacer::followScreens);

    // A projector switched on may bring several notifications at once:
    // windows follow once they are all in.
    auto* application = qGuiApp;
    connect(application, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        scheduleFollow();
    });
    connect(application, &QGuiApplication::screenRemoved, this, &OutputPlacer::scheduleFollow);
    connect(application, &QGuiApplication::primaryScreenChanged, this,
            &OutputPlacer::scheduleFollow);
    for (QScreen* screen : QGuiApplication::screens()) {
        watchScreen(screen);
    }

    connect(&registry, &OutputWindowRegistry::windowCreated, this, &OutputPlacer::track);
    connect(&adapter_, &ModelAdapter::changed, this, &OutputPlacer::onModelChanged);
}

void OutputPlacer::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &OutputPlacer::scheduleFollow);
    connect(screen, &QScreen::availableGeometryChanged, this, &OutputPlacer::scheduleFollow);
}

void OutputPlacer::scheduleFollow() {
    follow_.start();
}

void OutputPlacer::setShowMode(bool showMode) {
    showMode_ = showMode;
    for (Tracked& tracked : windows_) {
        if (tracked.window) {
            tracked.window->setPointerAlwaysHidden(showMode);
        }
    }
}

std::optional<OutputPlacement> OutputPlacer::placement(const OutputWindow* window) const {
    for (const Tracked& tracked : windows_) {
        if (tracked.window == window) {
            return tracked.applied;
        }
    }
    return std::nullopt;
}

OutputPlacer::Tracked* OutputPlacer::find(const OutputWindow* window) {
    for (Tracked& tracked : windows_) {
        if (tracked.window == window) {
            return &tracked;
        }
    }
    return nullptr;
}

std::optional<OutputDisplay> OutputPlacer::displayOf(const OutputWindow& window) const {
    const std::optional<Uuid>& id = window.outputID();
    if (!id) {
        return std::nullopt;
    }
    for (const OutputConfig& output : adapter_.model().outputs()) {
        if (output.id == *id) {
            return output.display;
        }
    }
    return std::nullopt;
}

OutputPlacement OutputPlacer::plan(const Tracked* self, const std::optional<OutputDisplay>& display,
                                   const ScreenList& list) const {
    PlacementRules rules;
    rules.showMode = showMode_;
    QScreen* fallback = QGuiApplication::primaryScreen();
    if (!showMode_ && mainWindow_ && mainWindow_->screen() != nullptr) {
        fallback = mainWindow_->screen();
    }
    rules.fallbackScreen = list.indexOf(fallback);
    if (!rules.fallbackScreen && !list.screens.empty()) {
        rules.fallbackScreen = 0;
    }
    // Output windows get the frame the main window has (same window
    // manager); before it is shown there is none to go by.
    if (mainWindow_ && mainWindow_->isVisible()) {
        const QRect outer = mainWindow_->frameGeometry();
        const QRect inner = mainWindow_->geometry();
        rules.frame = FrameMargins{inner.left() - outer.left(), inner.top() - outer.top(),
                                   outer.right() - inner.right(), outer.bottom() - inner.bottom()};
    }
    const std::vector<std::string> claimed = claimedScreenNames(adapter_.model().outputs());
    OutputPlacement placement = placeOutput(display, claimed, list.screens, rules);
    if (showMode_ && placement.waiting) {
        // Where the other windows are live, so that this one waits elsewhere.
        std::vector<std::optional<OutputDisplay>> others;
        for (const Tracked& tracked : windows_) {
            // A closed window (deleted later) shows nothing any more.
            if (&tracked != self && !tracked.window.isNull() && tracked.window->isVisible()) {
                others.push_back(tracked.seen);
            }
        }
        rules.liveScreens = liveScreens(others, claimed, list.screens, rules);
        placement = placeOutput(display, claimed, list.screens, rules);
    }
    return placement;
}

void OutputPlacer::apply(Tracked& tracked, const OutputPlacement& placement,
                         const ScreenList& list) {
    tracked.applied = placement;
    OutputWindow* window = tracked.window;
    if (window == nullptr || placement.mode == OutputPlacement::Mode::none) {
        return;
    }
    if (placement.mode == OutputPlacement::Mode::hidden) {
        window->hide();
    } else if (QScreen* screen = list.handles[placement.screen];
               placement.mode == OutputPlacement::Mode::fullScreen) {
        window->showFullScreenOn(screen);
    } else {
        window->showWindowedAt(screen, toQRect(placement.rect));
    }
    if (placement.mode != OutputPlacement::Mode::hidden) {
        window->raise();
    }
    if (!showMode_) {
        return;
    }
    const std::string output = showLogName(window->view()->config().name);
    const std::string on = showLogName(placement.screenName);
    if (placement.waiting) {
        const std::optional<OutputDisplay> display = displayOf(*window);
        const std::string wanted =
            display ? showLogName(display->screen) : std::string("its screen");
        logLine("Prismeta: show: output " + output + " waits for screen " + wanted +
                ", which is not connected; " +
                (placement.mode == OutputPlacement::Mode::hidden
                     ? std::string("hidden meanwhile, since every screen shows an output")
                     : "shown on " + on + " meanwhile"));
    } else if (placement.mode == OutputPlacement::Mode::fullScreen) {
        logLine("Prismeta: show: output " + output + " is full screen on " + on);
    } else {
        logLine("Prismeta: show: output " + output + " is a window on " + on);
    }
}

void OutputPlacer::track(OutputWindow* window) {
    std::erase_if(windows_, [](const Tracked& tracked) { return tracked.window.isNull(); });
    windows_.push_back(Tracked{window, displayOf(*window), {}});
    window->setPointerAlwaysHidden(showMode_);
    // A window that closes frees its screen for one that waits.
    connect(window, &OutputWindow::closed, this, [this] {
        if (showMode_) {
            scheduleFollow();
        }
    });
    connect(window, &OutputWindow::placedByUser, this,
            [this, window](QScreen* screen, bool fullScreen) {
                onPlacedByUser(window, screen, fullScreen);
            });
    const ScreenList list = ScreenList::current();
    apply(windows_.back(), plan(&windows_.back(), windows_.back().seen, list), list);
    if (showMode_) {
        followScreens(); // a window waiting where this one has just gone moves away
    }
}

void OutputPlacer::followScreens() {
    follow_.stop();
    const ScreenList list = ScreenList::current();
    for (Tracked& tracked : windows_) {
        if (tracked.window.isNull()) {
            continue;
        }
        const OutputPlacement now = plan(&tracked, tracked.seen, list);
        // Windows without a screen of their own stay where they are, except
        // in a show, where the fallback window fills its screen.
        if ((now.bound || showMode_) && needsMove(tracked.applied, now)) {
            apply(tracked, now, list);
        }
    }
}

void OutputPlacer::onModelChanged(const ModelChanges& changes) {
    if (!changes.has(ModelField::outputs)) {
        return;
    }
    // Every step of an output's slider lands here: the screens are looked at
    // only once a window's display did change.
    std::optional<ScreenList> list;
    for (Tracked& tracked : windows_) {
        if (tracked.window.isNull()) {
            continue;
        }
        std::optional<OutputDisplay> display = displayOf(*tracked.window);
        if (display == tracked.seen) {
            continue;
        }
        tracked.seen = std::move(display);
        if (!list) {
            list = ScreenList::current();
        }
        const OutputPlacement now = plan(&tracked, tracked.seen, *list);
        if (now.bound && needsMove(tracked.applied, now)) {
            apply(tracked, now, *list);
        } else {
            tracked.applied = now;
        }
    }
    if (list && showMode_) {
        followScreens(); // the windows waiting for their screens too
    }
}

void OutputPlacer::onPlacedByUser(OutputWindow* window, QScreen* screen, bool fullScreen) {
    Tracked* tracked = find(window);
    const std::optional<Uuid>& id = window->outputID();
    if (tracked == nullptr || screen == nullptr || !id) {
        return;
    }
    ProjectModel& model = adapter_.model();
    const std::vector<OutputConfig>& outputs = model.outputs();
    const auto found = std::find_if(outputs.begin(), outputs.end(),
                                    [&id](const OutputConfig& output) { return output.id == *id; });
    if (found == outputs.end()) {
        return; // a window showing the fallback: nothing to remember
    }
    const OutputDisplay display = displayOn(*screen, fullScreen);
    // Seen before the model announces it, so the window is not moved again.
    tracked->seen = display;
    tracked->applied = plan(tracked, display, ScreenList::current());
    if (found->display != display) {
        OutputConfig changed = *found;
        changed.display = display;
        model.replaceOutput(static_cast<std::size_t>(found - outputs.begin()), std::move(changed));
    }
}

} // namespace prismeta
