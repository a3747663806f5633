#include "TestSenders.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace prismeta::test {

TestDesk::TestDesk() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
    const unsigned char on = 1;
    ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
}

TestDesk::~TestDesk() {
    ::close(fd_);
}

void TestDesk::sendTo(std::uint16_t port, std::span<const std::uint8_t> packet) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

void TestDesk::multicast(std::uint32_t group, std::uint16_t port,
                         std::span<const std::uint8_t> packet) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(group);
    ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

std::optional<std::vector<std::uint8_t>> TestDesk::receive(std::chrono::milliseconds wait) {
    pollfd in{fd_, POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(wait.count())) <= 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> packet(2048);
    const ssize_t size = ::recv(fd_, packet.data(), packet.size(), 0);
    if (size < 0) {
        return std::nullopt;
    }
    packet.resize(static_cast<std::size_t>(size));
    return packet;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::uint16_t freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace prismeta::test
