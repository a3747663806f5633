#include "cluster/BrokerAddress.h"

#include <charconv>

namespace prismeta {

namespace {

Result<int> parsePort(std::string_view text, std::string_view whole) {
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 1 ||
        port > 65535) {
        return Result<int>::failure("broker \"" + std::string(whole) +
                                    "\": the port is not a number from 1 to 65535");
    }
    return port;
}

} // namespace

Result<BrokerAddress> parseBrokerAddress(std::string_view text) {
    BrokerAddress address;
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return Result<BrokerAddress>::failure("broker \"" + std::string(text) +
                                                  "\": the address lacks its closing bracket");
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return Result<BrokerAddress>::failure("broker \"" + std::string(text) +
                                                      "\": unexpected text after the address");
            }
            port = rest.substr(1);
            if (port.empty()) {
                return Result<BrokerAddress>::failure(
                    "broker \"" + std::string(text) +
                    "\": the port is not a number from 1 to 65535");
            }
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        if (text.find(':', colon + 1) != std::string_view::npos) {
            return Result<BrokerAddress>::failure("broker \"" + std::string(text) +
                                                  "\": an IPv6 address goes in brackets");
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) {
            return Result<BrokerAddress>::failure("broker \"" + std::string(text) +
                                                  "\": the port is not a number from 1 to 65535");
        }
    }
    if (host.empty()) {
        return Result<BrokerAddress>::failure("broker \"" + std::string(text) + "\": no host name");
    }
    address.host = std::string(host);
    if (!port.empty()) {
        const Result<int> parsed = parsePort(port, text);
        if (!parsed) {
            return Result<BrokerAddress>::failure(parsed.error());
        }
        address.port = parsed.value();
    }
    return address;
}

} // namespace prismeta
