// Clients that reach the server by IPv6 as well as by IPv4: a plain socket
// client of either family (as a script built on getaddrinfo would be), and
// liblo's own command-line tools.
#include "RemoteRig.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace prismeta::test {
namespace {

// A UDP socket of one family on its loopback address, sending packets and
// waiting for the answers, with no OSC library in between.
class UdpClient {
public:
    explicit UdpClient(int family) : family_(family) {
        socket_ = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }
    ~UdpClient() {
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;

    bool sendTo(const sockaddr* to, socklen_t length, const std::string& bytes) const {
        return ::sendto(socket_, bytes.data(), bytes.size(), 0, to, length) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool sendTo(const std::string& host, std::uint16_t port, const std::string& bytes) const {
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family_ == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            ::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr);
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_port = htons(port);
            ::inet_pton(AF_INET, host.c_str(), &v4->sin_addr);
            length = sizeof *v4;
        }
        return sendTo(reinterpret_cast<const sockaddr*>(&address), length, bytes);
    }

    // One datagram, or nothing within `wait` (the family it came from too).
    std::optional<std::string> receive(std::chrono::milliseconds wait, int* fromFamily = nullptr) {
        pollfd ready{socket_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(wait.count())) != 1) {
            return std::nullopt;
        }
        std::array<char, 2048> buffer{};
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const ssize_t got = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) {
            return std::nullopt;
        }
        if (fromFamily != nullptr) {
            *fromFamily = from.ss_family;
        }
        return std::string(buffer.data(), static_cast<std::size_t>(got));
    }

    bool open() const { return socket_ >= 0; }

private:
    int family_;
    int socket_ = -1;
};

// Whether the kernel's table of `file` (/proc/net/udp6) has a socket on
// `port` bound to `address` (its hex form).
bool boundIn(const char* file, std::uint16_t port, const std::string& address) {
    std::ifstream table(file);
    std::string line;
    std::getline(table, line); // header
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, "%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string local;
        fields >> slot >> local;
        if (local == address + ":" + wanted) {
            return true;
        }
    }
    return false;
}

const std::string ipv6Loopback = "00000000000000000000000001000000";
const std::string ipv6Any = "00000000000000000000000000000000";

// Sends as `send` does and carries out messages until the rig has handled
// one more; false when the send failed or nothing arrived.
template <typename Send> bool deliver(RemoteRig& rig, Send send) {
    const std::size_t before = rig.handled();
    if (!send()) {
        return false;
    }
    return rig.pumpUntil([&] { return rig.handled() > before; });
}

TEST(OscIpv6, ListensOnBothLoopbackAddressesOrBothAnyAddresses) {
    OscInbox inbox([] {});
    OscServerConfig config;
    config.port = 0;
    auto loopback = OscServer::start(config, inbox);
    ASSERT_TRUE(loopback) << loopback.error();
    if (!loopback.value()->listensOnIpv6()) {
        GTEST_SKIP() << "this system has no IPv6 loopback";
    }
    const std::uint16_t port = loopback.value()->port();
    EXPECT_TRUE(boundIn("/proc/net/udp", port, "0100007F"));
    EXPECT_TRUE(boundIn("/proc/net/udp6", port, ipv6Loopback));
    EXPECT_FALSE(boundIn("/proc/net/udp6", port, ipv6Any));

    config.allInterfaces = true;
    auto everywhere = OscServer::start(config, inbox);
    ASSERT_TRUE(everywhere) << everywhere.error();
    EXPECT_TRUE(boundIn("/proc/net/udp", everywhere.value()->port(), "00000000"));
    EXPECT_TRUE(boundIn("/proc/net/udp6", everywhere.value()->port(), ipv6Any));

    // The IPv6 address of a port asked for, taken by another program, is
    // refused: clients of "localhost" would reach that program instead.
    const int other = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int only = 1;
    ::setsockopt(other, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    sockaddr_in6 taken{};
    taken.sin6_family = AF_INET6;
    taken.sin6_addr = in6addr_loopback;
    ASSERT_EQ(::bind(other, reinterpret_cast<const sockaddr*>(&taken), sizeof taken), 0);
    socklen_t length = sizeof taken;
    ::getsockname(other, reinterpret_cast<sockaddr*>(&taken), &length);
    config.allInterfaces = false;
    config.port = ntohs(taken.sin6_port);
    auto refused = OscServer::start(config, inbox);
    ::close(other);
    if (!refused) {
        EXPECT_NE(refused.error().find("[::1]:"), std::string::npos) << refused.error();
        EXPECT_NE(refused.error().find("Address already in use"), std::string::npos);
    } // else: the IPv4 port was taken too, by chance, and that was refused first
}

TEST(OscIpv6, EveryAddressOfLocalhostReachesTheServerAndIsAnsweredOnItsFamily) {
    RemoteRig rig;
    if (!rig.server->listensOnIpv6()) {
        GTEST_SKIP() << "this system has no IPv6 loopback";
    }
    const std::string edit = OscTestClient::encode("/prismeta/surface/0/opacity", {f(0.25f)});
    const std::string query = OscTestClient::encode("/prismeta/surface/0/opacity", {s("?")});
    const std::string answer = OscTestClient::encode("/prismeta/surface/0/opacity", {f(0.25f)});
    rig.model.addSurface();

    // ::1 itself, as a client that takes localhost's first address does on a
    // system that lists ::1 first.
    UdpClient six(AF_INET6);
    ASSERT_TRUE(six.open());
    ASSERT_TRUE(deliver(rig, [&] { return six.sendTo("::1", rig.port(), edit); }));
    EXPECT_DOUBLE_EQ(rig.model.surfaces()[0].opacity, 0.25);
    ASSERT_TRUE(deliver(rig, [&] { return six.sendTo("::1", rig.port(), query); }));
    int family = 0;
    EXPECT_EQ(six.receive(std::chrono::seconds(5), &family), answer);
    EXPECT_EQ(family, AF_INET6);

    // Whatever localhost resolves to here, each address is heard and answered.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(rig.port());
    ASSERT_EQ(::getaddrinfo("localhost", port.c_str(), &hints, &found), 0);
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        UdpClient client(at->ai_family);
        ASSERT_TRUE(client.open());
        ASSERT_TRUE(deliver(rig, [&] { return client.sendTo(at->ai_addr, at->ai_addrlen, query); }))
            << "family " << at->ai_family;
        EXPECT_EQ(client.receive(std::chrono::seconds(5), &family), answer);
        EXPECT_EQ(family, at->ai_family);
    }
    ::freeaddrinfo(found);
}

