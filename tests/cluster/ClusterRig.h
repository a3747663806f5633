#pragma once

#include "BrokerProcess.h"

#include "cluster/ClusterFollower.h"
#include "cluster/ClusterLeader.h"
#include "cluster/RealTimeClock.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace prismeta::testing {

// Leaders and followers in one process, each with a model of its own, on a
// real broker; pump() runs their frames.
struct ClusterRig {
    static constexpr const char* topic = "shows/test";

    explicit ClusterRig(BrokerProcess& process) : broker(process) {}

    MqttOptions mqtt(int keepAlive = 5) const {
        MqttOptions options;
        options.broker = BrokerAddress{"127.0.0.1", broker.port()};
        options.keepAliveSeconds = keepAlive;
        return options;
    }

    std::unique_ptr<ClusterLeader> leader(ProjectModel& model, const RealTimeClock& clock) const {
        ClusterLeader::Options options;
        options.mqtt = mqtt();
        options.host = "test-host";
        auto made = std::make_unique<ClusterLeader>(model, clock,
                                                    ClusterTopics::make(topic).value(), options);
        if (!made->start()) {
            return nullptr;
        }
        return made;
    }

    std::unique_ptr<ClusterFollower>
    follower(ProjectModel& model, const RealTimeClock& clock, const std::string& node,
             std::chrono::milliseconds incompleteWarning = std::chrono::seconds(10)) const {
        ClusterFollower::Options options;
        options.incompleteWarning = incompleteWarning;
        options.mqtt = mqtt();
        options.node = node;
        options.clockProbeInterval = std::chrono::milliseconds(50);
        options.statusInterval = std::chrono::milliseconds(50);
        auto made = std::make_unique<ClusterFollower>(model, clock,
                                                      ClusterTopics::make(topic).value(), options);
        if (!made->start()) {
            return nullptr;
        }
        return made;
    }

    // Runs every update function every `period` until done() or the timeout;
    // whether done() came true.
    static bool pumpUntil(
        const std::vector<std::function<void(std::chrono::steady_clock::time_point)>>& updates,
        const std::function<bool()>& done,
        std::chrono::milliseconds timeout = std::chrono::milliseconds(10000),
        std::chrono::milliseconds period = std::chrono::milliseconds(2));

    BrokerProcess& broker;
};

// The log lines written while it lives.
struct LogLines {
    std::vector<std::string> lines;
    ScopedLogSink sink{[this](std::string_view line) { lines.emplace_back(line); }};
    std::size_t containing(std::string_view text) const {
        std::size_t count = 0;
        for (const std::string& line : lines) {
            count += line.find(text) != std::string::npos;
        }
        return count;
    }
};

// A leader's or follower's update, for pumpUntil.
template <class T> auto updater(T& node) {
    return [&node](std::chrono::steady_clock::time_point now) { node.update(now); };
}

// The parts of a model a follower copies.
bool sameShow(const ProjectModel& a, const ProjectModel& b);

// A model with `surfaces` surfaces (named, coloured apart) and two outputs,
// the second on node "left" with a meshed warp and a blend map.
void fillShow(ProjectModel& model, std::size_t surfaces);

} // namespace prismeta::testing
