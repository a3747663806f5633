#include "app/cluster/ClusterLead.h"

#include "cluster/BrokerAddress.h"
#include "cluster/BrokerAuth.h"
#include "cluster/ClusterTopics.h"
#include "cluster/VideoStartSync.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <unistd.h>

#include <chrono>

namespace prismeta {

ClusterLead::ClusterLead(ProjectModel& model, QObject* parent) : QObject(parent), model_(model) {
    frame_.setInterval(16);
    connect(&frame_, &QTimer::timeout, this, [this] {
        if (!leader_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        bool went = false;
        if (cues_ != nullptr && cues_->state() != cueState_) {
            cueState_ = cues_->state();
            leader_->setCueState(cueState_, now);
            went = true;
        }
        // Video starts: at once after a GO (which starts its videos), and a
        // few times a second for videos started otherwise.
        if (went || ++framesSinceVideos_ >= videoPollFrames) {
            framesSinceVideos_ = 0;
            ShowStateMessage message = leader_->showState();
            putVideoStarts(message, model_.surfaces(), readClocks(clock_));
            leader_->setShowState(std::move(message));
        }
        leader_->update(now);
        if (leader_->nodes().revision() != nodesRevision_) {
            nodesRevision_ = leader_->nodes().revision();
            if (nodesChanged_) {
                nodesChanged_(leader_->nodes());
            }
        }
        if (leader_->broker().revision() != brokerRevision_) {
            brokerRevision_ = leader_->broker().revision();
            if (brokerChanged_) {
                brokerChanged_(leader_->broker());
            }
        }
    });
}

ClusterLead::~ClusterLead() = default;

std::optional<ClusterConnection> clusterConnection(const ClusterLaunch& launch,
                                                   const std::optional<ClusterSettings>& saved,
                                                   const char* role) {
    const std::string broker = launch.broker ? *launch.broker : saved ? saved->broker : "";
    const std::string topic = launch.topic ? *launch.topic : saved ? saved->topic : "";
    if (broker.empty() || topic.empty()) {
        logLine(std::string("Prismeta: ") + role +
                " a show needs a broker and a topic (--broker and --topic, or the project's "
                "\"cluster\" key)");
        return std::nullopt;
    }
    Result<BrokerAddress> address = parseBrokerAddress(broker);
    if (!address) {
        logLine("Prismeta: " + address.error());
        return std::nullopt;
    }
    Result<ClusterTopics> topics = ClusterTopics::make(topic);
    if (!topics) {
        logLine("Prismeta: " + topics.error());
        return std::nullopt;
    }
    MqttOptions mqtt;
    mqtt.broker = address.value();
    if (launch.authFile) {
        Result<BrokerCredentials> credentials = readBrokerCredentials(*launch.authFile);
        if (!credentials) {
            logLine("Prismeta: broker credentials refused: " + credentials.error());
            return std::nullopt;
        }
        mqtt.credentials = std::move(credentials.value());
    } else if (launch.preferredCredentials) {
        mqtt.credentials = *launch.preferredCredentials;
    }
    return ClusterConnection{std::move(mqtt), std::move(topics.value())};
}

bool ClusterLead::start(const ClusterLaunch& launch) {
    std::optional<ClusterConnection> connection =
        clusterConnection(launch, model_.cluster(), "leading");
    if (!connection) {
        return false;
    }
    ClusterLeader::Options options;
    options.mqtt = std::move(connection->mqtt);
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) {
        options.host = host;
    }
    leader_ =
        std::make_unique<ClusterLeader>(model_, clock_, std::move(connection->topics), options);
    const Status started = leader_->start();
    if (!started) {
        logLine("Prismeta: cannot lead the show: " + started.error);
        leader_.reset();
        return false;
    }
    frame_.start();
    return true;
}

} // namespace prismeta