// A command whose standard output is read through a pipe; stopped when done.
struct Command {
    FILE* pipe = nullptr;
    long pid = 0;
    explicit Command(const std::string& line)
        : pipe(::popen(("echo $$; exec " + line).c_str(), "r")) {
        std::array<char, 32> first{};
        if (pipe != nullptr && std::fgets(first.data(), first.size(), pipe) != nullptr) {
            pid = std::strtol(first.data(), nullptr, 10);
        }
    }
    ~Command() {
        if (pipe != nullptr) {
            if (pid > 0) {
                ::kill(static_cast<pid_t>(pid), SIGTERM);
            }
            ::pclose(pipe);
        }
    }
};

// Whether anything listens on UDP `port` of any IPv4 address.
bool udpPortBound(std::uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string local;
        fields >> slot >> local;
        if (local.size() > 5 && local.substr(local.size() - 5) == wanted) {
            return true;
        }
    }
    return false;
}

std::uint16_t freeUdpPort() {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

TEST(OscIpv6, LiblosToolsSendAndWatch) {
    if (::access(PRISMETA_OSCSEND, X_OK) != 0 || ::access(PRISMETA_OSCDUMP, X_OK) != 0) {
        GTEST_SKIP() << "liblo's oscsend and oscdump are not installed";
    }
    RemoteRig rig;
    rig.model.addSurface();
    const std::string port = std::to_string(rig.port());
    const std::string oscsend = std::string(PRISMETA_OSCSEND) + " localhost " + port + " ";

    // oscdump on a port of its own, subscribed with oscsend, hears the change
    // oscsend makes.
    const std::uint16_t dumpPort = freeUdpPort();
    Command dump("timeout 20 " + std::string(PRISMETA_OSCDUMP) + " -L " + std::to_string(dumpPort));
    ASSERT_NE(dump.pipe, nullptr);
    ASSERT_GT(dump.pid, 0);
    ASSERT_TRUE(rig.pumpUntil([&] { return udpPortBound(dumpPort); })) << "oscdump never listened";
    ASSERT_TRUE(deliver(rig, [&] {
        return std::system(
                   (oscsend + "/prismeta/subscribe i " + std::to_string(dumpPort)).c_str()) == 0;
    }));
    ASSERT_EQ(rig.controller->subscribers().size(), 1u);
    ASSERT_TRUE(deliver(rig, [&] {
        return std::system((oscsend + "/prismeta/surface/0/opacity f 0.5").c_str()) == 0;
    }));
    EXPECT_DOUBLE_EQ(rig.model.surfaces()[0].opacity, 0.5);
    rig.pumpFor(std::chrono::milliseconds(100)); // the feedback goes out

    // Feedback names the surface by its id.
    const std::string feedback =
        "/prismeta/surface/" + rig.model.surfaces()[0].id.text() + "/opacity f 0.5";
    std::array<char, 512> line{};
    std::string printed;
    bool heard = false;
    while (!heard && std::fgets(line.data(), line.size(), dump.pipe) != nullptr) {
        printed += line.data();
        heard = std::string(line.data()).find(feedback) != std::string::npos;
    }
    EXPECT_TRUE(heard) << "oscdump printed: " << printed;
}

} // namespace
} // namespace prismeta::test
