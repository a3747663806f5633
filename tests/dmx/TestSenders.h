#pragma once

// A desk for tests: a UDP socket on the loopback address that sends Art-Net
// unicast and sACN unicast or multicast (out of the loopback interface), and
// reads what comes back (ArtPollReply).

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace prismeta::test {

class TestDesk {
public:
    TestDesk();
    ~TestDesk();
    TestDesk(const TestDesk&) = delete;
    TestDesk& operator=(const TestDesk&) = delete;

    void sendTo(std::uint16_t port, std::span<const std::uint8_t> packet);
    void multicast(std::uint32_t group, std::uint16_t port, std::span<const std::uint8_t> packet);
    // The next packet sent back to this socket, within `wait`.
    std::optional<std::vector<std::uint8_t>> receive(std::chrono::milliseconds wait);

private:
    int fd_ = -1;
};

// Waits (polling every millisecond) for the condition, up to `limit`.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(5));

// A UDP port free on the loopback address just now.
std::uint16_t freeUdpPort();

} // namespace prismeta::test
