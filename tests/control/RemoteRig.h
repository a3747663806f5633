#pragma once

#include "OscTestClient.h"

#include "control/OscController.h"
#include "control/OscInbox.h"
#include "control/OscServer.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace prismeta::test {

// The whole remote-control path without the application: a model, the
// server on a free loopback port, its inbox and the controller, with the
// test's own thread playing the interface thread, and a client.
class RemoteRig {
public:
    // A log window of zero writes every line (tests that read each reason).
    explicit RemoteRig(OscInbox::Limits limits = {},
                       std::chrono::milliseconds logWindow = std::chrono::milliseconds(2000));
    ~RemoteRig();

    ProjectModel model;
    std::unique_ptr<OscInbox> inbox;
    std::unique_ptr<OscServer> server;
    std::unique_ptr<OscController> controller;
    OscTestClient client;
    std::vector<std::string> logged;

    std::uint16_t port() const { return server->port(); }
    void send(const std::string& address, const OscArguments& arguments = {}) {
        client.send(port(), address, arguments);
    }

    // Carries out what arrives (as the interface thread would) until `done`
    // holds, for at most ten seconds; false when it never did.
    bool pumpUntil(const std::function<bool()>& done);
    // Sends one message and carries out messages until that one has been
    // handled (the inbox saw it and is empty again).
    void sendAndPump(const std::string& address, const OscArguments& arguments = {});
    // Carries out whatever arrives within `wait`.
    void pumpFor(std::chrono::milliseconds wait);

    std::size_t handled() const { return handled_; }

private:
    bool pumpOnce(std::chrono::milliseconds wait);

    std::mutex mutex_;
    std::condition_variable woken_;
    bool wake_ = false;
    std::size_t handled_ = 0;
    std::unique_ptr<ScopedLogSink> sink_;
};

// Arguments, briefly.
inline OscArgument f(float v) {
    return OscArgument::float32(v);
}
inline OscArgument i(std::int32_t v) {
    return OscArgument::int32(v);
}
inline OscArgument s(std::string v) {
    return OscArgument::text(std::move(v));
}
inline OscArgument d(double v) {
    return {'d', v};
}

} // namespace prismeta::test
