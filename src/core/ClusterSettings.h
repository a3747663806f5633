#pragma once

#include <string>

namespace prismeta {

// Where a show spread over several machines meets: the MQTT broker
// ("host" or "host:port") and the topic every message of the show sits
// under (the show's name). Credentials never live here: they belong to the
// machine, not to the project.
struct ClusterSettings {
    std::string broker;
    std::string topic;

    friend bool operator==(const ClusterSettings&, const ClusterSettings&) = default;
};

} // namespace prismeta
