#pragma once

#include "core/Result.h"

#include <string>
#include <string_view>

namespace prismeta {

// Where the MQTT broker listens: a host name or address and a TCP port.
struct BrokerAddress {
    static constexpr int defaultPort = 1883;

    std::string host;
    int port = defaultPort;

    friend bool operator==(const BrokerAddress&, const BrokerAddress&) = default;
};

// "host", "host:port", "[v6 address]" or "[v6 address]:port". Fails with a
// description on an empty host, a port that is not a whole number in
// 1..65535, or a bare IPv6 address (it needs brackets).
Result<BrokerAddress> parseBrokerAddress(std::string_view text);

} // namespace prismeta
