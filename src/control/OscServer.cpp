#include "control/OscServer.h"

#include "control/OscInbox.h"
#include "control/OscSchedule.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

OscServer::OscServer(OscInbox& inbox, void* thread, int socket, std::uint16_t port,
                     std::string host)
    : inbox_(inbox), thread_(thread), socket_(socket), port_(port), host_(std::move(host)) {}

OscServer::~OscServer() {
    // Stops and joins the receiving thread, then closes the socket.
    lo_server_thread_free(static_cast<lo_server_thread>(thread_));
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
    const std::string host = config.allInterfaces ? "0.0.0.0" : "127.0.0.1";
    const std::string where = host + ":" + std::to_string(config.port);

    // liblo binds its UDP servers to every interface. The socket is made and
    // bound here instead, on the chosen address, and put in place of liblo's
    // before its thread first looks at it.
    const int own = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (own < 0) {
        return Result<std::unique_ptr<OscServer>>::failure(where + ": " + systemError(errno));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config.port);
    address.sin_addr.s_addr = htonl(config.allInterfaces ? INADDR_ANY : INADDR_LOOPBACK);
    if (::bind(own, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(own);
        return Result<std::unique_ptr<OscServer>>::failure(where + ": " + systemError(error));
    }
    socklen_t length = sizeof address;
    ::getsockname(own, reinterpret_cast<sockaddr*>(&address), &length);
    // Room for bursts while the receiving thread catches up (the system caps
    // it at its own maximum; beyond that the system drops packets itself).
    const int receiveBuffer = receiveBufferBytes;
    ::setsockopt(own, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const auto port = static_cast<std::uint16_t>(ntohs(address.sin_port));

    const lo_server_thread thread =
        lo_server_thread_new_with_proto(nullptr, LO_UDP, &Callbacks::error);
    if (thread == nullptr) {
        ::close(own);
        return Result<std::unique_ptr<OscServer>>::failure(where +
                                                           ": the OSC server could not be made");
    }
    const lo_server server = lo_server_thread_get_server(thread);
    const int socket = lo_server_get_socket_fd(server);
    if (socket < 0 || ::dup2(own, socket) < 0) {
        const int error = errno;
        ::close(own);
        lo_server_thread_free(thread);
        return Result<std::unique_ptr<OscServer>>::failure(where + ": " + systemError(error));
    }
    ::close(own);
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);

    std::unique_ptr<OscServer> made(new OscServer(inbox, thread, socket, port, host));
    // Bundles are carried out on arrival: a queue of future time tags inside
    // liblo would be memory a sender could fill at will.
    lo_server_enable_queue(server, 0, 1);
    lo_server_max_msg_size(server, maxPacketBytes);
    lo_server_thread_add_method(thread, nullptr, nullptr, &Callbacks::message, made.get());
    lo_server_thread_set_callbacks(thread, &Callbacks::threadStarted, nullptr, made.get());
    if (startThread) {
        if (lo_server_thread_start(thread) < 0) {
            return Result<std::unique_ptr<OscServer>>::failure(
                where + ": the OSC receiving thread could not be started");
        }
        made->running_ = true;
    }
    return made;
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
        lo_server_dispatch_data(lo_server_thread_get_server(static_cast<lo_server_thread>(thread_)),
                                copy.data(), copy.size());
    }
    delivering_ = false;
    deliverFrom_.reset();
    parsingServer = previous;
}

bool OscServer::send(const OscOutgoing& outgoing) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(outgoing.to.port);
    if (outgoing.to.port == 0 ||
        ::inet_pton(AF_INET, outgoing.to.host.c_str(), &destination.sin_addr) != 1) {
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
    const ssize_t sent =
        ::sendto(socket_, bytes, size, MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    std::free(bytes);
    return sent == static_cast<ssize_t>(size);
}

} // namespace prismeta
