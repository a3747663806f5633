#include "BrokerProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace prismeta::testing {

namespace {

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

pid_t spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

} // namespace

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

BrokerProcess::BrokerProcess(std::vector<std::string> configLines)
    : configLines_(std::move(configLines)) {
    char pattern[] = "/tmp/prismeta-broker-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    port_ = freeLoopbackPort();
    launch();
}

BrokerProcess::~BrokerProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool BrokerProcess::launch() {
    const std::filesystem::path config = folder_ / "mosquitto.conf";
    {
        std::ofstream out(config);
        out << "listener " << port_ << " 127.0.0.1\n";
        bool anonymousSet = false;
        for (const std::string& line : configLines_) {
            out << line << "\n";
            anonymousSet |= line.rfind("allow_anonymous", 0) == 0;
        }
        if (!anonymousSet) {
            out << "allow_anonymous true\n";
        }
        out << "log_dest none\n";
    }
    pid_ = spawn({PRISMETA_MOSQUITTO, "-c", config.string()});
    if (pid_ <= 0) {
        return false;
    }
    for (int i = 0; i < 400; ++i) {
        if (accepts(port_)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void BrokerProcess::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

bool BrokerProcess::restart() {
    stop();
    return launch();
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : pid_(spawn(argv)) {}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(SIGKILL);
        wait();
    }
}

void ChildProcess::kill(int signal) {
    if (pid_ > 0) {
        ::kill(pid_, signal);
    }
}

int ChildProcess::wait() {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace prismeta::testing
