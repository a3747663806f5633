#include "cluster/ClusterFollower.h"

#include "cluster/NodeOutputs.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <algorithm>
#include <utility>

namespace prismeta {

using namespace std::chrono_literals;

namespace {

constexpr std::string_view followerIgnoredPrefix = "Prismeta: cluster ignored ";

} // namespace

ClusterFollower::ClusterFollower(ProjectModel& model, const RealTimeClock& clock,
                                 ClusterTopics topics, Options options)
    : model_(model), clock_(clock), topics_(std::move(topics)), options_(std::move(options)),
      replica_(topics_), problems_(RateLimitedLog::defaultWindow, followerIgnoredPrefix),
      broker_(options_.mqtt.broker, options_.mqtt.credentials.user, "showing the last state") {
    options_.mqtt.will = MqttWill{topics_.nodeStatus(options_.node), offlineNodeStatus(), true};
    options_.mqtt.clock = &clock_;
    client_ = std::make_unique<MqttClient>(options_.mqtt);
    pongTopic_ = topics_.clockPong(options_.node);
}

ClusterFollower::~ClusterFollower() {
    if (client_ && client_->connected()) {
        // Leaving on purpose: say so, since a clean disconnect drops the will.
        client_->publish(topics_.nodeStatus(options_.node), offlineNodeStatus(), true);
    }
}

Status ClusterFollower::start() {
    // QoS 0 on the way to followers: a broker queues at most
    // max_queued_messages (1,000 by default) QoS 1 messages for a client and
    // drops the rest, which would cut a large show's retained state short on
    // joining. TCP delivers in order while connected, and after a
    // reconnection the retained messages come again.
    client_->subscribe(topics_.leader(), 0);
    client_->subscribe(topics_.project(), 0);
    client_->subscribe(topics_.root() + "/surface/+", 0);
    client_->subscribe(topics_.root() + "/output/+", 0);
    client_->subscribe(topics_.show(), 0);
    client_->subscribe(topics_.root() + "/cue/+", 0);
    client_->subscribe(pongTopic_, 0);
    return client_->start();
}

void ClusterFollower::setStatus(NodeStatus status) {
    status.online = true;
    status.outputs = status_.outputs;
    status.clockOffsetMillis = status_.clockOffsetMillis;
    status.roundTripMillis = status_.roundTripMillis;
    if (status != status_) {
        status_ = std::move(status);
        statusDirty_ = true;
    }
}

void ClusterFollower::update(SteadyClock::time_point now) {
    client_->takeEvents(events_);
    for (MqttEvent& event : events_) {
        handle(event, now);
    }
    events_.clear();

    const MqttClient::Drops drops = client_->takeDrops();
    if (drops.oversized > 0) {
        problems_.report("oversized", "an oversized message on " + topics_.root(), now,
                         drops.oversized);
    }
    if (drops.overflow > 0) {
        // Lost state: ask the broker for all of it again.
        problems_.report("overflow", "messages: the queue from the network was full; resyncing",
                         now, drops.overflow);
        client_->resubscribe();
    }
    const SurfaceList before = model_.surfaces();
    if (replica_.pending()) {
        replica_.applyTo(model_);
        // The outputs this machine shows, by name, for its status.
        std::vector<std::string> shown;
        for (const std::size_t i : outputsOfNode(model_.outputs(), options_.node)) {
            shown.push_back(model_.outputs()[i].name);
        }
        if (shown != status_.outputs) {
            status_.outputs = std::move(shown);
            statusDirty_ = true;
        }
    }
    if (given_ && replica_.hasProject() && replica_.complete() && !replica_.pending()) {
        const std::vector<std::string> differences =
            showDifferences(*given_, ShowSnapshot::of(model_));
        if (!differences.empty()) {
            std::string line = "Prismeta: the project given differs from the leader's show: ";
            for (std::size_t i = 0; i < differences.size(); ++i) {
                line += (i == 0 ? "" : "; ") + differences[i];
            }
            logLine(line + "; showing the leader's");
        }
        given_.reset();
    }
    showArrived_ = showArrived_ || replica_.hasProject();
    cues_.update(replica_.showState(), before, model_.surfaces(), readClocks(clock_));
    fireShaderEvents();
    const bool leaderPresent = replica_.leader().has_value();
    if (leaderPresent != leaderWasPresent_) {
        logLine(leaderPresent ? "Prismeta: the show's leader is present"
                              : "Prismeta: the show's leader left; showing its last state");
        leaderWasPresent_ = leaderPresent;
    }
    if (connected_ && now >= nextPing_) {
        pendingPing_ = clock_.nowMicros();
        client_->publish(topics_.clockPing(options_.node), writeClockPing(*pendingPing_), false, 0);
        nextPing_ = now + options_.clockProbeInterval;
    }
    if (connected_ && statusDirty_ && now >= nextStatus_) {
        publishStatus();
        nextStatus_ = now + options_.statusInterval;
    }
    watchCompleteness(now);
    problems_.update(now);
}

std::optional<std::string> ClusterFollower::waiting() const {
    if (showArrived_) {
        return std::nullopt;
    }
    const std::string show = "show \"" + topics_.root() + "\"";
    if (broker_.state() != BrokerConnection::State::connected) {
        return "Waiting for " + show + " on broker " + broker_.address() +
               (broker_.reason().empty() ? std::string() : ": " + broker_.reason());
    }
    return "Waiting for the leader of " + show + " on broker " + broker_.address();
}

void ClusterFollower::fireShaderEvents() {
    const std::vector<ShowStateMessage::ShaderEvent>& events = replica_.showState().shaderEvents;
    if (events.empty() || events.back().atMicros <= lastShaderEvent_) {
        return;
    }
    const ClockReading now = readClocks(clock_);
    std::int64_t newest = lastShaderEvent_;
    for (const ShowStateMessage::ShaderEvent& event : events) {
        if (event.atMicros <= lastShaderEvent_) {
            continue;
        }
        newest = std::max(newest, event.atMicros);
        if (now.showMicros - event.atMicros <= lateShaderEventMicros) {
            model_.shaderEvents().triggerAt(event.surface, event.input,
                                            now.toSteady(event.atMicros));
        }
    }
    lastShaderEvent_ = newest;
}

void ClusterFollower::watchCompleteness(SteadyClock::time_point now) {
    // A look over every record: a few times a second, not every frame.
    if (now < nextCompletenessCheck_ || !replica_.hasProject()) {
        return;
    }
    nextCompletenessCheck_ = now + std::min(options_.incompleteWarning / 4 + 1ms, 250ms);
    const std::size_t missing = replica_.missingRecords();
    if (missing == 0) {
        if (incompleteLogged_) {
            logLine("Prismeta: the leader's show is complete");
        }
        incompleteSince_.reset();
        incompleteLogged_ = false;
        return;
    }
    if (!incompleteSince_) {
        incompleteSince_ = now;
    } else if (!incompleteLogged_ && now - *incompleteSince_ >= options_.incompleteWarning) {
        incompleteLogged_ = true;
        logLine("Prismeta: the leader's show is incomplete: " + std::to_string(missing) +
                " of its records have not arrived; a broker that limits its queue per client "
                "drops them (see max_queued_messages in docs/cluster.md)");
    }
}

void ClusterFollower::handle(MqttEvent& event, SteadyClock::time_point now) {
    switch (event.kind) {
    case MqttEvent::Kind::connected:
        broker_.handle(event, clock_.nowMicros());
        connected_ = true;
        if (!everConnected_) {
            logLine("Prismeta: following show \"" + topics_.root() + "\" as node " + options_.node);
        }
        everConnected_ = true;
        statusDirty_ = true;
        nextStatus_ = now;
        nextPing_ = now;
        clockFilter_.reset();
        return;
    case MqttEvent::Kind::disconnected:
        connected_ = false;
        broker_.handle(event, clock_.nowMicros());
        return;
    case MqttEvent::Kind::unreachable:
    case MqttEvent::Kind::refused:
        broker_.handle(event, clock_.nowMicros());
        return;
    case MqttEvent::Kind::message:
        break;
    }
    if (event.topic == pongTopic_) {
        const std::int64_t received =
            event.receivedMicros != 0 ? event.receivedMicros : clock_.nowMicros();
        Result<ClockProbe> probe = readClockProbe(event.payload, true);
        if (!probe) {
            problems_.report("clock", "a clock answer: " + probe.error(), now);
            return;
        }
        if (!pendingPing_ || probe->t1 != *pendingPing_) {
            return; // an answer to an older probe, or to a namesake
        }
        pendingPing_.reset();
        clockFilter_.add(clockSample(probe->t1, probe->t2, probe->t3, received));
        if (const auto best = clockFilter_.best()) {
            const double offset = -static_cast<double>(best->offsetMicros) / 1000.0;
            const double roundTrip = static_cast<double>(best->delayMicros) / 1000.0;
            if (status_.clockOffsetMillis != offset || status_.roundTripMillis != roundTrip) {
                status_.clockOffsetMillis = offset;
                status_.roundTripMillis = roundTrip;
                statusDirty_ = true;
            }
        }
        return;
    }
    if (auto problem = replica_.receive(event.topic, event.payload)) {
        problems_.report("message", std::move(*problem), now);
    }
}

void ClusterFollower::publishStatus() {
    statusText_ = writeNodeStatus(status_);
    client_->publish(topics_.nodeStatus(options_.node), statusText_, true);
    statusDirty_ = false;
}

} // namespace prismeta
