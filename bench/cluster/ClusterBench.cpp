// A leader and followers in this process, on a mosquitto broker started on a
// free loopback port. Both sides are pumped every 50 µs, so the figures are
// the path through the broker; in the application each side looks once a
// frame, which adds up to a frame on each side.
#include "ClusterRig.h"

#include "core/Log.h"
#include "cues/CueRunner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
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

// A show of N cues of 100 looks each (60 MB of cue JSON for 10,000, each
// cue its own message of 6 kB): a follower's join until its model holds every
// cue ("join_ms"), then one cue's fade changed on the leader until the
// follower's model has it (the iterations). The second argument 1 runs the
// broker with "max_queued_messages 0": by default mosquitto drops what is
// more than 1,000 messages behind for one client, QoS 0 included, and a
// joining follower is sent the whole retained state at once.
void BM_CueEditToFollowerModel(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    BrokerProcess broker(state.range(1) != 0 ? std::vector<std::string>{"max_queued_messages 0"}
                                             : std::vector<std::string>{});
    ClusterRig rig(broker);
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, 100);
    std::vector<Cue> cues(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < cues.size(); ++i) {
        cues[i].name = "Cue " + std::to_string(i + 1);
        cues[i].looks.resize(100);
        for (std::size_t j = 0; j < cues[i].looks.size(); ++j) {
            cues[i].looks[j].surface = leaderModel.surfaces()[j].id;
            cues[i].looks[j].opacity = static_cast<double>((i + j) % 10) / 10.0;
        }
    }
    leaderModel.setCues(std::move(cues));
    auto leader = rig.leader(leaderModel, clock);
    {
        // All of it on the broker first, as BM_FollowerJoin does.
        ProjectModel warm;
        auto first = rig.follower(warm, clock, "warm");
        pumpUntilDone(*leader, *first, [&] { return warm.cues() == leaderModel.cues(); });
    }
    ProjectModel followerModel;
    const auto joinStart = Clock::now();
    auto follower = rig.follower(followerModel, clock, "left");
    pumpUntilDone(*leader, *follower, [&] { return followerModel.cues() == leaderModel.cues(); });
    state.counters["join_ms"] =
        std::chrono::duration<double, std::milli>(Clock::now() - joinStart).count();
    if (followerModel.cues() != leaderModel.cues()) {
        std::fprintf(stderr, "cues %zu of %zu, complete %d\n", followerModel.cues().size(),
                     leaderModel.cues().size(), static_cast<int>(follower->replica().complete()));
        state.SkipWithError("the follower did not get every cue");
        return;
    }

    std::vector<double> millis;
    std::size_t step = 0;
    for (auto _ : state) {
        const std::size_t index = (step * 7919) % leaderModel.cues().size();
        std::vector<Cue> edited = leaderModel.cues();
        const double fade = static_cast<double>(++step % 100) / 10.0;
        edited[index].fade = fade;
        const auto start = Clock::now();
        leaderModel.setCues(std::move(edited));
        pumpUntilDone(*leader, *follower, [&] { return followerModel.cues()[index].fade == fade; });
        const double elapsed =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        millis.push_back(elapsed);
        state.SetIterationTime(elapsed / 1e3);
    }
    state.counters["median_ms"] = percentile(millis, 0.5);
    state.counters["p99_ms"] = percentile(millis, 0.99);
}
BENCHMARK(BM_CueEditToFollowerModel)
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({10000, 1})
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

struct LoggedFrame {
    std::int64_t showMicros;
    double picture;
};

std::vector<LoggedFrame> readFrameLog(const std::filesystem::path& file) {
    std::vector<LoggedFrame> frames;
    std::ifstream in(file);
    LoggedFrame frame{};
    while (in >> frame.showMicros >> frame.picture) {
        frames.push_back(frame);
    }
    return frames;
}

// For a GO at goMicros to the picture `to`: the frames a follower drew from
// the first one at or after the GO's time until the first showing `to`
// (0: the frame for that time), negative when it showed `to` before the time.
std::optional<int> framesLate(const std::vector<LoggedFrame>& frames, std::int64_t goMicros,
                              double to) {
    const auto shows = [to](const LoggedFrame& frame) {
        return std::abs(frame.picture - to) < 1e-9;
    };
    const auto first = std::find_if(frames.begin(), frames.end(), [goMicros](const LoggedFrame& f) {
        return f.showMicros >= goMicros;
    });
    if (first == frames.end()) {
        return std::nullopt;
    }
    int early = 0;
    for (auto it = first; it != frames.begin() && shows(*(it - 1)); --it) {
        --early;
    }
    if (early < 0) {
        return early;
    }
    for (auto it = first; it != frames.end(); ++it) {
        if (shows(*it)) {
            return static_cast<int>(it - first);
        }
    }
    return std::nullopt;
}

