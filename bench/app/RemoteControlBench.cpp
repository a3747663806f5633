// The interface thread under an OSC flood: another thread sends packets as
// fast as it can while the application's event loop carries them out in
// batches; a zero-time timer measures how long each turn of the loop takes
// (the gap between its ticks), which is what painting and input wait for.
#include "app/ModelAdapter.h"
#include "app/RemoteControl.h"
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

void BM_EventLoopTurnsUnderFlood(benchmark::State& state) {
    (void)application();
    const ScopedLogSink quiet([](std::string_view) {});
    ProjectModel model;
    std::vector<Surface> surfaces(static_cast<std::size_t>(state.range(0)));
    model.setSurfaces(std::move(surfaces));
    ModelAdapter adapter(model);
    RemoteControl remote(adapter);
    OscServerConfig config;
    config.port = 0;
    if (!remote.start(config)) {
        state.SkipWithError("no OSC server");
        return;
    }
    std::vector<double> gaps;
    std::size_t handledBefore = remote.messagesHandled();
    for (auto _ : state) {
        model.setSnapEnabled(false);
        std::atomic<bool> done{false};
        const std::string port = std::to_string(remote.port());
        std::thread desk([&] {
            lo_address to = lo_address_new("127.0.0.1", port.c_str());
            for (int k = 0; k < 20000; ++k) {
                lo_send(to, "/prismeta/surface/0/opacity", "f",
                        static_cast<float>(k % 1000) / 1e3f);
            }
            while (!done) {
                lo_send(to, "/prismeta/snap", "i", 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            lo_address_free(to);
        });
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        QEventLoop loop;
        QTimer heartbeat;
        heartbeat.setInterval(0);
        QObject::connect(&heartbeat, &QTimer::timeout, &loop, [&] {
            const qint64 now = clock.nsecsElapsed();
            gaps.push_back(static_cast<double>(now - last) / 1e6);
            last = now;
            if (model.snapEnabled()) {
                loop.quit();
            }
        });
        heartbeat.start();
        loop.exec();
        done = true;
        desk.join();
    }
    std::sort(gaps.begin(), gaps.end());
    state.counters["turns"] = static_cast<double>(gaps.size());
    if (!gaps.empty()) {
        state.counters["turn_p50_ms"] = gaps[gaps.size() / 2];
        state.counters["turn_p99_ms"] = gaps[gaps.size() * 99 / 100];
        state.counters["turn_max_ms"] = gaps.back();
    }
    state.counters["largest_batch"] = static_cast<double>(remote.largestBatch());
    state.counters["queue_high_water"] = static_cast<double>(remote.queueHighWater());
    state.SetItemsProcessed(static_cast<std::int64_t>(remote.messagesHandled() - handledBefore));
}
BENCHMARK(BM_EventLoopTurnsUnderFlood)
    ->Arg(10)
    ->Arg(1000)
    ->ArgName("surfaces")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace prismeta
