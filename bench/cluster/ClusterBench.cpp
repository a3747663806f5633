// A leader and followers in this process, on a mosquitto broker started on a
// free loopback port. Both sides are pumped every 50 µs, so the figures are
// the path through the broker; in the application each side looks once a
// frame, which adds up to a frame on each side.
#include "ClusterRig.h"

#include "core/Log.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using testing::BrokerProcess;
using testing::ClusterRig;
using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(
        values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())));
    return values[at];
}

void pumpUntilDone(ClusterLeader& leader, ClusterFollower& follower,
                   const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!done() && Clock::now() < end) {
        const auto now = Clock::now();
        leader.update(now);
        follower.update(now);
        // Leaves the two cores to the broker and the network threads.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// One surface's opacity changed on the leader, until the follower's model has it.
void BM_ChangeToFollowerModel(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    BrokerProcess broker;
    ClusterRig rig(broker);
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, static_cast<std::size_t>(state.range(0)));
    ProjectModel followerModel;
    auto leader = rig.leader(leaderModel, clock);
    auto follower = rig.follower(followerModel, clock, "left");
    pumpUntilDone(*leader, *follower,
                  [&] { return testing::sameShow(leaderModel, followerModel); });

    std::vector<double> micros;
    std::size_t step = 0;
    for (auto _ : state) {
        const std::size_t index = step % leaderModel.surfaces().size();
        Surface surface = leaderModel.surfaces()[index];
        surface.opacity = static_cast<double>(++step % 1000) / 1000.0;
        const auto start = Clock::now();
        leaderModel.replaceSurface(index, surface);
        pumpUntilDone(*leader, *follower,
                      [&] { return followerModel.surfaces()[index].opacity == surface.opacity; });
        const double elapsed =
            std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        micros.push_back(elapsed);
        state.SetIterationTime(elapsed / 1e6);
    }
    state.counters["median_us"] = percentile(micros, 0.5);
    state.counters["p99_us"] = percentile(micros, 0.99);
}
BENCHMARK(BM_ChangeToFollowerModel)
    ->Arg(100)
    ->Arg(10000)
    ->Iterations(500)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A follower that joins a running show of N surfaces: from its start until
// its model holds every surface and output.
void BM_FollowerJoin(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    BrokerProcess broker;
    ClusterRig rig(broker);
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, static_cast<std::size_t>(state.range(0)));
    auto leader = rig.leader(leaderModel, clock);
    {
        ProjectModel warm;
        auto first = rig.follower(warm, clock, "warm");
        pumpUntilDone(*leader, *first, [&] { return testing::sameShow(leaderModel, warm); });
    }
    for (auto _ : state) {
        ProjectModel followerModel;
        const auto start = Clock::now();
        auto follower = rig.follower(followerModel, clock, "left");
        pumpUntilDone(*leader, *follower,
                      [&] { return testing::sameShow(leaderModel, followerModel); });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!testing::sameShow(leaderModel, followerModel)) {
            std::fprintf(stderr,
                         "replica %zu surfaces, complete %d, model %zu/%zu, outputs %zu/%zu\n",
                         follower->replica().surfaceCount(), follower->replica().complete(),
                         followerModel.surfaces().size(), leaderModel.surfaces().size(),
                         followerModel.outputs().size(), leaderModel.outputs().size());
            state.SkipWithError("the follower did not complete");
        }
    }
}
BENCHMARK(BM_FollowerJoin)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A fader on a desk sweeping the opacity of N surfaces (a group) at 60 steps
// a second for two seconds, the leader at 60 frames a second: what it puts on
// the broker per second (each follower receives the same again).
void BM_FaderSweepTraffic(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    BrokerProcess broker;
    ClusterRig rig(broker);
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, 1000);
    ProjectModel followerModel;
    auto leader = rig.leader(leaderModel, clock);
    auto follower = rig.follower(followerModel, clock, "left");
    pumpUntilDone(*leader, *follower,
                  [&] { return testing::sameShow(leaderModel, followerModel); });
    const auto group = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        const std::uint64_t messages = leader->published();
        const std::uint64_t bytes = leader->publishedBytes();
        const auto start = Clock::now();
        for (int frame = 0; frame < 120; ++frame) {
            std::vector<Surface> list = leaderModel.surfaces().copy();
            for (std::size_t i = 0; i < group; ++i) {
                list[i].opacity = static_cast<double>(frame) / 119.0;
            }
            leaderModel.setSurfaces(std::move(list));
            leader->update(Clock::now());
            follower->update(Clock::now());
            std::this_thread::sleep_until(start + std::chrono::microseconds(16'667 * (frame + 1)));
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["messages_per_s"] =
            static_cast<double>(leader->published() - messages) / seconds;
        state.counters["kB_per_s"] =
            static_cast<double>(leader->publishedBytes() - bytes) / seconds / 1000.0;
    }
}
BENCHMARK(BM_FaderSweepTraffic)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
