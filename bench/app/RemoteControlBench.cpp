// The interface thread under an OSC flood: another thread sends packets as
// fast as it can while the application's event loop carries them out in
// batches; a zero-time timer measures how long each turn of the loop takes
// (the gap between its ticks), which is what painting and input wait for.
#include "app/ModelAdapter.h"
#include "app/remote/RemoteControl.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <lo/lo.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "bench_app";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// The interface thread's own processor time, which scheduling on a busy
// machine does not add to.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct TurnFigures {
    std::vector<double> wall; // ms between heartbeat ticks
    std::vector<double> cpu;  // the interface thread's processor ms between them

    void report(benchmark::State& state) {
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        state.counters["turns"] = static_cast<double>(wall.size());
        if (!wall.empty()) {
            state.counters["turn_p50_ms"] = wall[wall.size() / 2];
            state.counters["turn_p99_ms"] = wall[wall.size() * 99 / 100];
            state.counters["turn_max_ms"] = wall.back();
            state.counters["turn_cpu_p99_ms"] = cpu[cpu.size() * 99 / 100];
            state.counters["turn_cpu_max_ms"] = cpu.back();
        }
    }
};

// Runs the event loop with a zero-time heartbeat until `done`, recording
// each turn.
void runLoop(TurnFigures& figures, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double lastCpu = threadCpuMs();
    QEventLoop loop;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double cpu = threadCpuMs();
        figures.wall.push_back(static_cast<double>(now - last) / 1e6);
        figures.cpu.push_back(cpu - lastCpu);
        last = now;
        lastCpu = cpu;
        if (done()) {
            loop.quit();
        }
    });
    heartbeat.start();
    loop.exec();
}

// The same loop with no messages at all, for as long: what the machine's
// own load does to the turns.
void BM_EventLoopTurnsIdle(benchmark::State& state) {
    (void)application();
    TurnFigures figures;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        runLoop(figures, [&] { return clock.elapsed() >= 500; });
    }
    figures.report(state);
}
BENCHMARK(BM_EventLoopTurnsIdle)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EventLoopTurnsUnderFlood(benchmark::State& state) {
    (void)application();
    const ScopedLogSink quiet([](std::string_view) {});
    ProjectModel model;
    std::vector<Surface> surfaces(static_cast<std::size_t>(state.range(0)));
    const auto faders = static_cast<int>(state.range(1));
    model.setSurfaces(std::move(surfaces));
    ModelAdapter adapter(model);
    RemoteControl remote(adapter);
    OscServerConfig config;
    config.port = 0;
    if (!remote.start(config)) {
        state.SkipWithError("no OSC server");
        return;
    }
    TurnFigures figures;
    std::size_t handledBefore = remote.messagesHandled();
    for (auto _ : state) {
        model.setSnapEnabled(false);
        std::atomic<bool> done{false};
        const std::string port = std::to_string(remote.port());
        std::thread desk([&] {
            lo_address to = lo_address_new("127.0.0.1", port.c_str());
            for (int k = 0; k < 20000; ++k) {
                // Faders on `faders` surfaces in turn: with more than one, no
                // message overwrites the one before it, and each is a write.
                const std::string address =
                    "/prismeta/surface/" + std::to_string(k % faders) + "/opacity";
                lo_send(to, address.c_str(), "f", static_cast<float>(k % 1000) / 1e3f);
            }
            while (!done) {
                lo_send(to, "/prismeta/snap", "i", 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            lo_address_free(to);
        });
        runLoop(figures, [&] { return model.snapEnabled(); });
        done = true;
        desk.join();
    }
    figures.report(state);
    state.counters["largest_batch"] = static_cast<double>(remote.largestBatch());
    state.counters["queue_high_water"] = static_cast<double>(remote.queueHighWater());
    state.SetItemsProcessed(static_cast<std::int64_t>(remote.messagesHandled() - handledBefore));
}
BENCHMARK(BM_EventLoopTurnsUnderFlood)
    ->Args({10, 1})
    ->Args({1000, 1})
    ->Args({1000, 10})
    ->ArgNames({"surfaces", "faders"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace prismeta
