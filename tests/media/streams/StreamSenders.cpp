#include "StreamSenders.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace prismeta::testing {

namespace {

using namespace std::chrono_literals;

int boundSocket(int type, int port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int portOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

pid_t spawnQuietly(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::vector<std::string> senderCommand(const SenderPicture& picture,
                                       const std::vector<std::string>& output) {
    const std::string size = std::to_string(picture.width) + "x" + std::to_string(picture.height);
    std::vector<std::string> argv = {
        "ffmpeg",       "-nostdin",
        "-hide_banner", "-loglevel",
        "quiet",        "-re",
        "-f",           "lavfi",
        "-i",           picture.pattern + ":size=" + size + ":rate=" + std::to_string(picture.fps),
        "-c:v",         "libx264",
        "-preset",      "ultrafast",
        "-tune",        "zerolatency",
        "-g",           std::to_string(picture.fps),
        "-pix_fmt",     "yuv420p"};
    argv.insert(argv.end(), output.begin(), output.end());
    return argv;
}

} // namespace

int freeUdpPort(bool pair) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = boundSocket(SOCK_DGRAM, 0);
        const int port = portOf(fd);
        if (!pair) {
            ::close(fd);
            return port;
        }
        if (port % 2 == 0 && port < 65535) {
            const int next = boundSocket(SOCK_DGRAM, port + 1);
            if (next >= 0) {
                ::close(next);
                ::close(fd);
                return port;
            }
        }
        ::close(fd);
    }
    return 0;
}

int freeTcpPort() {
    const int fd = boundSocket(SOCK_STREAM, 0);
    const int port = portOf(fd);
    ::close(fd);
    return port;
}

// StreamSender

StreamSender::StreamSender(const SenderPicture& picture, std::vector<std::string> output,
                           bool restart)
    : watcher_(&StreamSender::watch, this, senderCommand(picture, output), restart) {}

StreamSender::~StreamSender() {
    stop();
}

void StreamSender::watch(std::vector<std::string> argv, bool restart) {
    while (!stopping_) {
        pid_t pid = -1;
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            pid = pid_ = spawnQuietly(argv);
        }
        if (pid <= 0) {
            return;
        }
        starts_.fetch_add(1);
        int status = 0;
        ::waitpid(pid, &status, 0);
        {
            const std::lock_guard lock(mutex_);
            pid_ = -1;
        }
        if (!restart) {
            return;
        }
        std::this_thread::sleep_for(300ms);
    }
}

void StreamSender::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
        }
    }
    if (watcher_.joinable()) {
        watcher_.join();
    }
}

// RtpSender

RtpSender::RtpSender(const SenderPicture& picture) : port_(freeUdpPort(true)) {
    char pattern[] = "/tmp/prismeta-rtp-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    sdp_ = folder_ / "stream.sdp";
    sender_ = std::make_unique<StreamSender>(
        picture,
        std::vector<std::string>{"-f", "rtp", "-sdp_file", sdp_.string(),
                                 "rtp://127.0.0.1:" + std::to_string(port_)},
        true);
}

