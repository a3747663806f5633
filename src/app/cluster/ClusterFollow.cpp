#include "app/cluster/ClusterFollow.h"

#include "app/FrameClock.h"
#include "app/document/MissingMediaWatcher.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/ScreenList.h"
#include "cluster/BrokerAddress.h"
#include "cluster/BrokerAuth.h"
#include "cluster/ClusterTopics.h"
#include "cluster/NodeOutputs.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <set>

namespace prismeta {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

ClusterFollow::ClusterFollow(ProjectModel& model, OutputWindowRegistry& windows, CueRunner& cues,
                             const MissingMediaWatcher& missingMedia, QObject* parent)
    : QObject(parent), model_(model), windows_(windows), cues_(cues), missingMedia_(missingMedia) {
    frame_.setInterval(16);
    connect(&frame_, &QTimer::timeout, this, &ClusterFollow::frame);
    status_.setInterval(1000);
    connect(&status_, &QTimer::timeout, this, &ClusterFollow::reportStatus);
    subscription_ = model_.subscribe(
        [this](ModelField field) { outputsChanged_ |= field == ModelField::outputs; });
}

ClusterFollow::~ClusterFollow() = default;

bool ClusterFollow::start(const ClusterLaunch& launch, const std::string& node) {
    if (!ClusterTopics::isNodeName(node)) {
        logLine("Prismeta: --node takes 1 to 64 letters, digits, '-', '_' or '.'");
        return false;
    }
    std::optional<ClusterConnection> connection =
        clusterConnection(launch, model_.cluster(), "following");
    if (!connection) {
        return false;
    }
    ClusterFollower::Options options;
    options.mqtt = std::move(connection->mqtt);
    options.node = node;
    node_ = node;
    follower_ =
        std::make_unique<ClusterFollower>(model_, clock_, std::move(connection->topics), options);
    if (model_.documentURL()) {
        follower_->compareWith(ShowSnapshot::of(model_));
    }
    const Status started = follower_->start();
    if (!started) {
        logLine("Prismeta: cannot follow the show: " + started.error);
        follower_.reset();
        return false;
    }
    // Only the leader goes to cues: this machine's runner shows its state.
    cues_.adopt(ShowState(), nullptr);
    frames_ = FrameClock::shared();
    connect(frames_.get(), &FrameClock::ticked, this, [this] { meter_.frame(steadySeconds()); });
    frame_.start();
    status_.start();
    return true;
}

void ClusterFollow::frame() {
    follower_->update(std::chrono::steady_clock::now());
    const ShowStateMessage& show = follower_->showState();
    if (show.videoStarts != appliedStarts_ || show.videoMedia != appliedMedia_) {
        appliedStarts_ = show.videoStarts;
        appliedMedia_ = show.videoMedia;
        videos_.apply(show, readClocks(clock_));
    }
    const FollowedCues& followed = follower_->cues();
    if (followed.revision() != cuesRevision_) {
        cuesRevision_ = followed.revision();
        cues_.adopt(followed.state(), followed.crossfade());
    }
    bool windowsChanged = false;
    if (outputsChanged_) {
        outputsChanged_ = false;
        openOwnOutputs();
        windowsChanged = true;
    }
    // The waiting line changes with the broker's state and the show's
    // arrival only: not looked at on other frames.
    const bool arrived = follower_->showArrived();
    if (windowsChanged || arrived != arrived_ ||
        follower_->broker().revision() != brokerRevision_) {
        arrived_ = arrived;
        brokerRevision_ = follower_->broker().revision();
        waiting_ = follower_->waiting();
        showWaiting();
    }
}

void ClusterFollow::showWaiting() {
    std::vector<OutputWindow*> shown;
    for (const Uuid& id : opened_) {
        if (OutputWindow* window = windows_.window(id)) {
            shown.push_back(window);
        }
    }
    if (placeholder_) {
        if (OutputWindow* window = windows_.window(std::nullopt)) {
            shown.push_back(window);
        }
    }
    const auto primary = std::find_if(shown.begin(), shown.end(), [](OutputWindow* window) {
        return window->screen() == QGuiApplication::primaryScreen();
    });
    OutputWindow* carrier = primary != shown.end() ? *primary
                            : shown.empty()        ? nullptr
                                                   : shown.front();
    for (OutputWindow* window : shown) {
        window->setNotice(waiting_ && window == carrier ? QString::fromStdString(*waiting_)
                                                        : QString());
    }
}

void ClusterFollow::showPlaceholder(bool shown) {
    if (shown && !placeholder_) {
        windows_.open(std::nullopt);
        placeholder_ = true;
    } else if (!shown && placeholder_) {
        if (OutputWindow* window = windows_.window(std::nullopt)) {
            window->close();
        }
        placeholder_ = false;
    }
}

void ClusterFollow::openOwnOutputs() {
    const std::vector<OutputConfig>& outputs = model_.outputs();
    std::vector<Uuid> own;
    for (const std::size_t i : outputsOfNode(outputs, node_)) {
        own.push_back(outputs[i].id);
    }
    // Without an output of its own (the show not here yet, or none given to
    // this machine) the machine shows black on its primary screen, not its
    // desktop. Opened before the last output closes: Qt ends the program
    // with its last window, and a node that quits (status 0, which the
    // systemd unit does not restart) leaves the show.
    if (own.empty()) {
        showPlaceholder(true);
    }
    for (const Uuid& id : own) {
        if (std::find(opened_.begin(), opened_.end(), id) == opened_.end()) {
            windows_.open(id);
        }
    }
    // Deleted on the leader, or given to another machine: closed here, once
    // what replaces it is open.
    for (const Uuid& id : opened_) {
        if (std::find(own.begin(), own.end(), id) == own.end()) {
            if (OutputWindow* window = windows_.window(id)) {
                window->close();
            }
        }
    }
    opened_ = std::move(own);
    if (!opened_.empty()) {
        showPlaceholder(false);
    }
}

void ClusterFollow::reportStatus() {
    NodeStatus status;
    const double now = steadySeconds();
    status.framesPerSecond = meter_.framesPerSecond(now);
    status.droppedFrames = meter_.dropped(now);
    std::set<std::string> missing;
    for (const Surface& surface : model_.surfaces()) {
        if (surface.mediaPath && missingMedia_.isMissing(*surface.mediaPath)) {
            missing.insert(*surface.mediaPath);
        }
    }
    status.missingMedia.assign(missing.begin(), missing.end());
    // For the leader's Display picker: the screens an output here may name.
    for (const Screen& screen : ScreenList::current().screens) {
        status.screens.push_back(NodeScreen{screen.name, screen.geometry});
    }
    follower_->setStatus(std::move(status));
}

} // namespace prismeta
