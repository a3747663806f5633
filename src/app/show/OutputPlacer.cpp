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

void OutputPlacer::setStandIn(bool standIn) {
    standIn_ = standIn;
    scheduleFollow();
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

bool OutputPlacer::isOpen(const Tracked& tracked) const {
    return !tracked.window.isNull() && !tracked.closed;
}

std::vector<OutputPlacement> OutputPlacer::plan(const ScreenList& list) const {
    PlacementRules rules;
    rules.showMode = showMode_;
    rules.standIn = standIn_;
    QScreen* fallback = QGuiApplication::primaryScreen();
    if (!showMode_ && mainWindow_ && mainWindow_->screen() != nullptr) {
        fallback = mainWindow_->screen();
    }
    rules.fallbackScreen = list.indexOf(fallback);
    if (!rules.fallbackScreen && !list.screens.empty()) {
        rules.fallbackScreen = 0;
    }
    // Output windows get the frame the main window has (same window
    // manager), or, while it is hidden (a show), the frame an output window
    // shown as a window has; before either is shown there is none to go by.
    const QWidget* framed = mainWindow_ && mainWindow_->isVisible() ? mainWindow_.data() : nullptr;
    for (const Tracked& tracked : windows_) {
        if (framed == nullptr && isOpen(tracked) && tracked.window->isVisible() &&
            !tracked.window->isFullScreen()) {
            framed = tracked.window;
        }
    }
    if (framed != nullptr) {
        const QRect outer = framed->frameGeometry();
        const QRect inner = framed->geometry();
        rules.frame = FrameMargins{inner.left() - outer.left(), inner.top() - outer.top(),
                                   outer.right() - inner.right(), outer.bottom() - inner.bottom()};
    }
    const std::vector<OutputConfig>& outputs = adapter_.model().outputs();
    // The open windows in the project's order; windows for no output (or
    // for one deleted) after those, in the order they opened.
    std::vector<std::size_t> open;
    std::vector<std::size_t> rank(windows_.size(), outputs.size());
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        if (!isOpen(windows_[i])) {
            continue;
        }
        open.push_back(i);
        if (const std::optional<Uuid>& id = windows_[i].window->outputID()) {
            const auto found =
                std::find_if(outputs.begin(), outputs.end(),
                             [&id](const OutputConfig& output) { return output.id == *id; });
            rank[i] = static_cast<std::size_t>(found - outputs.begin());
        }
    }
    std::stable_sort(open.begin(), open.end(),
                     [&rank](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
    std::vector<std::optional<OutputDisplay>> shown;
    shown.reserve(open.size());
    for (const std::size_t i : open) {
        shown.push_back(windows_[i].seen);
    }
    const std::vector<OutputPlacement> placed =
        placeOutputs(shown, claimedScreenNames(outputs), list.screens, rules);
    std::vector<OutputPlacement> planned(windows_.size());
    for (std::size_t k = 0; k < open.size(); ++k) {
        planned[open[k]] = placed[k];
    }
    return planned;
}

QScreen* OutputPlacer::screenWithoutOutput() const {
    QList<QScreen*> screens = QGuiApplication::screens();
    // The primary screen first.
    std::stable_partition(screens.begin(), screens.end(), [](const QScreen* screen) {
        return screen == QGuiApplication::primaryScreen();
    });
    for (QScreen* screen : screens) {
        if (!outputFills(screen)) {
            return screen;
        }
    }
    return nullptr;
}

bool OutputPlacer::outputFills(const QScreen* screen) const {
    if (screen == nullptr) {
        return false;
    }
    const Screen seen = toScreen(*screen);
    return std::any_of(windows_.begin(), windows_.end(), [this, &seen](const Tracked& tracked) {
        return isOpen(tracked) && tracked.applied.mode == OutputPlacement::Mode::fullScreen &&
               tracked.applied.screenName == seen.name && tracked.applied.area == seen.geometry;
    });
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
    const std::optional<OutputDisplay> display = displayOf(*window);
    const std::string wanted = display ? showLogName(display->screen) : std::string("its screen");
    if (placement.standIn && placement.bound) {
        logLine("Prismeta: show: this machine has no screen " + wanted + "; output " + output +
                " is full screen on " + on + " instead");
    } else if (placement.waiting) {
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
    // A window that closes frees its screen, or its place beside others,
    // for one that waits.
    connect(window, &OutputWindow::closed, this, [this, window] {
        if (Tracked* tracked = find(window)) {
            tracked->closed = true;
        }
        scheduleFollow();
    });
    connect(window, &OutputWindow::placedByUser, this,
            [this, window](QScreen* screen, bool fullScreen) {
                onPlacedByUser(window, screen, fullScreen);
            });
    const ScreenList list = ScreenList::current();
    apply(windows_.back(), plan(list).back(), list);
    // A window waiting where this one has just gone moves away, and those
    // waiting beside it make room.
    followScreens();
}

void OutputPlacer::followScreens() {
    follow_.stop();
    const ScreenList list = ScreenList::current();
    const std::vector<OutputPlacement> planned = plan(list);
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        Tracked& tracked = windows_[i];
        if (!isOpen(tracked)) {
            continue;
        }
        const OutputPlacement& now = planned[i];
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
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        Tracked& tracked = windows_[i];
        if (tracked.window.isNull()) {
            continue;
        }
        std::optional<OutputDisplay> display = displayOf(*tracked.window);
        if (display != tracked.seen) {
            tracked.seen = std::move(display);
            changed.push_back(i);
        }
    }
    if (changed.empty()) {
        return;
    }
    const ScreenList list = ScreenList::current();
    const std::vector<OutputPlacement> planned = plan(list);
    for (const std::size_t i : changed) {
        const OutputPlacement& now = planned[i];
        if (now.bound && needsMove(windows_[i].applied, now)) {
            apply(windows_[i], now, list);
        } else {
            windows_[i].applied = now;
        }
    }
    followScreens(); // the windows waiting for their screens too
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
    tracked->applied =
        plan(ScreenList::current())[static_cast<std::size_t>(tracked - windows_.data())];
    if (found->display != display) {
        OutputConfig changed = *found;
        changed.display = display;
        model.replaceOutput(static_cast<std::size_t>(found - outputs.begin()), std::move(changed));
    }
}

} // namespace prismeta