RtpSender::~RtpSender() {
    sender_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool RtpSender::ready() const {
    for (int i = 0; i < 200; ++i) {
        std::error_code error;
        if (std::filesystem::file_size(sdp_, error) > 0 && !error) {
            std::this_thread::sleep_for(50ms); // written whole
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// RtspRelay

RtspRelay::RtspRelay(const SenderPicture& picture) : rtp_(picture) {
    // ffmpeg sends to the pair rtp_.port(), +1: the relay listens there.
    rtpSocket_ = boundSocket(SOCK_DGRAM, rtp_.port());
    rtcpSocket_ = boundSocket(SOCK_DGRAM, rtp_.port() + 1);
    listener_ = boundSocket(SOCK_STREAM, 0);
    port_ = portOf(listener_);
    ::listen(listener_, 4);
    server_ = std::thread(&RtspRelay::serve, this);
}

RtspRelay::~RtspRelay() {
    stopping_ = true;
    server_.join();
    for (int fd : {listener_, rtpSocket_, rtcpSocket_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string RtspRelay::url() const {
    return "rtsp://127.0.0.1:" + std::to_string(port_) + "/live";
}

namespace {

std::string header(const std::string& request, const std::string& name) {
    std::istringstream lines(request);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > name.size() + 1 && line.compare(0, name.size(), name) == 0 &&
            line[name.size()] == ':') {
            std::string value = line.substr(name.size() + 1);
            while (!value.empty() && (value.front() == ' ')) {
                value.erase(value.begin());
            }
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
                value.pop_back();
            }
            return value;
        }
    }
    return {};
}

bool sendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool RtspRelay::answer(int client, const std::string& request) {
    const std::string method = request.substr(0, request.find(' '));
    std::string reply = "RTSP/1.0 200 OK\r\nCSeq: " + header(request, "CSeq") + "\r\n";
    std::string body;
    if (method == "OPTIONS") {
        reply += "Public: OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER\r\n";
    } else if (method == "DESCRIBE") {
        if (!rtp_.ready()) {
            return false;
        }
        std::ifstream in(rtp_.sdpFile());
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.rfind("SDP:", 0) == 0 || line.empty()) {
                continue;
            }
            body += line + "\r\n";
        }
        body += "a=control:streamid=0\r\n";
        reply += "Content-Base: " + url() + "/\r\nContent-Type: application/sdp\r\n";
    } else if (method == "SETUP") {
        const std::string transport = header(request, "Transport");
        const std::size_t at = transport.find("client_port=");
        if (at == std::string::npos) {
            return sendAll(client, "RTSP/1.0 461 Unsupported Transport\r\nCSeq: " +
                                       header(request, "CSeq") + "\r\n\r\n");
        }
        clientRtpPort_ = std::atoi(transport.c_str() + at + 12);
        reply += "Transport: RTP/AVP/UDP;unicast;client_port=" + std::to_string(clientRtpPort_) +
                 "-" + std::to_string(clientRtpPort_ + 1) +
                 ";server_port=" + std::to_string(rtp_.port()) + "-" +
                 std::to_string(rtp_.port() + 1) + "\r\nSession: 12345678\r\n";
    } else if (method == "PLAY") {
        reply += "Session: 12345678\r\nRange: npt=0.000-\r\n";
        playing_ = true;
        plays_.fetch_add(1);
    } else if (method == "TEARDOWN") {
        playing_ = false;
    }
    if (!body.empty()) {
        reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    reply += "\r\n" + body;
    return sendAll(client, reply);
}

void RtspRelay::serve() {
    int client = -1;
    std::string pending;
    char buffer[65536];
    while (!stopping_) {
        pollfd fds[3] = {{listener_, POLLIN, 0}, {rtpSocket_, POLLIN, 0}, {client, POLLIN, 0}};
        if (::poll(fds, client >= 0 ? 3 : 2, 50) <= 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0) {
                if (client >= 0) {
                    ::close(client);
                }
                client = accepted;
                pending.clear();
                playing_ = false;
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            const ssize_t n = ::recv(rtpSocket_, buffer, sizeof buffer, 0);
            if (n > 0 && playing_ && clientRtpPort_ > 0) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(static_cast<std::uint16_t>(clientRtpPort_));
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                ::sendto(rtpSocket_, buffer, static_cast<std::size_t>(n), 0,
                         reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
        }
        if (client >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(client);
                client = -1;
                playing_ = false;
                continue;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end = pending.find("\r\n\r\n"); end != std::string::npos;
                 end = pending.find("\r\n\r\n")) {
                const std::string request = pending.substr(0, end + 4);
                const int length = std::atoi(header(request, "Content-Length").c_str());
                if (pending.size() < end + 4 + static_cast<std::size_t>(std::max(0, length))) {
                    break;
                }
                pending.erase(0, end + 4 + static_cast<std::size_t>(std::max(0, length)));
                answer(client, request);
            }
        }
        // RTCP from ffmpeg is read and dropped.
        ::recv(rtcpSocket_, buffer, sizeof buffer, MSG_DONTWAIT);
    }
    if (client >= 0) {
        ::close(client);
    }
}

} // namespace prismeta::testing
