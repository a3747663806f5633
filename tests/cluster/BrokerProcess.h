#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace prismeta::testing {

// A real mosquitto broker on a free loopback port, started for a test and
// stopped (SIGTERM, then waited for) when the object goes. restart() keeps
// the port, as a broker coming back after a crash would.
class BrokerProcess {
public:
    // configLines: extra lines for the broker's configuration (password_file...).
    explicit BrokerProcess(std::vector<std::string> configLines = {});
    ~BrokerProcess();
    BrokerProcess(const BrokerProcess&) = delete;
    BrokerProcess& operator=(const BrokerProcess&) = delete;

    int port() const { return port_; }
    bool running() const { return pid_ > 0; }
    const std::filesystem::path& folder() const { return folder_; }
    void stop();
    // Starts it again on the same port; false when it did not come up.
    bool restart();

private:
    bool launch();

    std::filesystem::path folder_;
    std::vector<std::string> configLines_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// A free TCP port on 127.0.0.1 (bound and released: free for a moment).
int freeLoopbackPort();

// A process started from argv, killed with SIGKILL and reaped when the object goes.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool running() const { return pid_ > 0; }
    void kill(int signal);
    // Waits for it to end; its exit status, or -1.
    int wait();

private:
    pid_t pid_ = -1;
};

} // namespace prismeta::testing
