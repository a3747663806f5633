#include "control/OscServer.h"

#include "control/OscInbox.h"
#include "control/OscSchedule.h"
#include "core/Log.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace prismeta {

namespace {

// The server whose packets the current thread is parsing: liblo reports
// unreadable packets to a handler without any context of its own.
thread_local OscServer* parsingServer = nullptr;

std::string systemError(int number) {
    return std::strerror(number);
}

template <typename T> T readValue(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

bool namesRegularFile(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return false;
    }
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Video4Linux's character devices, and only those: a live surface may show a
// camera, never a disk or a terminal.
bool namesCaptureDevice(const std::string& path) {
    constexpr unsigned videoDeviceMajor = 81;
    if (path.rfind("/dev/", 0) != 0) {
        return false;
    }
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
           major(status.st_rdev) == videoDeviceMajor;
}

std::optional<OscEndpoint> endpointOf(lo_message message) {
    const lo_address source = lo_message_get_source(message);
    if (source == nullptr) {
        return std::nullopt;
    }
    const char* host = lo_address_get_hostname(source);
    const char* port = lo_address_get_port(source);
    if (host == nullptr || port == nullptr) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long number = std::strtol(port, &end, 10);
    if (end == port || *end != '\0' || number < 1 || number > 65535) {
        return std::nullopt;
    }
    return OscEndpoint{host, static_cast<std::uint16_t>(number)};
}

// A UDP socket of `family` bound to its loopback address, or to every
// interface, at `port`; -1 with errno set when it cannot be.
int bindUdp(int family, bool anyInterface, std::uint16_t port) {
    const int own = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (own < 0) {
        return -1;
    }
    int bound = -1;
    if (family == AF_INET6) {
        // IPv4 has a socket of its own: this one takes IPv6 alone, so that
        // both can hold the same port.
        const int only = 1;
        ::setsockopt(own, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = anyInterface ? in6addr_any : in6addr_loopback;
        bound = ::bind(own, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(anyInterface ? INADDR_ANY : INADDR_LOOPBACK);
        bound = ::bind(own, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    if (bound != 0) {
        const int error = errno;
        ::close(own);
        errno = error;
        return -1;
    }
    // Room for bursts while the receiving thread catches up (the system caps
    // it at its own maximum; beyond that the system drops packets itself).
    const int receiveBuffer = OscServer::receiveBufferBytes;
    ::setsockopt(own, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    return own;
}

std::uint16_t boundPort(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

// A liblo server thread receiving from `own`, which it takes over (closed
// here in any case); `socket` is then its descriptor. liblo binds its UDP
// servers to every IPv4 interface: its socket is replaced by ours before its
// thread first looks at it. Null when it could not be made.
lo_server_thread receiverOn(int own, int& socket, lo_err_handler onError) {
    const lo_server_thread thread = lo_server_thread_new_with_proto(nullptr, LO_UDP, onError);
    if (thread == nullptr) {
        ::close(own);
        return nullptr;
    }
    const int replaced = lo_server_get_socket_fd(lo_server_thread_get_server(thread));
    if (replaced < 0 || ::dup2(own, replaced) < 0) {
        ::close(own);
        lo_server_thread_free(thread);
        return nullptr;
    }
    ::close(own);
    ::fcntl(replaced, F_SETFD, FD_CLOEXEC);
    socket = replaced;
    return thread;
}

// The address of a numeric IPv4 or IPv6 host (with its scope, "fe80::1%eth0"),
// without any name lookup; its length, or 0 when the text is neither.
socklen_t numericAddress(const OscEndpoint& to, sockaddr_storage& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(to.port);
    if (::getaddrinfo(to.host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        return 0;
    }
    socklen_t length = 0;
    if (found->ai_addrlen <= sizeof address) {
        std::memcpy(&address, found->ai_addr, found->ai_addrlen);
        length = found->ai_addrlen;
    }
    ::freeaddrinfo(found);
    return length;
}

bool addArgument(lo_message message, const OscArgument& argument) {
    const auto* integer = std::get_if<std::int64_t>(&argument.value);
    const auto* real = std::get_if<double>(&argument.value);
    const auto* text = std::get_if<std::string>(&argument.value);
    switch (argument.tag) {
    case 'i':
        return integer != nullptr && *integer >= std::numeric_limits<std::int32_t>::min() &&
               *integer <= std::numeric_limits<std::int32_t>::max() &&
               lo_message_add_int32(message, static_cast<std::int32_t>(*integer)) == 0;
    case 'h':
        return integer != nullptr && lo_message_add_int64(message, *integer) == 0;
    case 'f':
        return real != nullptr && lo_message_add_float(message, static_cast<float>(*real)) == 0;
    case 'd':
        return real != nullptr && lo_message_add_double(message, *real) == 0;
    case 's':
        return text != nullptr && lo_message_add_string(message, text->c_str()) == 0;
    case 'T':
        return lo_message_add_true(message) == 0;
    case 'F':
        return lo_message_add_false(message) == 0;
    case 'N':
        return lo_message_add_nil(message) == 0;
    default:
        return false;
    }
}

} // namespace

// liblo's callbacks, with their own signatures.
struct OscServer::Callbacks {
    static int message(const char* path, const char* types, lo_arg** argv, int argc,
                       lo_message message, void* self) {
        static_cast<OscServer*>(self)->receive(path, types, reinterpret_cast<void**>(argv), argc,
                                               message);
        return 0; // handled: no other method is tried
    }

    static void error(int, const char*, const char*) {
        if (parsingServer != nullptr) {
            parsingServer->unreadable_.fetch_add(1, std::memory_order_relaxed);
        }
    }

    static int threadStarted(lo_server_thread, void* self) {
        parsingServer = static_cast<OscServer*>(self);
        return 0;
    }
};

OscServer::OscServer(OscInbox& inbox, Listener ipv4, Listener ipv6, std::uint16_t port,
                     std::string host)
    : inbox_(inbox), ipv4_(ipv4), ipv6_(ipv6), port_(port), host_(std::move(host)) {}

OscServer::~OscServer() {
    // Each stops and joins its receiving thread, then closes its socket.
    for (const Listener& listener : {ipv4_, ipv6_}) {
        if (listener.thread != nullptr) {
            lo_server_thread_free(static_cast<lo_server_thread>(listener.thread));
        }
    }
}

Result<std::unique_ptr<OscServer>> OscServer::start(const OscServerConfig& config,
                                                    OscInbox& inbox) {
    return make(config, inbox, true);
}

Result<std::unique_ptr<OscServer>> OscServer::open(const OscServerConfig& config, OscInbox& inbox) {
    return make(config, inbox, false);
}

Result<std::unique_ptr<OscServer>> OscServer::make(const OscServerConfig& config, OscInbox& inbox,
                                                   bool startThread) {
    // A free port chosen for IPv4 may be taken on IPv6: then another is
    // chosen. A port asked for is refused at once.
    for (int attempt = 1;; ++attempt) {
        bool ipv6PortTaken = false;
        auto made = makeOnce(config, inbox, startThread, ipv6PortTaken);
        if (made || !ipv6PortTaken || config.port != 0 || attempt == 16) {
            return made;
        }
    }
}

Result<std::unique_ptr<OscServer>> OscServer::makeOnce(const OscServerConfig& config,
                                                       OscInbox& inbox, bool startThread,
                                                       bool& ipv6PortTaken) {
    using Made = Result<std::unique_ptr<OscServer>>;
    const std::string host = config.allInterfaces ? "0.0.0.0" : "127.0.0.1";
    const std::string where = host + ":" + std::to_string(config.port);

    const int own4 = bindUdp(AF_INET, config.allInterfaces, config.port);
    if (own4 < 0) {
        return Made::failure(where + ": " + systemError(errno));
    }
    const std::uint16_t port = boundPort(own4);
    Listener ipv4;
    ipv4.thread = receiverOn(own4, ipv4.socket, &Callbacks::error);
    if (ipv4.thread == nullptr) {
        return Made::failure(where + ": the OSC server could not be made");
    }

    Listener ipv6;
    const std::string where6 =
        std::string(config.allInterfaces ? "[::]" : "[::1]") + ":" + std::to_string(port);
    const int own6 = bindUdp(AF_INET6, config.allInterfaces, port);
    if (own6 < 0) {
        const int error = errno;
        if (error == EADDRINUSE || error == EACCES) {
            ipv6PortTaken = error == EADDRINUSE;
            lo_server_thread_free(static_cast<lo_server_thread>(ipv4.thread));
            return Made::failure(where6 + ": " + systemError(error));
        }
        // No IPv6 here (no ::1, or no IPv6 sockets at all): IPv4 serves.
        logLine("Prismeta: OSC listens on IPv4 only (" + where6 + ": " + systemError(error) + ")");
    } else {
        ipv6.thread = receiverOn(own6, ipv6.socket, &Callbacks::error);
        if (ipv6.thread == nullptr) {
            lo_server_thread_free(static_cast<lo_server_thread>(ipv4.thread));
            return Made::failure(where6 + ": the OSC server could not be made");
        }
    }

    std::unique_ptr<OscServer> made(new OscServer(inbox, ipv4, ipv6, port, host));
    for (Listener* listener : {&made->ipv4_, &made->ipv6_}) {
        if (listener->thread == nullptr) {
            continue;
        }
        made->prepare(*listener);
        if (startThread) {
            if (lo_server_thread_start(static_cast<lo_server_thread>(listener->thread)) < 0) {
                return Made::failure(where + ": the OSC receiving thread could not be started");
            }
            made->running_ = true;
        }
    }
    return made;
}

void OscServer::prepare(Listener& listener) {
    const auto thread = static_cast<lo_server_thread>(listener.thread);
    const lo_server server = lo_server_thread_get_server(thread);
    // Bundles are carried out on arrival: a queue of future time tags inside
    // liblo would be memory a sender could fill at will.
    lo_server_enable_queue(server, 0, 1);
    lo_server_max_msg_size(server, maxPacketBytes);
    lo_server_thread_add_method(thread, nullptr, nullptr, &Callbacks::message, this);
    lo_server_thread_set_callbacks(thread, &Callbacks::threadStarted, nullptr, this);
}

void OscServer::receive(const char* path, const char* types, void** argv, int argc, void* message) {
    auto** arguments = reinterpret_cast<lo_arg**>(argv);
    const std::string_view address = path != nullptr ? path : "";
    if (address.size() > maxAddressBytes || argc < 0 ||
        static_cast<std::size_t>(argc) > maxArguments) {
        oversize_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    OscMessage received;
    received.received = OscMessage::Clock::now();
    const lo_timetag tag = lo_message_get_timestamp(static_cast<lo_message>(message));
    received.dueMicros = oscTimeTagMicros(tag.sec, tag.frac);
    received.address = address;
    received.arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        OscArgument argument;
        argument.tag = types != nullptr ? types[i] : '\0';
        // liblo points into the packet, where values are aligned to four
        // bytes only: read them by copying, never through the union.
        const auto* value = reinterpret_cast<const unsigned char*>(arguments[i]);
        switch (argument.tag) {
        case 'i':
            argument.value = std::int64_t{readValue<std::int32_t>(value)};
            break;
        case 'h':
            argument.value = readValue<std::int64_t>(value);
            break;
        case 'f':
            argument.value = static_cast<double>(readValue<float>(value));
            break;
        case 'd':
            argument.value = readValue<double>(value);
            break;
        case 's':
        case 'S': {
            const auto* text = reinterpret_cast<const char*>(value);
            const std::size_t size = ::strnlen(text, maxTextBytes + 1);
            if (size > maxTextBytes) {
                oversize_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            argument.value = std::string(text, size);
            break;
        }
        default:
            break; // the tag alone
        }
        received.arguments.push_back(std::move(argument));
    }
    if (received.arguments.size() == 1) {
        if (const std::string* text = received.arguments.front().string()) {
            received.textNamesRegularFile = namesRegularFile(*text);
            received.textNamesCaptureDevice = namesCaptureDevice(*text);
        }
    }
    received.sender = delivering_ ? deliverFrom_ : endpointOf(static_cast<lo_message>(message));
    inbox_.push(std::move(received));
}

void OscServer::deliver(const void* data, std::size_t size,
                        const std::optional<OscEndpoint>& from) {
    if (running_) {
        return; // the receiving thread owns the parser
    }
    OscServer* const previous = std::exchange(parsingServer, this);
    delivering_ = true;
    deliverFrom_ = from;
    // liblo parses in place and may write into the buffer.
    std::string copy(static_cast<const char*>(data), size);
    if (size > static_cast<std::size_t>(maxPacketBytes)) {
        unreadable_.fetch_add(1, std::memory_order_relaxed);
    } else {
        lo_server_dispatch_data(
            lo_server_thread_get_server(static_cast<lo_server_thread>(ipv4_.thread)), copy.data(),
            copy.size());
    }
    delivering_ = false;
    deliverFrom_.reset();
    parsingServer = previous;
}

bool OscServer::send(const OscOutgoing& outgoing) {
    // Answers go back on the family the question came in on.
    sockaddr_storage destination{};
    const socklen_t length = outgoing.to.port != 0 ? numericAddress(outgoing.to, destination) : 0;
    const int socket = length == 0                         ? -1
                       : destination.ss_family == AF_INET  ? ipv4_.socket
                       : destination.ss_family == AF_INET6 ? ipv6_.socket
                                                           : -1;
    if (socket < 0) {
        return false;
    }
    const lo_message message = lo_message_new();
    if (message == nullptr) {
        return false;
    }
    bool encoded = true;
    for (const OscArgument& argument : outgoing.arguments) {
        encoded = encoded && addArgument(message, argument);
    }
    std::size_t size = 0;
    void* bytes =
        encoded ? lo_message_serialise(message, outgoing.address.c_str(), nullptr, &size) : nullptr;
    lo_message_free(message);
    if (bytes == nullptr) {
        return false;
    }
    const ssize_t sent = ::sendto(socket, bytes, size, MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&destination), length);
    std::free(bytes);
    return sent == static_cast<ssize_t>(size);
}

} // namespace prismeta
