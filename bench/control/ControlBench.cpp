// Remote control: how many OSC messages a second reach the model, through the
// controller alone and through the whole path (a liblo client's UDP packets,
// the server's thread, the inbox, the controller on the benchmark's thread),
// and how long one packet takes from its send to the changed model.
#include "control/OscController.h"
#include "control/OscInbox.h"
#include "control/OscServer.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <benchmark/benchmark.h>
#include <lo/lo.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using Clock = std::chrono::steady_clock;

void makeSurfaces(ProjectModel& model, std::size_t count) {
    std::vector<Surface> surfaces(count);
    for (std::size_t i = 0; i < count; ++i) {
        surfaces[i].name = (i % 2 == 0 ? "wall " : "floor ") + std::to_string(i);
    }
    model.setSurfaces(std::move(surfaces));
}

OscMessage opacity(const std::string& target, float value) {
    OscMessage m;
    m.address = "/prismeta/surface/" + target + "/opacity";
    m.arguments = {OscArgument::float32(value)};
    return m;
}

// A fader on one surface, carried out by the controller: what each message
// costs on the interface thread (resolving, checking, the model's copy on
// write of the surface list, the undo burst).
void BM_ControllerFader(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    ProjectModel model;
    makeSurfaces(model, static_cast<std::size_t>(state.range(0)));
    OscController controller(model, [](const OscOutgoing&) {});
    std::vector<OscMessage> messages;
    for (int k = 0; k < 256; ++k) {
        messages.push_back(opacity("0", static_cast<float>(k) / 256.0f));
    }
    std::size_t k = 0;
    for (auto _ : state) {
        OscMessage& m = messages[k++ % messages.size()];
        m.received = Clock::now();
        controller.handle(m, m.received);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControllerFader)->Arg(1)->Arg(100)->Arg(1000)->ArgName("surfaces");

// One pattern reaching half of the surfaces ("wall*").
void BM_ControllerPattern(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    ProjectModel model;
    makeSurfaces(model, static_cast<std::size_t>(state.range(0)));
    OscController controller(model, [](const OscOutgoing&) {});
    int k = 0;
    for (auto _ : state) {
        OscMessage m = opacity("wall*", static_cast<float>(++k % 100) / 100.0f);
        m.received = Clock::now();
        controller.handle(m, m.received);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControllerPattern)->Arg(100)->Arg(1000)->ArgName("surfaces");

// The benchmark's thread plays the interface thread: it sleeps until the
// inbox wakes it, then carries out everything waiting.
class Receiver {
public:
    Receiver() {
        inbox = std::make_unique<OscInbox>([this] {
            const std::lock_guard lock(mutex_);
            woken_ = true;
            wake_.notify_one();
        });
        OscServerConfig config;
        config.port = 0;
        server = std::move(OscServer::start(config, *inbox).value());
    }
    ~Receiver() { server.reset(); }

    // Waits up to `patience` for messages, then carries them all out.
    std::size_t pump(OscController& controller, std::chrono::microseconds patience) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, patience, [this] { return woken_; });
            woken_ = false;
        }
        std::size_t count = 0;
        bool more = true;
        while (more) {
            batch_.clear();
            more = inbox->take(256, batch_);
            const Clock::time_point now = Clock::now();
            for (const OscMessage& m : batch_) {
                controller.handle(m, now);
            }
            count += batch_.size();
        }
        return count;
    }

    std::unique_ptr<OscInbox> inbox;
    std::unique_ptr<OscServer> server;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    std::vector<OscMessage> batch_;
};

class Sender {
public:
    explicit Sender(std::uint16_t port) {
        const std::string text = std::to_string(port);
        to_ = lo_address_new("127.0.0.1", text.c_str());
    }
    ~Sender() { lo_address_free(to_); }
    void send(float value) { lo_send(to_, "/prismeta/surface/0/opacity", "f", value); }

private:
    lo_address to_;
};

// The whole path at the rate it can keep up with: the client keeps at most
// `window` packets ahead of what the model has taken, so the system's socket
// buffer never overflows and every packet counts.
void BM_PacketsIntoModel(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    ProjectModel model;
    makeSurfaces(model, 100);
    Receiver receiver;
    OscController controller(model, [](const OscOutgoing&) {});
    constexpr std::size_t perIteration = 20000;
    const auto window = static_cast<std::size_t>(state.range(0));
    std::size_t handled = 0;
    for (auto _ : state) {
        std::atomic<std::size_t> taken{0};
        std::thread client([&] {
            Sender sender(receiver.server->port());
            for (std::size_t k = 0; k < perIteration; ++k) {
                while (k >= taken.load(std::memory_order_acquire) + window) {
                    std::this_thread::yield();
                }
                sender.send(static_cast<float>(k % 1000) / 1000.0f);
            }
        });
        std::size_t count = 0;
        while (count < perIteration) {
            count += receiver.pump(controller, std::chrono::milliseconds(100));
            taken.store(count, std::memory_order_release);
        }
        client.join();
        handled += count;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(handled));
}
BENCHMARK(BM_PacketsIntoModel)
    ->Arg(64)
    ->Arg(256)
    ->ArgName("window")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One packet at a time: from just before the client sends it to the model
// holding the new value, through the server's thread and a wake-up.
void BM_PacketToModelLatency(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    ProjectModel model;
    makeSurfaces(model, 100);
    Receiver receiver;
    OscController controller(model, [](const OscOutgoing&) {});
    Sender sender(receiver.server->port());
    std::vector<double> samples;
    int k = 0;
    for (auto _ : state) {
        const float value = static_cast<float>(++k % 1000) / 1000.0f + 0.0001f;
        const Clock::time_point sent = Clock::now();
        sender.send(value);
        while (model.surfaces()[0].opacity != static_cast<double>(value)) {
            receiver.pump(controller, std::chrono::milliseconds(100));
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e6);
    }
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) {
        state.counters["p50_us"] = samples[samples.size() / 2];
        state.counters["p99_us"] = samples[samples.size() * 99 / 100];
        state.counters["max_us"] = samples.back();
    }
}
BENCHMARK(BM_PacketToModelLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace prismeta
