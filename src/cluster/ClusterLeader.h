#pragma once

#include "cluster/BrokerConnection.h"
#include "cluster/ClusterMessages.h"
#include "cluster/ClusterTopics.h"
#include "cluster/CueTiming.h"
#include "cluster/MqttClient.h"
#include "cluster/NodeDirectory.h"
#include "cluster/RealTimeClock.h"
#include "control/RateLimitedLog.h"
#include "core/Cue.h"
#include "core/ModelObserver.h"
#include "core/OutputConfig.h"
#include "core/Surface.h"
#include "core/SurfaceList.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace prismeta {

class ProjectModel;

// The machine that edits the show: it publishes the whole state of its model
// as retained messages (ClusterTopics.h), and every later change, whatever
// made it, at the next update(). Deleted records are cleared on the broker.
// After every (re)connection it claims the lead and publishes everything
// again, since a broker without persistence forgets retained messages when
// it restarts. Its last will clears the claim, so followers learn that it
// left and a new leader may start.
//
// A claim by another client already on the topic refuses this one: it logs
// one line, disconnects and publishes nothing. When two claim at once, the
// earlier claim (show clock, then client id) keeps the lead. Once its claim
// holds, it clears the surface, output and cue records the broker keeps
// under the topic that its show does not hold (left by an earlier run).
//
// Triggers of shader events made on this machine travel in the show
// message, at the time they fire here (the model's ShaderEvents delay).
// While the broker is lost, every node is marked unknown until its status
// comes again.
//
// Interface thread only: construct, start, call update() once a frame.
class ClusterLeader {
public:
    using SteadyClock = std::chrono::steady_clock;

    struct Options {
        MqttOptions mqtt;
        std::string host; // shown to a refused second leader
    };
    enum class Role { connecting, claiming, leading, refused };

    ClusterLeader(ProjectModel& model, const RealTimeClock& clock, ClusterTopics topics,
                  Options options);
    ~ClusterLeader();
    ClusterLeader(const ClusterLeader&) = delete;
    ClusterLeader& operator=(const ClusterLeader&) = delete;

    Status start();
    // Handles what arrived (claims, node status, clock probes) and publishes
    // what changed since the last call. Allocates nothing when nothing did.
    void update(SteadyClock::time_point now);

    // The show clock's state (video starts...), published when it changes.
    void setShowState(ShowStateMessage state);
    // The live cue, its GO and fade, and the blackout, as the cue runner
    // holds them (steady clock): published on the show clock when they
    // change, before the looks of a GO. Converted with both clocks read at
    // the call (readClocks), whenever `now` was read.
    void setCueState(const ShowState& state, SteadyClock::time_point now);

    Role role() const { return role_; }
    // Why the lead was refused; empty otherwise.
    const std::string& refusal() const { return refusal_; }
    const NodeDirectory& nodes() const { return nodes_; }
    const BrokerConnection& broker() const { return broker_; }
    // The show clock's state as last given (published at the next update).
    const ShowStateMessage& showState() const { return show_; }
    // Messages published since start (retained state, claims, answers), and
    // their bytes (topic and payload).
    std::uint64_t published() const { return published_; }
    std::uint64_t publishedBytes() const { return publishedBytes_; }

private:
    void handle(MqttEvent& event, SteadyClock::time_point now);
    void claim();
    void refuse(const LeaderClaim& other);
    void publishChanges();
    void publishShaderEvents();
    // Clears a retained record the show does not hold, while sweeping.
    void sweep(const ClusterTopics::Parsed& record, const MqttEvent& event);
    std::vector<std::string> recordPatterns() const;
    // Whether it swept the whole list (so records gone may be cleared).
    bool publishSurfaces();
    void publishOutputs();
    // Whether it swept the whole list (so cues gone may be cleared).
    bool publishCues();
    bool send(const std::string& topic, const std::string& payload, bool retain, int qos = 1);

    ProjectModel& model_;
    const RealTimeClock& clock_;
    ClusterTopics topics_;
    Options options_;
    std::unique_ptr<MqttClient> client_;
    Subscription subscription_;
    RateLimitedLog problems_;
    NodeDirectory nodes_;
    BrokerConnection broker_;
    std::vector<MqttEvent> events_;

    Role role_ = Role::connecting;
    std::string refusal_;
    LeaderClaim ours_;
    std::string probeTopic_;
    bool otherClaimSeen_ = false;
    LeaderClaim other_;
    // The sweep of records left on the broker: asked for after the first
    // publication following a claim, ended when its probe comes back.
    bool sweepPending_ = false;
    bool sweeping_ = false;
    std::size_t swept_ = 0;
    // Shader event triggers made here since the last update (steady clock).
    struct Trigger {
        Uuid surface;
        std::string input;
        double at = 0.0;
    };
    std::vector<Trigger> triggers_;

    bool surfacesDirty_ = true;
    bool outputsDirty_ = true;
    bool projectDirty_ = true;
    bool showDirty_ = true;
    bool cuesDirty_ = true;
    bool everything_ = true; // publish every record, changed or not

    // What the broker holds, as last published.
    struct PublishedSurface {
        Surface surface;
        std::uint64_t seen = 0;
    };
    struct PublishedOutput {
        OutputConfig output;
        std::uint64_t seen = 0;
    };
    std::unordered_map<Uuid, PublishedSurface> surfaces_;
    std::unordered_map<Uuid, PublishedOutput> outputs_;
    std::uint64_t surfaceSweep_ = 0;
    std::uint64_t outputSweep_ = 0;
    std::vector<Uuid> surfaceOrder_;
    SurfaceList lastSurfaces_; // the model's list at the last surface pass
    std::vector<Uuid> outputOrder_;
    // The cues the broker holds (by the sweep that last saw them) and the
    // model's list they were published from.
    std::unordered_map<Uuid, std::uint64_t> cues_;
    std::uint64_t cueSweep_ = 0;
    std::vector<Uuid> cueOrder_;
    std::shared_ptr<const std::vector<Cue>> lastCues_;
    bool wasConnected_ = false;
    ProjectStateMessage project_; // as last published
    ShowStateMessage show_;
    ShowState cueState_; // as last given
    std::string showText_;
    std::uint64_t published_ = 0;
    std::uint64_t publishedBytes_ = 0;
};

} // namespace prismeta
