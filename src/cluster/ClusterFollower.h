#pragma once

#include "cluster/BrokerConnection.h"
#include "cluster/ClockOffset.h"
#include "cluster/ClusterMessages.h"
#include "cluster/ClusterTopics.h"
#include "cluster/FollowedCues.h"
#include "cluster/MqttClient.h"
#include "cluster/RealTimeClock.h"
#include "cluster/ShowComparison.h"
#include "cluster/ShowReplica.h"
#include "control/RateLimitedLog.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

class ProjectModel;

// A machine that shows part of a show it does not lead: its model follows the
// leader's retained state (ShowReplica) at every update(); it publishes its
// own status, retained, with the will {"online":false}; and it measures its
// clock against the leader's by timestamped round trips through the broker.
//
// The broker or the leader gone, the model keeps the last state; the network
// thread reconnects with back-off and the retained state catches it up.
// Until the show first arrives, waiting() says in one line what for. The
// leader's shader event triggers fire on this machine's frame for their time.
// Messages that do not make sense are ignored with a rate-limited log line.
//
// Interface thread only: construct, start, call update() once a frame.
class ClusterFollower {
public:
    using SteadyClock = std::chrono::steady_clock;

    // A shader event trigger that arrives later than this after its time
    // (on a machine joining or reconnecting) is not fired.
    static constexpr std::int64_t lateShaderEventMicros = 1'000'000;

    struct Options {
        MqttOptions mqtt;
        std::string node;
        std::chrono::milliseconds clockProbeInterval{1000};
        std::chrono::milliseconds statusInterval{1000};
        // How long the show may stay incomplete (records its order lists
        // not arrived) before one line says so: a broker that drops what it
        // cannot queue for a joining machine loses records silently.
        std::chrono::milliseconds incompleteWarning{10'000};
    };

    // The node name must pass ClusterTopics::isNodeName (checked by the caller).
    ClusterFollower(ProjectModel& model, const RealTimeClock& clock, ClusterTopics topics,
                    Options options);
    ~ClusterFollower();
    ClusterFollower(const ClusterFollower&) = delete;
    ClusterFollower& operator=(const ClusterFollower&) = delete;

    Status start();
    void update(SteadyClock::time_point now);

    // What this machine reports (frame rate, drops, missing media, its
    // screens); the
    // outputs it shows (those whose node names it) and the clock offset are
    // filled in here. Published when it changes, at most once per status
    // interval.
    void setStatus(NodeStatus status);

    // A project this machine was started with: once the leader's show has
    // arrived whole, one log line names what differs (the leader's show is
    // what this machine shows).
    void compareWith(ShowSnapshot project) { given_ = std::move(project); }

    bool connected() const { return connected_; }
    const BrokerConnection& broker() const { return broker_; }
    // Whether the leader's show has arrived (its project message) since start.
    bool showArrived() const { return showArrived_; }
    // What this machine waits for, in one line for its primary output,
    // until the leader's show first arrives; nothing from then on.
    std::optional<std::string> waiting() const;
    bool leaderPresent() const { return replica_.leader().has_value(); }
    const ShowReplica& replica() const { return replica_; }
    const ShowStateMessage& showState() const { return replica_.showState(); }
    // The leader's live cue, fade and blackout as this machine draws them.
    const FollowedCues& cues() const { return cues_; }
    // The leader's clock minus this one's, from the best recent round trip.
    std::optional<ClockSample> clockOffset() const { return clockFilter_.best(); }
    const std::string& node() const { return options_.node; }

private:
    void handle(MqttEvent& event, SteadyClock::time_point now);
    void publishStatus();
    void watchCompleteness(SteadyClock::time_point now);
    void fireShaderEvents();

    ProjectModel& model_;
    const RealTimeClock& clock_;
    ClusterTopics topics_;
    Options options_;
    std::unique_ptr<MqttClient> client_;
    ShowReplica replica_;
    FollowedCues cues_;
    std::optional<ShowSnapshot> given_;
    RateLimitedLog problems_;
    BrokerConnection broker_;
    std::vector<MqttEvent> events_;
    ClockOffsetFilter clockFilter_;
    std::string pongTopic_;

    bool connected_ = false;
    bool everConnected_ = false;
    bool leaderWasPresent_ = false;
    bool showArrived_ = false;
    // The time of the latest shader event trigger taken (show clock).
    std::int64_t lastShaderEvent_ = INT64_MIN;
    std::optional<std::int64_t> pendingPing_;
    SteadyClock::time_point nextPing_{};
    SteadyClock::time_point nextStatus_{};
    SteadyClock::time_point nextCompletenessCheck_{};
    std::optional<SteadyClock::time_point> incompleteSince_;
    bool incompleteLogged_ = false;
    NodeStatus status_;
    std::string statusText_;
    bool statusDirty_ = true;
};

} // namespace prismeta
