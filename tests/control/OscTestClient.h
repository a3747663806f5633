#pragma once

#include "control/OscMessage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace prismeta::test {

// A real OSC client on the loopback address, made with liblo: it sends from
// its own UDP port (a free one) and receives what is sent back to that port.
// One thread.
class OscTestClient {
public:
    OscTestClient();
    ~OscTestClient();
    OscTestClient(const OscTestClient&) = delete;
    OscTestClient& operator=(const OscTestClient&) = delete;

    std::uint16_t port() const;

    // One message to 127.0.0.1:serverPort, from this client's port.
    void send(std::uint16_t serverPort, const std::string& address,
              const OscArguments& arguments = {});
    // Bytes as one UDP datagram, from a socket of their own.
    static void sendRaw(std::uint16_t serverPort, const std::string& bytes);
    // The packet liblo makes of a message (for the raw sends and the seeds).
    static std::string encode(const std::string& address, const OscArguments& arguments);

    // Receives until `done` says the messages so far suffice, or `patience`
    // passes; returns everything received.
    std::vector<OscOutgoing>
    receive(const std::function<bool(const std::vector<OscOutgoing>&)>& done,
            std::chrono::milliseconds patience = std::chrono::seconds(10));
    // Whatever arrives within `wait`.
    std::vector<OscOutgoing> receiveFor(std::chrono::milliseconds wait);
    void clear() { received_.clear(); }

private:
    void* server_ = nullptr; // lo_server
    std::vector<OscOutgoing> received_;
};

} // namespace prismeta::test
