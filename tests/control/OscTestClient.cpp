#include "OscTestClient.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace prismeta::test {

namespace {

int collect(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* user) {
    auto* received = static_cast<std::vector<OscOutgoing>*>(user);
    OscOutgoing message;
    message.address = path;
    for (int i = 0; i < argc; ++i) {
        OscArgument argument;
        argument.tag = types[i];
        // Values in the packet are aligned to four bytes only: copied out.
        const auto* bytes = reinterpret_cast<const char*>(argv[i]);
        switch (types[i]) {
        case 'i': {
            std::int32_t v = 0;
            std::memcpy(&v, bytes, sizeof v);
            argument.value = std::int64_t{v};
            break;
        }
        case 'h': {
            std::int64_t v = 0;
            std::memcpy(&v, bytes, sizeof v);
            argument.value = v;
            break;
        }
        case 'f': {
            float v = 0;
            std::memcpy(&v, bytes, sizeof v);
            argument.value = static_cast<double>(v);
            break;
        }
        case 'd': {
            double v = 0;
            std::memcpy(&v, bytes, sizeof v);
            argument.value = v;
            break;
        }
        case 's':
        case 'S':
            argument.value = std::string(bytes);
            break;
        default:
            break;
        }
        message.arguments.push_back(std::move(argument));
    }
    received->push_back(std::move(message));
    return 0;
}

lo_message makeMessage(const OscArguments& arguments) {
    lo_message message = lo_message_new();
    for (const OscArgument& a : arguments) {
        switch (a.tag) {
        case 'i':
            lo_message_add_int32(message,
                                 static_cast<std::int32_t>(std::get<std::int64_t>(a.value)));
            break;
        case 'h':
            lo_message_add_int64(message, std::get<std::int64_t>(a.value));
            break;
        case 'f':
            lo_message_add_float(message, static_cast<float>(std::get<double>(a.value)));
            break;
        case 'd':
            lo_message_add_double(message, std::get<double>(a.value));
            break;
        case 's':
            lo_message_add_string(message, std::get<std::string>(a.value).c_str());
            break;
        case 'S':
            lo_message_add_symbol(message, std::get<std::string>(a.value).c_str());
            break;
        case 'T':
            lo_message_add_true(message);
            break;
        case 'F':
            lo_message_add_false(message);
            break;
        case 'N':
            lo_message_add_nil(message);
            break;
        case 'c':
            lo_message_add_char(message, 'x');
            break;
        case 'b': {
            const char bytes[3] = {1, 2, 3};
            lo_blob blob = lo_blob_new(3, bytes);
            lo_message_add_blob(message, blob);
            lo_blob_free(blob);
            break;
        }
        default:
            throw std::invalid_argument("OscTestClient: unsupported tag");
        }
    }
    return message;
}

} // namespace

OscTestClient::OscTestClient() {
    server_ = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    if (server_ == nullptr) {
        throw std::runtime_error("OscTestClient: no UDP port");
    }
    lo_server_add_method(server_, nullptr, nullptr, &collect, &received_);
}

OscTestClient::~OscTestClient() {
    lo_server_free(server_);
}

std::uint16_t OscTestClient::port() const {
    return static_cast<std::uint16_t>(lo_server_get_port(server_));
}

void OscTestClient::send(std::uint16_t serverPort, const std::string& address,
                         const OscArguments& arguments) {
    const std::string port = std::to_string(serverPort);
    lo_address to = lo_address_new("127.0.0.1", port.c_str());
    lo_message message = makeMessage(arguments);
    lo_send_message_from(to, server_, address.c_str(), message);
    lo_message_free(message);
    lo_address_free(to);
}

std::string OscTestClient::encode(const std::string& address, const OscArguments& arguments) {
    lo_message message = makeMessage(arguments);
    std::size_t size = 0;
    void* bytes = lo_message_serialise(message, address.c_str(), nullptr, &size);
    std::string packet(static_cast<const char*>(bytes), size);
    std::free(bytes);
    lo_message_free(message);
    return packet;
}

void OscTestClient::sendRaw(std::uint16_t serverPort, const std::string& bytes) {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(serverPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(s);
}

std::vector<OscOutgoing>
OscTestClient::receive(const std::function<bool(const std::vector<OscOutgoing>&)>& done,
                       std::chrono::milliseconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!done(received_) && std::chrono::steady_clock::now() < until) {
        lo_server_recv_noblock(server_, 20);
    }
    return received_;
}

std::vector<OscOutgoing> OscTestClient::receiveFor(std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        lo_server_recv_noblock(server_, 10);
    }
    return received_;
}

} // namespace prismeta::test
