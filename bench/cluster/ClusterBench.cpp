// A leader and followers in this process, on a mosquitto broker started on a
// free loopback port. Both sides are pumped every 50 µs, so the figures are
// the path through the broker; in the application each side looks once a
// frame, which adds up to a frame on each side.
#include "ClusterRig.h"

#include "cluster/VideoStartSync.h"
#include "core/Log.h"
#include "cues/CueRunner.h"
#include "render/ShowVideos.h"

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
    double opacity;
    int picture; // the video picture shown, -1 for none
};

std::vector<LoggedFrame> readFrameLog(const std::filesystem::path& file) {
    std::vector<LoggedFrame> frames;
    std::ifstream in(file);
    LoggedFrame frame{};
    while (in >> frame.showMicros >> frame.opacity >> frame.picture) {
        frames.push_back(frame);
    }
    return frames;
}

// For something due at dueMicros: the frames a follower drew from the first
// one at or after that time until the first showing it (0: the frame for that
// time), negative when it showed it before the time.
template <typename Shows>
std::optional<int> framesLate(const std::vector<LoggedFrame>& frames, std::int64_t dueMicros,
                              const Shows& shows) {
    const auto first =
        std::find_if(frames.begin(), frames.end(),
                     [dueMicros](const LoggedFrame& f) { return f.showMicros >= dueMicros; });
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

// The benchmark's video: 256 pictures of 16 x 16 at 25 a second, each
// carrying its number in its grey levels (the left half counts modulo 16, the
// right half the sixteens; bench_cluster_frame_log reads them back).
constexpr int videoRate = 25;
constexpr int videoPictures = 256;

bool makeNumberedVideo(const std::filesystem::path& file) {
    testing::ChildProcess ffmpeg(
        {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
         "nullsrc=s=16x16:r=" + std::to_string(videoRate) +
             ":d=" + std::to_string(static_cast<double>(videoPictures) / videoRate),
         "-vf", "format=gray,geq=lum='if(lt(X\\,8)\\,mod(N\\,16)\\,floor(N/16))*16+8'", "-c:v",
         "ffv1", file.string()});
    return ffmpeg.wait() == 0 && std::filesystem::exists(file);
}

// One GO as the leader sent it.
struct SentGo {
    std::int64_t atMicros = 0;
    double opacity = 0.0;
    // For a GO to the video: its start on the show clock, and how long the
    // cue stayed (the pictures due in that time are compared).
    std::optional<std::int64_t> videoStartMicros;
    std::int64_t heldMicros = 0;
};

// Two followers, each a process of its own drawing 60 frames a second on its
// own frame grid, log the show time, the opacity and the video picture of
// every frame; the leader (here) GOs 16 times at random moments, between a
// colour cue and a cue that switches the surface to a video from its first
// picture, set ahead by the argument (the application: 100 ms). Per GO: how
// many frames after the one for the GO's time each follower first showed the
// new look, and how many frames apart the two were; per GO to the video, the
// same for every video picture due while the cue held, each due at its start
// on the show clock plus its time in the video.
void BM_GoToTheSameFrame(benchmark::State& state) {
    const ScopedLogSink quiet([](std::string_view) {});
    BrokerProcess broker;
    ClusterRig rig(broker);
    SystemRealTimeClock clock;
    SteadyShowClock steady;
    ManualWallClock wall;
    const std::filesystem::path video = broker.folder() / "numbered.mkv";
    if (!makeNumberedVideo(video)) {
        state.SkipWithError("ffmpeg could not make the video");
        return;
    }
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, 10);
    const Uuid surface = leaderModel.surfaces()[0].id;
    std::vector<Cue> cues(2);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        cues[i].name = "Cue " + std::to_string(i + 1);
        CueLook look;
        look.surface = surface;
        look.opacity = i == 0 ? 0.2 : 0.8;
        look.mediaKind = i == 0 ? MediaKind::color : MediaKind::video;
        if (i == 1) {
            look.mediaPath = video.string();
        }
        cues[i].looks.push_back(look);
        cues[i].follow.reset();
    }
    leaderModel.setCues(cues);
    CueRunner runner(leaderModel, steady, wall);
    runner.setVideos(std::make_shared<ShowVideos>());
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
        // As the application's leader does each frame: the cue state, and
        // the video starts read off the playback clock.
        const auto lead = [&] {
            const auto now = Clock::now();
            leader->setCueState(runner.state(), now);
            ShowStateMessage message = leader->showState();
            putVideoStarts(message, leaderModel.surfaces(), readClocks(clock));
            leader->setShowState(std::move(message));
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
        std::vector<SentGo> sent;
        for (int go = 0; go < gos; ++go) {
            runner.goTo(static_cast<std::size_t>(go % 2));
            lead();
            SentGo one;
            one.atMicros = leader->showState().go->atMicros;
            one.opacity = go % 2 == 0 ? 0.2 : 0.8;
            if (go % 2 == 1) {
                const auto& starts = leader->showState().videoStarts;
                if (const auto it = starts.find(surface); it != starts.end()) {
                    one.videoStartMicros = it->second;
                }
            }
            const int held = pause(random);
            one.heldMicros = std::int64_t{held} * 1000;
            sent.push_back(one);
            until(Clock::now() + std::chrono::milliseconds(held));
        }
        a.wait();
        b.wait();
        const auto logA = readFrameLog(folder / "a.log");
        const auto logB = readFrameLog(folder / "b.log");
        int apart = 0;
        int late = 0;
        int missed = 0;
        int picturesApart = 0;
        int picturesLate = 0;
        int pictures = 0;
        int picturesMissed = 0;
        int videoFrames = 0;
        int wrongPictures = 0;
        const auto compare = [](const std::optional<int>& lateA, const std::optional<int>& lateB,
                                int& apartMost, int& lateMost, int& missedCount) {
            if (!lateA || !lateB) {
                ++missedCount;
                return;
            }
            apartMost = std::max(apartMost, std::abs(*lateA - *lateB));
            lateMost = std::max({lateMost, std::abs(*lateA), std::abs(*lateB)});
        };
        for (std::size_t i = 1; i < sent.size(); ++i) { // the first may repeat the start
            const SentGo& go = sent[i];
            const auto shows = [&go](const LoggedFrame& frame) {
                return std::abs(frame.opacity - go.opacity) < 1e-9;
            };
            compare(framesLate(logA, go.atMicros, shows), framesLate(logB, go.atMicros, shows),
                    apart, late, missed);
            if (go.opacity != 0.8) {
                continue;
            }
            if (!go.videoStartMicros) {
                ++picturesMissed; // the leader sent no start
                continue;
            }
            // Frame by frame: the picture each follower showed against the
            // one due at the frame's show time (the last one that began).
            const std::int64_t videoStart = *go.videoStartMicros;
            for (const auto* log : {&logA, &logB}) {
                for (const LoggedFrame& frame : *log) {
                    if (frame.showMicros < go.atMicros ||
                        frame.showMicros + 16'667 >= go.atMicros + go.heldMicros) {
                        continue;
                    }
                    const std::int64_t due =
                        std::max<std::int64_t>(0, frame.showMicros - videoStart) * videoRate /
                        1'000'000;
                    ++videoFrames;
                    wrongPictures += frame.picture != due ? 1 : 0;
                }
            }
            // Every picture due before the next GO (less a frame, which the
            // next cue may already take): due at the start plus its time.
            for (int picture = 0; picture < videoPictures; ++picture) {
                const std::int64_t due =
                    *go.videoStartMicros + std::int64_t{picture} * 1'000'000 / videoRate;
                if (due + 16'667 >= go.atMicros + go.heldMicros) {
                    break;
                }
                // Shown: this picture or a later one of this playback.
                const auto showsPicture = [picture](const LoggedFrame& frame) {
                    return frame.picture >= picture;
                };
                ++pictures;
                compare(framesLate(logA, due, showsPicture), framesLate(logB, due, showsPicture),
                        picturesApart, picturesLate, picturesMissed);
            }
        }
        state.counters["gos"] = static_cast<double>(sent.size() - 1);
        state.counters["max_frames_apart"] = apart;
        state.counters["max_frames_off"] = late;
        state.counters["missed"] = missed;
        state.counters["video_pictures"] = pictures;
        state.counters["picture_max_frames_apart"] = picturesApart;
        state.counters["picture_max_frames_off"] = picturesLate;
        state.counters["pictures_missed"] = picturesMissed;
        state.counters["video_frames"] = videoFrames;
        state.counters["frames_wrong_picture"] = wrongPictures;
        state.counters["frames_logged"] = static_cast<double>(logA.size() + logB.size());
    }
}
// Argument: how far ahead the GO is set, ms (the application's default: 100).
BENCHMARK(BM_GoToTheSameFrame)->Arg(100)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace prismeta
