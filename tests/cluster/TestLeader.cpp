// A leader in a process of its own: cluster_test_leader PORT TOPIC SURFACES.
// It makes a show of SURFACES surfaces, leads it until killed, and exits 3
// when the lead is refused.
#include "cluster/ClusterLeader.h"
#include "core/ProjectModel.h"

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace prismeta;

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    ProjectModel model;
    std::vector<Surface> surfaces(static_cast<std::size_t>(std::atoi(argv[3])));
    model.setSurfaces(std::move(surfaces));
    SystemRealTimeClock clock;
    ClusterLeader::Options options;
    options.mqtt.broker = BrokerAddress{"127.0.0.1", std::atoi(argv[1])};
    options.mqtt.keepAliveSeconds = 5;
    options.host = "child";
    ClusterLeader leader(model, clock, ClusterTopics::make(argv[2]).value(), options);
    if (!leader.start()) {
        return 2;
    }
    for (;;) {
        leader.update(std::chrono::steady_clock::now());
        if (leader.role() == ClusterLeader::Role::refused) {
            return 3;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