// Two followers, each a process of its own drawing 60 frames a second on its
// own frame grid, log the show time and the picture of every frame; the
// leader (here) GOs 16 times at random moments, each a cut between two
// opacities, set ahead by the argument (the application: 100 ms). Per GO: how many
// frames after the one for the GO's time each follower first showed the new
// picture, and how many frames apart the two were.
void BM_GoToTheSameFrame(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    BrokerProcess broker;
    ClusterRig rig(broker);
    SystemRealTimeClock clock;
    SteadyShowClock steady;
    ManualWallClock wall;
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, 10);
    const Uuid surface = leaderModel.surfaces()[0].id;
    std::vector<Cue> cues(2);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        cues[i].name = "Cue " + std::to_string(i + 1);
        CueLook look;
        look.surface = surface;
        look.opacity = i == 0 ? 0.2 : 0.8;
        cues[i].looks.push_back(look);
        cues[i].follow.reset();
    }
    leaderModel.setCues(cues);
    CueRunner runner(leaderModel, steady, wall);
    runner.setGoAhead(static_cast<double>(state.range(0)) / 1000.0);
    auto leader = rig.leader(leaderModel, clock);
    const int gos = 16;
    const double seconds = 3.0 + gos * 0.6;

    for (auto _ : state) {
        const auto folder = broker.folder();
        const std::string port = std::to_string(broker.port());
        testing::ChildProcess a({PRISMETA_FRAME_LOG_FOLLOWER, port, ClusterRig::topic, "a",
                                 (folder / "a.log").string(), std::to_string(seconds)});
        testing::ChildProcess b({PRISMETA_FRAME_LOG_FOLLOWER, port, ClusterRig::topic, "b",
                                 (folder / "b.log").string(), std::to_string(seconds)});
        const auto lead = [&] {
            const auto now = Clock::now();
            leader->setCueState(runner.state(), now);
            leader->update(now);
        };
        const auto until = [&](Clock::time_point end) {
            while (Clock::now() < end) {
                lead();
                std::this_thread::sleep_for(std::chrono::microseconds(16'667));
            }
        };
        until(Clock::now() + std::chrono::seconds(2)); // both have joined
        std::mt19937 random(7);
        std::uniform_int_distribution<int> pause(400, 600);
        std::vector<std::pair<std::int64_t, double>> goTimes;
        for (int go = 0; go < gos; ++go) {
            runner.goTo(static_cast<std::size_t>(go % 2));
            lead();
            goTimes.emplace_back(leader->showState().go->atMicros, go % 2 == 0 ? 0.2 : 0.8);
            until(Clock::now() + std::chrono::milliseconds(pause(random)));
        }
        a.wait();
        b.wait();
        const auto logA = readFrameLog(folder / "a.log");
        const auto logB = readFrameLog(folder / "b.log");
        int apart = 0;
        int late = 0;
        int missed = 0;
        for (std::size_t i = 1; i < goTimes.size(); ++i) { // the first may repeat the start
            const auto lateA = framesLate(logA, goTimes[i].first, goTimes[i].second);
            const auto lateB = framesLate(logB, goTimes[i].first, goTimes[i].second);
            if (!lateA || !lateB) {
                ++missed;
                continue;
            }
            apart = std::max(apart, std::abs(*lateA - *lateB));
            late = std::max({late, std::abs(*lateA), std::abs(*lateB)});
        }
        state.counters["gos"] = static_cast<double>(goTimes.size() - 1);
        state.counters["max_frames_apart"] = apart;
        state.counters["max_frames_off"] = late;
        state.counters["missed"] = missed;
        state.counters["frames_logged"] = static_cast<double>(logA.size() + logB.size());
    }
}
// Argument: how far ahead the GO is set, ms (the application's default: 100).
BENCHMARK(BM_GoToTheSameFrame)->Arg(100)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace prismeta
