#pragma once

#include "control/OscMessage.h"
#include "core/Result.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

class OscInbox;

// Where the server listens. Port 0 asks the system for a free port.
struct OscServerConfig {
    static constexpr std::uint16_t defaultPort = 7700;

    std::uint16_t port = defaultPort;
    // The loopback addresses (this computer only) unless the user asks for
    // every network interface.
    bool allInterfaces = false;
};

// The OSC server: a UDP socket per address family on the chosen port, IPv4
// (127.0.0.1, or 0.0.0.0 for every interface) and IPv6 (::1, or ::) where the
// system has IPv6, since a client may reach "localhost" by either. Each is
// received by a liblo server thread of its own, which parses each packet
// (bundles included; a bundle's time tag is kept in each of its messages, for
// OscSchedule) and turns every message into
// an OscMessage for the inbox. Nothing else happens on that thread apart from
// the one check that needs the file system (whether a message's text names a
// regular file). Packets larger than maxPacketBytes, and anything liblo cannot
// parse, are counted and dropped there; messages over the argument limits
// below are counted as oversize and dropped.
//
// Replies go out of the socket of the sender's family (so they come from the
// address and port the client sent to) through send(), called from one
// thread, the interface thread.
//
// Made and destroyed on the interface thread; the destructor stops the
// receiving thread before it returns. Borrows the inbox, which must outlive it.
class OscServer {
public:
    static constexpr int maxPacketBytes = 8192;
    static constexpr std::size_t maxAddressBytes = 1024;
    static constexpr std::size_t maxArguments = 16;
    static constexpr std::size_t maxTextBytes = 4096;
    static constexpr int receiveBufferBytes = 4 << 20;

    // Binds and starts receiving; the description of why not otherwise
    // ("127.0.0.1:7700: Address already in use"). A system without IPv6 (no
    // ::1, or no IPv6 sockets) gives IPv4 alone and a log line; an IPv6
    // address of the port taken by another program is refused like an IPv4
    // one, since clients of "localhost" would reach that program instead.
    static Result<std::unique_ptr<OscServer>> start(const OscServerConfig& config, OscInbox& inbox);
    // Binds without starting the receiving thread: packets arrive only
    // through deliver() (the fuzz target drives the server this way).
    static Result<std::unique_ptr<OscServer>> open(const OscServerConfig& config, OscInbox& inbox);

    ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "127.0.0.1" or "0.0.0.0".
    const std::string& host() const { return host_; }
    // Whether the IPv6 address of the same port is listened on too.
    bool listensOnIpv6() const { return ipv6_.thread != nullptr; }

    // Sends one message from the server's socket. False when it could not be
    // encoded or sent (a full socket buffer drops it: answers are never
    // waited for).
    bool send(const OscOutgoing& message);

    // Parses one packet on the calling thread as if it had arrived from
    // `from`. Only on a server made by open().
    void deliver(const void* data, std::size_t size, const std::optional<OscEndpoint>& from);

    // Packets that could not be read as OSC, and messages over the limits,
    // since the last call. Any thread.
    std::uint64_t takeUnreadable() { return unreadable_.exchange(0); }
    std::uint64_t takeOversize() { return oversize_.exchange(0); }

private:
    struct Callbacks;
    friend struct Callbacks;

    // One family's socket and the liblo thread that receives from it.
    struct Listener {
        void* thread = nullptr; // liblo's lo_server_thread; owns the socket
        int socket = -1;
    };

    OscServer(OscInbox& inbox, Listener ipv4, Listener ipv6, std::uint16_t port, std::string host);
    static Result<std::unique_ptr<OscServer>> make(const OscServerConfig& config, OscInbox& inbox,
                                                   bool startThread);
    static Result<std::unique_ptr<OscServer>>
    makeOnce(const OscServerConfig& config, OscInbox& inbox, bool startThread, bool& ipv6PortTaken);
    void prepare(Listener& listener);

    void receive(const char* path, const char* types, void** argv, int argc, void* message);

    OscInbox& inbox_;
    Listener ipv4_;
    Listener ipv6_; // no thread where the system has no IPv6
    std::uint16_t port_ = 0;
    std::string host_;
    bool running_ = false;
    bool delivering_ = false;
    std::optional<OscEndpoint> deliverFrom_;
    std::atomic<std::uint64_t> unreadable_{0};
    std::atomic<std::uint64_t> oversize_{0};
};

} // namespace prismeta
