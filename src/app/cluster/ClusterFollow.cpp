#include "app/cluster/ClusterFollow.h"

#include "app/show/OutputWindowRegistry.h"
#include "cluster/BrokerAddress.h"
#include "cluster/BrokerAuth.h"
#include "cluster/ClusterTopics.h"
#include "cluster/NodeOutputs.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <algorithm>
#include <chrono>

namespace prismeta {

ClusterFollow::ClusterFollow(ProjectModel& model, OutputWindowRegistry& windows, QObject* parent)
    : QObject(parent), model_(model), windows_(windows) {
    frame_.setInterval(16);
    connect(&frame_, &QTimer::timeout, this, &ClusterFollow::frame);
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
    const Status started = follower_->start();
    if (!started) {
        logLine("Prismeta: cannot follow the show: " + started.error);
        follower_.reset();
        return false;
    }
    frame_.start();
    return true;
}

void ClusterFollow::frame() {
    follower_->update(std::chrono::steady_clock::now());
    if (!outputsChanged_) {
        return;
    }
    outputsChanged_ = false;
    const std::vector<OutputConfig>& outputs = model_.outputs();
    for (const std::size_t i : outputsOfNode(outputs, node_)) {
        const Uuid& id = outputs[i].id;
        if (std::find(opened_.begin(), opened_.end(), id) == opened_.end()) {
            windows_.open(id);
            opened_.push_back(id);
        }
    }
}

} // namespace prismeta
