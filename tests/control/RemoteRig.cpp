#include "RemoteRig.h"

#include <gtest/gtest.h>

namespace prismeta::test {

RemoteRig::RemoteRig(OscInbox::Limits limits, std::chrono::milliseconds logWindow) {
    sink_ = std::make_unique<ScopedLogSink>(
        [this](std::string_view line) { logged.emplace_back(line); });
    inbox = std::make_unique<OscInbox>(limits, [this] {
        const std::lock_guard lock(mutex_);
        wake_ = true;
        woken_.notify_one();
    });
    OscServerConfig config;
    config.port = 0; // a free port: several test runs may share the machine
    auto started = OscServer::start(config, *inbox);
    if (!started) {
        throw std::runtime_error("OSC server: " + started.error());
    }
    server = std::move(started.value());
    controller = std::make_unique<OscController>(
        model, [this](const OscOutgoing& message) { server->send(message); }, logWindow);
}

RemoteRig::~RemoteRig() {
    server.reset(); // stops the receiving thread before the inbox goes
}

bool RemoteRig::pumpOnce(std::chrono::milliseconds wait) {
    {
        std::unique_lock lock(mutex_);
        woken_.wait_for(lock, wait, [this] { return wake_; });
        wake_ = false;
    }
    std::vector<OscMessage> batch;
    bool more = true;
    bool any = false;
    while (more) {
        batch.clear();
        more = inbox->take(256, batch);
        const auto now = std::chrono::steady_clock::now();
        for (const OscMessage& message : batch) {
            controller->handle(message, now);
            ++handled_;
            any = true;
        }
        controller->reportUnreadable(server->takeUnreadable(), now);
        controller->reportOversize(server->takeOversize(), now);
        controller->reportDropped(inbox->takeDrops(), now);
        controller->update(now);
    }
    return any;
}

bool RemoteRig::pumpUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        pumpOnce(std::chrono::milliseconds(20));
    }
    return true;
}

void RemoteRig::sendAndPump(const std::string& address, const OscArguments& arguments) {
    const std::size_t before = handled_;
    send(address, arguments);
    EXPECT_TRUE(pumpUntil([&] { return handled_ > before; })) << address << " never arrived";
}

void RemoteRig::pumpFor(std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        pumpOnce(std::chrono::milliseconds(10));
    }
}

} // namespace prismeta::test
