#include "cluster/ClusterLeader.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "core/RecordText.h"

#include <tuple>
#include <utility>

namespace prismeta {

namespace {

constexpr std::string_view leaderIgnoredPrefix = "Prismeta: cluster ignored ";

std::string brokerText(const BrokerAddress& broker) {
    return broker.host + ":" + std::to_string(broker.port);
}

} // namespace

ClusterLeader::ClusterLeader(ProjectModel& model, const RealTimeClock& clock, ClusterTopics topics,
                             Options options)
    : model_(model), clock_(clock), topics_(std::move(topics)), options_(std::move(options)),
      problems_(RateLimitedLog::defaultWindow, leaderIgnoredPrefix),
      broker_(options_.mqtt.broker, options_.mqtt.credentials.user, "keeping the show") {
    options_.mqtt.will = MqttWill{topics_.leader(), std::string(), true};
    options_.mqtt.clock = &clock_;
    client_ = std::make_unique<MqttClient>(options_.mqtt);
    ours_.client = client_->clientId();
    ours_.host = options_.host;
    probeTopic_ = topics_.root() + "/probe/" + ours_.client;
    subscription_ = model_.subscribe([this](ModelField field) {
        switch (field) {
        case ModelField::surfaces:
            surfacesDirty_ = true;
            break;
        case ModelField::outputs:
            outputsDirty_ = true;
            break;
        case ModelField::cues:
            cuesDirty_ = true;
            break;
        case ModelField::canvasSize:
        case ModelField::backgroundImagePath:
        case ModelField::backgroundOpacity:
            projectDirty_ = true;
            break;
        default:
            break;
        }
    });
    model_.shaderEvents().onTrigger([this](const Uuid& surface, std::string_view input, double at) {
        triggers_.push_back(Trigger{surface, std::string(input), at});
    });
}

ClusterLeader::~ClusterLeader() {
    model_.shaderEvents().onTrigger(nullptr);
    if (role_ == Role::leading && client_->connected()) {
        // Leaving on purpose: a clean disconnect drops the will, which
        // would have cleared the claim, and a claim left behind would refuse
        // this machine's next start as a second leader.
        client_->publish(topics_.leader(), std::string(), true);
    }
}

Status ClusterLeader::start() {
    client_->subscribe(topics_.leader());
    client_->subscribe(probeTopic_);
    client_->subscribe(topics_.allNodeStatus());
    client_->subscribe(topics_.allClockPings(), 0);
    return client_->start();
}

void ClusterLeader::setShowState(ShowStateMessage state) {
    if (state != show_) {
        show_ = std::move(state);
        showDirty_ = true;
    }
}

void ClusterLeader::setCueState(const ShowState& state,
                                [[maybe_unused]] SteadyClock::time_point now) {
    if (state == cueState_) {
        return;
    }
    cueState_ = state;
    ShowStateMessage message = show_;
    putCueState(message, state, readClocks(clock_));
    setShowState(std::move(message));
}

void ClusterLeader::update(SteadyClock::time_point now) {
    if (role_ == Role::refused) {
        return;
    }
    client_->takeEvents(events_);
    for (MqttEvent& event : events_) {
        handle(event, now);
        if (role_ == Role::refused) {
            break;
        }
    }
    events_.clear();
    if (role_ == Role::refused) {
        return;
    }
    const MqttClient::Drops drops = client_->takeDrops();
    if (drops.oversized > 0) {
        problems_.report("oversized", "an oversized message on " + topics_.root(), now,
                         drops.oversized);
    }
    if (drops.overflow > 0) {
        problems_.report("overflow", "messages: the queue from the network was full", now,
                         drops.overflow);
    }
    if (role_ == Role::leading) {
        publishShaderEvents();
        publishChanges();
    }
    triggers_.clear();
    problems_.update(now);
}

void ClusterLeader::publishShaderEvents() {
    if (triggers_.empty()) {
        return;
    }
    const ClockReading clocks = readClocks(clock_);
    std::vector<ShowStateMessage::ShaderEvent>& events = show_.shaderEvents;
    for (Trigger& trigger : triggers_) {
        events.push_back({trigger.surface, std::move(trigger.input), clocks.toShow(trigger.at)});
    }
    // A follower fires each trigger newer than the last it saw; those a
    // little while old only serve one that reconnects just after them.
    const std::int64_t keepFrom =
        events.back().atMicros - ShowStateMessage::shaderEventMemoryMicros;
    std::erase_if(events, [keepFrom](const ShowStateMessage::ShaderEvent& event) {
        return event.atMicros < keepFrom;
    });
    if (events.size() > ShowStateMessage::maxShaderEvents) {
        events.erase(events.begin(),
                     events.end() - static_cast<std::ptrdiff_t>(ShowStateMessage::maxShaderEvents));
    }
    showDirty_ = true;
}

void ClusterLeader::handle(MqttEvent& event, SteadyClock::time_point now) {
    switch (event.kind) {
    case MqttEvent::Kind::connected:
        broker_.handle(event, clock_.nowMicros());
        role_ = Role::claiming;
        otherClaimSeen_ = false;
        // Retained claims on the topic arrive before this probe comes back.
        send(probeTopic_, "probe", false);
        return;
    case MqttEvent::Kind::disconnected:
        broker_.handle(event, clock_.nowMicros());
        // Nothing is known of the nodes until their statuses come again.
        nodes_.markUnknown();
        wasConnected_ = false;
        role_ = Role::connecting;
        sweeping_ = sweepPending_ = false;
        return;
    case MqttEvent::Kind::unreachable:
    case MqttEvent::Kind::refused:
        broker_.handle(event, clock_.nowMicros());
        return;
    case MqttEvent::Kind::message:
        break;
    }
    if (event.topic == probeTopic_) {
        if (event.payload == "sweep") {
            if (sweeping_) {
                sweeping_ = false;
                for (const std::string& pattern : recordPatterns()) {
                    client_->unsubscribe(pattern);
                }
                if (swept_ > 0) {
                    logLine("Prismeta: cleared " + std::to_string(swept_) + " record" +
                            (swept_ == 1 ? "" : "s") + " under \"" + topics_.root() +
                            "\" that this show does not hold (left by an earlier run)");
                }
            }
            return;
        }
        if (role_ != Role::claiming) {
            return;
        }
        if (otherClaimSeen_) {
            refuse(other_);
        } else {
            claim();
        }
        return;
    }
    const std::optional<ClusterTopics::Parsed> parsed = topics_.parse(event.topic);
    if (!parsed) {
        return;
    }
    using Kind = ClusterTopics::Parsed::Kind;
    switch (parsed->kind) {
    case Kind::leader: {
        if (event.payload.empty()) {
            otherClaimSeen_ = false;
            if (role_ == Role::leading) {
                // Cleared by a will (a refused rival killed while it asked):
                // the lead is still ours.
                send(topics_.leader(), writeLeaderClaim(ours_), true);
            }
            return;
        }
        Result<LeaderClaim> claim = readLeaderClaim(event.payload);
        if (!claim) {
            problems_.report("leader", "a leader message: " + claim.error(), now);
            return;
        }
        if (claim->client == ours_.client) {
            return;
        }
        if (role_ == Role::claiming) {
            otherClaimSeen_ = true;
            other_ = std::move(claim.value());
        } else if (role_ == Role::leading) {
            if (std::tie(claim->since, claim->client) < std::tie(ours_.since, ours_.client)) {
                refuse(claim.value());
            } else {
                send(topics_.leader(), writeLeaderClaim(ours_), true);
            }
        }
        return;
    }
    case Kind::surface:
    case Kind::output:
    case Kind::cue:
        sweep(*parsed, event);
        return;
    case Kind::nodeStatus:
        if (auto problem = nodes_.receive(parsed->node, event.payload)) {
            problems_.report("status", std::move(*problem), now);
        }
        return;
    case Kind::clockPing: {
        // Stamped on arrival: the wait for this frame counts as the
        // leader's own time (t3 - t2), not as network delay.
        const std::int64_t received =
            event.receivedMicros != 0 ? event.receivedMicros : clock_.nowMicros();
        Result<ClockProbe> probe = readClockProbe(event.payload, false);
        if (!probe) {
            problems_.report("clock", "a clock probe from " + parsed->node + ": " + probe.error(),
                             now);
            return;
        }
        probe->t2 = received;
        probe->t3 = clock_.nowMicros();
        send(topics_.clockPong(parsed->node), writeClockPong(probe.value()), false, 0);
        return;
    }
    default:
        return;
    }
}

void ClusterLeader::claim() {
    if (ours_.since == 0) {
        ours_.since = clock_.nowMicros();
    }
    role_ = Role::leading;
    if (!wasConnected_) {
        logLine("Prismeta: leading show \"" + topics_.root() + "\" on broker " +
                brokerText(options_.mqtt.broker));
    }
    wasConnected_ = true;
    send(topics_.leader(), writeLeaderClaim(ours_), true);
    everything_ = true;
    sweepPending_ = true;
}

std::vector<std::string> ClusterLeader::recordPatterns() const {
    return {topics_.root() + "/surface/+", topics_.root() + "/output/+", topics_.root() + "/cue/+"};
}

void ClusterLeader::sweep(const ClusterTopics::Parsed& record, const MqttEvent& event) {
    // Only what the broker kept from before: our own records come back too.
    if (!sweeping_ || !event.retained || event.payload.empty()) {
        return;
    }
    using Kind = ClusterTopics::Parsed::Kind;
    const bool held = record.kind == Kind::surface  ? surfaces_.contains(record.id)
                      : record.kind == Kind::output ? outputs_.contains(record.id)
                                                    : cues_.contains(record.id);
    if (!held) {
        send(event.topic, std::string(), true);
        ++swept_;
    }
}

void ClusterLeader::refuse(const LeaderClaim& other) {
    role_ = Role::refused;
    refusal_ = "show \"" + topics_.root() + "\" already has a leader (client " + other.client +
               (other.host.empty() ? std::string() : " on " + other.host) + ")";
    logLine("Prismeta: " + refusal_ + "; this machine does not lead it");
    model_.shaderEvents().onTrigger(nullptr);
    triggers_.clear();
    // A clean disconnect: the broker drops our will, which would clear the
    // other leader's claim.
    client_->stop();
}

bool ClusterLeader::send(const std::string& topic, const std::string& payload, bool retain,
                         int qos) {
    const bool sent = client_->publish(topic, payload, retain, qos);
    if (sent) {
        ++published_;
        publishedBytes_ += topic.size() + payload.size();
    }
    return sent;
}

// ---------------------------------------------------------------- publishing

void ClusterLeader::publishChanges() {
    // First: a GO's looks follow it, so a follower fades to them from what
    // it showed when the GO came.
    if (showDirty_ || everything_) {
        showText_ = writeShowState(show_);
        send(topics_.show(), showText_, true);
    }
    bool surfacesSwept = false;
    const bool outputsSwept = outputsDirty_ || everything_;
    if (surfacesDirty_ || everything_) {
        surfacesSwept = publishSurfaces();
    }
    if (outputsSwept) {
        publishOutputs();
    }
    const bool cuesSwept = (cuesDirty_ || everything_) && publishCues();
    if (surfacesSwept || outputsSwept || cuesSwept || projectDirty_) {
        // (A surface pass that found the same ids in the same places changed
        // no order and swept nothing.)
        // Compared as records first: writing the order of a large show costs
        // far more than a fader step on one surface, which leaves it alone.
        const bool same = !everything_ && project_.surfaces == surfaceOrder_ &&
                          project_.outputs == outputOrder_ && project_.cues == cueOrder_ &&
                          project_.canvasWidth == model_.canvasSize().width &&
                          project_.canvasHeight == model_.canvasSize().height &&
                          project_.backgroundImagePath == model_.backgroundImagePath() &&
                          project_.backgroundOpacity == model_.backgroundOpacity();
        if (!same) {
            project_.canvasWidth = model_.canvasSize().width;
            project_.canvasHeight = model_.canvasSize().height;
            project_.backgroundImagePath = model_.backgroundImagePath();
            project_.backgroundOpacity = model_.backgroundOpacity();
            project_.surfaces = surfaceOrder_;
            project_.outputs = outputOrder_;
            project_.cues = cueOrder_;
            Result<std::string> text = writeProjectState(project_);
            if (!text) {
                logLine("Prismeta: cluster could not publish the project: " + text.error());
            } else {
                send(topics_.project(), text.value(), true);
            }
        }
    }
    // Records gone from the model are cleared once the order no longer lists them.
    for (auto it = surfaces_.begin(); surfacesSwept && it != surfaces_.end();) {
        if (it->second.seen != surfaceSweep_) {
            send(topics_.surface(it->first), std::string(), true);
            it = surfaces_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = outputs_.begin(); outputsSwept && it != outputs_.end();) {
        if (it->second.seen != outputSweep_) {
            send(topics_.output(it->first), std::string(), true);
            it = outputs_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = cues_.begin(); cuesSwept && it != cues_.end();) {
        if (it->second != cueSweep_) {
            send(topics_.cue(it->first), std::string(), true);
            it = cues_.erase(it);
        } else {
            ++it;
        }
    }
    surfacesDirty_ = outputsDirty_ = projectDirty_ = showDirty_ = cuesDirty_ = everything_ = false;
    if (sweepPending_) {
        // After the whole show went out, so what comes back retained is the
        // broker's copy of it and what an earlier run left, with no echo of
        // this publication; the probe comes back after all of it.
        sweepPending_ = false;
        sweeping_ = true;
        swept_ = 0;
        for (const std::string& pattern : recordPatterns()) {
            client_->subscribe(pattern, 0);
        }
        send(probeTopic_, "sweep", false);
    }
}

// One message per cue, as surfaces: each cue that differs from the one of
// its id in the list published last. The model's lists are immutable and
// shared, so the last one costs nothing to keep; a cue edit (rare: a GO
// changes surfaces, not cues) compares the list once.
bool ClusterLeader::publishCues() {
    const std::shared_ptr<const std::vector<Cue>> current = model_.sharedCues();
    if (!everything_ && current == lastCues_) {
        return false;
    }
    std::unordered_map<Uuid, const Cue*> before;
    if (!everything_ && lastCues_) {
        before.reserve(lastCues_->size());
        for (const Cue& cue : *lastCues_) {
            before.emplace(cue.id, &cue);
        }
    }
    ++cueSweep_;
    cueOrder_.clear();
    for (const Cue& cue : *current) {
        auto found = cues_.find(cue.id);
        if (found != cues_.end() && found->second == cueSweep_) {
            continue; // a repeated id keeps its first place
        }
        const auto was = before.find(cue.id);
        if (found == cues_.end() || was == before.end() || *was->second != cue) {
            Result<std::string> text = writeCueText(cue);
            if (!text) {
                logLine("Prismeta: cluster could not publish cue " + cue.id.text() + ": " +
                        text.error());
                continue;
            }
            send(topics_.cue(cue.id), text.value(), true);
            if (found == cues_.end()) {
                found = cues_.emplace(cue.id, 0).first;
            }
        }
        found->second = cueSweep_;
        cueOrder_.push_back(cue.id);
    }
    lastCues_ = current;
    return true;
}

// Both passes mark what the model holds with the current sweep, publish what
// differs from the broker's copy and note the order; a repeated id (only a
// hand-edited file has one) keeps its first place, as followers read it.
bool ClusterLeader::publishSurfaces() {
    const SurfaceList& current = model_.surfaces();
    if (!everything_ && current.sharesStorageWith(lastSurfaces_)) {
        return false; // assigned again, unchanged
    }
    // The common case of a show running (a fader, a colour, a media change):
    // the same ids in the same places as last time, so each surface is
    // compared with the one in its place, without looking it up.
    if (!everything_ && current.size() == lastSurfaces_.size() &&
        current.size() == surfaceOrder_.size()) {
        bool sameIds = true;
        for (std::size_t i = 0; i < current.size() && sameIds; ++i) {
            sameIds = current[i].id == surfaceOrder_[i];
        }
        if (sameIds) {
            for (std::size_t i = 0; i < current.size(); ++i) {
                const Surface& surface = current[i];
                if (surface == lastSurfaces_[i]) {
                    continue;
                }
                Result<std::string> text = writeSurfaceText(surface);
                if (!text) {
                    logLine("Prismeta: cluster could not publish surface " + surface.id.text() +
                            ": " + text.error());
                    continue;
                }
                send(topics_.surface(surface.id), text.value(), true);
                surfaces_.at(surface.id).surface = surface;
            }
            lastSurfaces_ = current;
            return false;
        }
    }
    ++surfaceSweep_;
    surfaceOrder_.clear();
    for (const Surface& surface : current) {
        auto found = surfaces_.find(surface.id);
        if (found != surfaces_.end() && found->second.seen == surfaceSweep_) {
            continue;
        }
        if (found == surfaces_.end() || everything_ || found->second.surface != surface) {
            Result<std::string> text = writeSurfaceText(surface);
            if (!text) {
                logLine("Prismeta: cluster could not publish surface " + surface.id.text() + ": " +
                        text.error());
                continue;
            }
            send(topics_.surface(surface.id), text.value(), true);
            if (found == surfaces_.end()) {
                found = surfaces_.emplace(surface.id, PublishedSurface{surface, 0}).first;
            } else {
                found->second.surface = surface;
            }
        }
        found->second.seen = surfaceSweep_;
        surfaceOrder_.push_back(surface.id);
    }
    lastSurfaces_ = current;
    return true;
}

void ClusterLeader::publishOutputs() {
    ++outputSweep_;
    outputOrder_.clear();
    for (const OutputConfig& output : model_.outputs()) {
        auto found = outputs_.find(output.id);
        if (found != outputs_.end() && found->second.seen == outputSweep_) {
            continue;
        }
        if (found == outputs_.end() || everything_ || found->second.output != output) {
            Result<std::string> text = writeOutputText(output);
            if (!text) {
                logLine("Prismeta: cluster could not publish output " + output.id.text() + ": " +
                        text.error());
                continue;
            }
            send(topics_.output(output.id), text.value(), true);
            if (found == outputs_.end()) {
                found = outputs_.emplace(output.id, PublishedOutput{output, 0}).first;
            } else {
                found->second.output = output;
            }
        }
        found->second.seen = outputSweep_;
        outputOrder_.push_back(output.id);
    }
}

} // namespace prismeta
