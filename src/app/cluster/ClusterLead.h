#pragma once

#include "cluster/BrokerAuth.h"
#include "cluster/ClusterLeader.h"
#include "cluster/ClusterTopics.h"
#include "cluster/MqttClient.h"
#include "cluster/RealTimeClock.h"
#include "core/ClusterSettings.h"
#include "cues/ShowState.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

class CueRunner;
class ProjectModel;

// What the command line says about the show's broker; each absent value
// comes from the project's "cluster" key (credentials never do: they come
// from the credentials file, else from the preferences).
struct ClusterLaunch {
    std::optional<std::string> broker;
    std::optional<std::string> topic;
    std::optional<std::filesystem::path> authFile;
    std::optional<BrokerCredentials> preferredCredentials;
};

// Where a launch connects: the broker with its credentials, and the show's
// topics.
struct ClusterConnection {
    MqttOptions mqtt;
    ClusterTopics topics;
};

// The connection a launch names, the project's "cluster" key filling what the
// command line leaves out. Nothing, with a log line, when the broker or topic
// is missing or malformed or the credentials file is refused; `role`
// ("leading", "following") words the line about a missing broker or topic.
std::optional<ClusterConnection> clusterConnection(const ClusterLaunch& launch,
                                                   const std::optional<ClusterSettings>& saved,
                                                   const char* role);

// `prismeta --lead`: the document's model published to the show's broker by
// a ClusterLeader, which a timer of the interface thread updates once a
// frame, so every change (editor, inspector, undo, OSC) is on the broker
// within a frame. Interface thread only; the model must outlive it.
class ClusterLead : public QObject {
public:
    explicit ClusterLead(ProjectModel& model, QObject* parent = nullptr);
    ~ClusterLead() override;

    // Starts leading. False, with a log line saying why, when the broker or
    // topic is missing or malformed or the credentials file is refused.
    bool start(const ClusterLaunch& launch);

    // The runner whose live cue, GO, fade and blackout the leader publishes
    // (each frame, when they changed); none: no cues are published.
    void setCueRunner(const CueRunner* runner) { cues_ = runner; }

    const ClusterLeader* leader() const { return leader_.get(); }
    // Called after a frame in which the nodes' statuses changed.
    void onNodesChanged(std::function<void(const NodeDirectory&)> changed) {
        nodesChanged_ = std::move(changed);
    }
    // Called after a frame in which the broker's state changed (and after
    // the first frame).
    void onBrokerChanged(std::function<void(const BrokerConnection&)> changed) {
        brokerChanged_ = std::move(changed);
    }

private:
    ProjectModel& model_;
    SystemRealTimeClock clock_;
    std::unique_ptr<ClusterLeader> leader_;
    const CueRunner* cues_ = nullptr;
    ShowState cueState_;
    static constexpr int videoPollFrames = 15;
    int framesSinceVideos_ = 0;
    QTimer frame_;
    std::function<void(const NodeDirectory&)> nodesChanged_;
    std::uint64_t nodesRevision_ = 0;
    std::function<void(const BrokerConnection&)> brokerChanged_;
    std::uint64_t brokerRevision_ = UINT64_MAX;
};

} // namespace prismeta
