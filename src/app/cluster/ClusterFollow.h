#pragma once

#include "app/cluster/ClusterLead.h"
#include "cluster/ClusterFollower.h"
#include "cluster/FrameRateMeter.h"
#include "cluster/RealTimeClock.h"
#include "cluster/VideoStartSync.h"
#include "core/ModelObserver.h"
#include "core/Uuid.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

class CueRunner;
class FrameClock;
class MissingMediaWatcher;
class OutputWindowRegistry;
class ProjectModel;

// `prismeta --show --node NAME`: the model follows the show's leader through
// a ClusterFollower, updated once a frame by a timer of the interface
// thread. Every output whose node is NAME has its window (full screen on its
// display as in any show, or on a screen of its own when this machine has
// no screen of that name: OutputPlacer::setStandIn) while it does: a window
// opens as soon as the output is known and closes when the leader deletes
// the output or gives it to another node. The leader's live cue, fades and
// blackout are drawn through the application's cue runner, which runs
// nothing of its own meanwhile. The node's status reports the frames drawn
// each second, the pictures dropped, the media missing here and the screens
// it has (for the leader's Display picker).
//
// While the machine has no output of its own (the show not here yet, or
// none given to it), a black window fills its primary screen. Until the
// leader's show first arrives, the primary output (the window on the primary
// screen, else the first) carries one small line saying what it waits for:
// the broker, and why it cannot be reached, or the leader.
// Interface thread only; the model, the registry, the runner and the
// watcher must outlive it.
class ClusterFollow : public QObject {
public:
    ClusterFollow(ProjectModel& model, OutputWindowRegistry& windows, CueRunner& cues,
                  const MissingMediaWatcher& missingMedia, QObject* parent = nullptr);
    ~ClusterFollow() override;

    // Starts following as `node`. False, with a log line saying why, when the
    // node name, broker or topic is missing or malformed or the credentials
    // file is refused. A project already open (given on the command line) is
    // compared with the leader's show once that has arrived.
    bool start(const ClusterLaunch& launch, const std::string& node);

private:
    void frame();
    void openOwnOutputs();
    void showWaiting();
    void showPlaceholder(bool shown);
    void reportStatus();

    ProjectModel& model_;
    OutputWindowRegistry& windows_;
    CueRunner& cues_;
    const MissingMediaWatcher& missingMedia_;
    SystemRealTimeClock clock_;
    std::unique_ptr<ClusterFollower> follower_;
    std::string node_;
    std::vector<Uuid> opened_;
    std::optional<std::string> waiting_;
    bool placeholder_ = false; // the black window while no output is its own
    bool arrived_ = false;
    std::uint64_t brokerRevision_ = UINT64_MAX;
    Subscription subscription_;
    bool outputsChanged_ = true;
    std::uint64_t cuesRevision_ = 0;
    // The leader's video starts as last handed to the playback clock.
    std::map<Uuid, std::int64_t> appliedStarts_;
    std::map<Uuid, std::string> appliedMedia_;
    FollowedVideoStarts videos_;
    std::shared_ptr<FrameClock> frames_;
    FrameRateMeter meter_;
    QTimer frame_;
    QTimer status_;
};

} // namespace prismeta
