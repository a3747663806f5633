// Live sources against FFmpeg's ffmpeg program as the sender on the
// loopback, with each picture's number written into its pixels (sixteen
// blocks across the top half, white where a bit of the number is set):
//
// - Latency (UDP MPEG-TS, SRT with Prismeta calling, SRT with Prismeta
//   listening): from the moment ffmpeg hands a picture to its encoder (its
//   showinfo filter's line, read from its standard error as it is written)
//   to the end of the first 60 Hz frame of a headless renderer, read back,
//   that shows it. The sender's encoding, muxing and sending count against
//   us.
// - Pictures dropped: a minute of 1080p30 H.264 (made once with libx264
//   and sent with -c copy, so the sender costs next to nothing), read by a
//   LiveReader whose newest picture is taken at 60 Hz as a window does;
//   every number that never arrives counts.
// - CPU: the same 1080p30 H.264 as a live stream and as a file played by
//   VideoPlayer, taken at 60 Hz, as this process's processor time; the
//   sender is another process.
//
// One iteration each; the figures are counters. The machine's load matters:
// say what it was when writing them down.
#include "media/LiveReader.h"
#include "media/LiveSources.h"
#include "media/VideoPlayer.h"

#include "core/ProjectModel.h"
#include "render/FFmpegMediaBackend.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int bits = 16;
constexpr auto frameInterval = std::chrono::duration<double>(1.0 / 60.0);
constexpr std::size_t maxNumbers = 1 << bits;

// ffmpeg's filters that write the picture's number n into its top half.
std::string numberFilters(int width, int height) {
    // Black under the blocks, whatever the picture.
    std::string filters = ",drawbox=x=0:y=0:w=" + std::to_string(width) +
                          ":h=" + std::to_string(height / 2) + ":color=black:t=fill";
    for (int k = 0; k < bits; ++k) {
        filters += ",drawbox=x=" + std::to_string(k * width / bits) +
                   ":y=0:w=" + std::to_string(width / bits) + ":h=" + std::to_string(height / 2) +
                   ":color=white:t=fill:enable='mod(floor(n/" + std::to_string(1 << k) + "),2)'";
    }
    return filters;
}

// The number in BGRA or RGBA pixels (the blocks are white or black, so the
// order does not matter); none when a block is neither (the placeholder, a
// picture not yet whole).
std::optional<int> readNumber(const std::uint8_t* pixels, int width, int height,
                              std::size_t stride) {
    int number = 0;
    const std::size_t row = static_cast<std::size_t>(height / 4) * stride;
    for (int k = 0; k < bits; ++k) {
        const int x = (2 * k + 1) * width / (2 * bits);
        const std::uint8_t* p = pixels + row + static_cast<std::size_t>(x) * 4;
        const int level = (p[0] + p[1] + p[2]) / 3;
        if (level > 200) {
            number |= 1 << k;
        } else if (level > 30) {
            return std::nullopt;
        }
    }
    return number;
}

// A free UDP port on the loopback, for a moment.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

double processSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double hostSeconds() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// ffmpeg with the given arguments; with `timed`, its standard error is read
// line by line and the moment each showinfo line arrives is kept by the
// picture's number. Killed when destroyed.
class Ffmpeg {
public:
    Ffmpeg(std::vector<std::string> args, bool timed) : sentAt_(maxNumbers) {
        std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                         timed ? "info" : "error"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& arg : argv) {
            raw.push_back(arg.data());
        }
        raw.push_back(nullptr);
        int pipe[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (timed && ::pipe2(pipe, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
        } else {
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        if (posix_spawnp(&pid_, "ffmpeg", &actions, nullptr, raw.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (pipe[1] >= 0) {
            ::close(pipe[1]);
            reader_ = std::thread([this, fd = pipe[0]] { readLines(fd); });
        }
    }
    ~Ffmpeg() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) {
            reader_.join();
        }
    }
    Ffmpeg(const Ffmpeg&) = delete;
    Ffmpeg& operator=(const Ffmpeg&) = delete;

    bool running() const { return pid_ > 0; }
    // Waits for it to end by itself; whether it succeeded.
    bool finish() {
        int status = 0;
        const bool ok = pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) &&
                        WEXITSTATUS(status) == 0;
        pid_ = -1;
        return ok;
    }
    // When picture n was handed to the encoder; none if not (yet).
    std::optional<Clock::time_point> sentAt(int n) const {
        const auto ticks = sentAt_[static_cast<std::size_t>(n) % maxNumbers].load();
        if (ticks == 0) {
            return std::nullopt;
        }
        return Clock::time_point(Clock::duration(ticks));
    }

private:
    void readLines(int fd) {
        std::string line;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            const auto now = Clock::now().time_since_epoch().count();
            for (ssize_t i = 0; i < got; ++i) {
                if (buffer[i] != '\n') {
                    line.push_back(buffer[i]);
                    continue;
                }
                const std::size_t at = line.find(" n:");
                if (line.find("Parsed_showinfo") != std::string::npos && at != std::string::npos &&
                    line.find("pts:") != std::string::npos) {
                    const int n = std::atoi(line.c_str() + at + 3);
                    if (n >= 0) {
                        sentAt_[static_cast<std::size_t>(n) % maxNumbers].store(now);
                    }
                }
                line.clear();
            }
        }
        ::close(fd);
    }

    pid_t pid_ = -1;
    std::vector<std::atomic<Clock::rep>> sentAt_;
    std::thread reader_;
};

// The numbered 1080p30 H.264 clip of `seconds`, made once and kept.
std::string numberedClip(int seconds) {
    const std::string dir = "/tmp/prismeta-bench-media";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/v2-numbered-1080p30-" + std::to_string(seconds) + "s.mp4";
    if (std::filesystem::exists(path)) {
        return path;
    }
    const std::string partial = dir + "/partial-" + std::to_string(::getpid()) + ".mp4";
    Ffmpeg make({"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30" + numberFilters(1920, 1080),
                 "-t", std::to_string(seconds), "-c:v", "libx264", "-preset", "veryfast", "-tune",
                 "zerolatency", "-g", "30", "-pix_fmt", "yuv420p", "-y", partial},
                false);
    if (!make.finish()) {
        std::fprintf(stderr, "bench_live: cannot make %s\n", path.c_str());
        std::exit(1);
    }
    std::filesystem::rename(partial, path);
    return path;
}

struct Latencies {
    std::vector<double> ms;
    int shown = 0;
    int skipped = 0;
    int late = 0; // numbers shown with no send time
};

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// A headless window at 60 Hz showing `source` over the whole canvas, fed by
// an ffmpeg that encodes numbered 640x360 pictures at 60 a second and sends
// them with `output`; for `seconds` after the first picture shows.
Latencies measureLatency(const std::string& source, const LiveOptions& options,
                         const std::vector<std::string>& output, double seconds) {
    Latencies result;
    auto context = HeadlessContext::create();
    if (!context) {
        return result;
    }
    ProjectModel model;
    Surface surface;
    surface.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    surface.mediaKind = MediaKind::live;
    surface.mediaPath = source;
    surface.liveOptions = options;
    model.setSurfaces({surface});
    auto renderer = Renderer::create(model, std::nullopt, liveMediaBackend());
    auto target = OffscreenFramebuffer::create(256, 64);
    if (!renderer || !target) {
        return result;
    }
    renderer->draw(target->target(), hostSeconds()); // opens the source (a listener listens)
    std::vector<std::string> args = {"-re",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "color=c=black:size=640x360:rate=60" +
                                         numberFilters(640, 360) + ",showinfo",
                                     "-c:v",
                                     "libx264",
                                     "-preset",
                                     "ultrafast",
                                     "-tune",
                                     "zerolatency",
                                     "-g",
                                     "60",
                                     "-pix_fmt",
                                     "yuv420p",
                                     "-flush_packets",
                                     "1",
                                     "-muxdelay",
                                     "0",
                                     "-muxpreload",
                                     "0"};
    args.insert(args.end(), output.begin(), output.end());
    Ffmpeg sender(args, true);
    if (!sender.running()) {
        return result;
    }
    int last = -1;
    std::optional<Clock::time_point> end;
    auto tick = Clock::now();
    const auto giveUp = tick + 60s;
    while (Clock::now() < (end ? *end : giveUp)) {
        tick += std::chrono::duration_cast<Clock::duration>(frameInterval);
        std::this_thread::sleep_until(tick);
        renderer->draw(target->target(), hostSeconds());
        const std::vector<std::uint8_t> rgba = target->readPixels();
        const auto shownAt = Clock::now();
        const std::optional<int> n = readNumber(rgba.data(), 256, 64, 256 * 4);
        if (!n || *n <= last) {
            continue;
        }
        if (!end) {
            end = shownAt + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(seconds));
        } else {
            result.skipped += *n - last - 1;
        }
        last = *n;
        ++result.shown;
        if (const auto sent = sender.sentAt(*n)) {
            result.ms.push_back(std::chrono::duration<double, std::milli>(shownAt - *sent).count());
        } else {
            ++result.late;
        }
    }
    return result;
}

// The same without the window: from the encoder's hand-over to the moment
// the reader publishes the decoded, converted picture (no 60 Hz tick, no
// drawing): what the protocol, the demuxer and the decoder cost.
Latencies measurePublished(const std::string& source, const LiveOptions& options,
                           const std::vector<std::string>& output, double seconds) {
    Latencies result;
    LiveReader reader(source, options);
    std::vector<std::string> args = {"-re",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "color=c=black:size=640x360:rate=60" +
                                         numberFilters(640, 360) + ",showinfo",
                                     "-c:v",
                                     "libx264",
                                     "-preset",
                                     "ultrafast",
                                     "-tune",
                                     "zerolatency",
                                     "-g",
                                     "60",
                                     "-pix_fmt",
                                     "yuv420p",
                                     "-flush_packets",
                                     "1",
                                     "-muxdelay",
                                     "0",
                                     "-muxpreload",
                                     "0"};
    args.insert(args.end(), output.begin(), output.end());
    Ffmpeg sender(args, true);
    LivePictures& pictures = reader.pictures();
    std::uint64_t serial = 0;
    int last = -1;
    std::optional<Clock::time_point> end;
    const auto giveUp = Clock::now() + 60s;
    while (Clock::now() < (end ? *end : giveUp)) {
        const LivePictureLease lease(&pictures, pictures.waitNewer(serial, Clock::now() + 1s));
        const auto publishedAt = Clock::now();
        if (!lease) {
            continue;
        }
        serial = lease->serial;
        const auto n = readNumber(lease->pixels, lease->width, lease->height,
                                  static_cast<std::size_t>(lease->stride));
        if (!n || *n <= last) {
            continue;
        }
        if (!end) {
            end = publishedAt + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(seconds));
        } else {
            result.skipped += *n - last - 1;
        }
        last = *n;
        ++result.shown;
        if (const auto sent = sender.sentAt(*n)) {
            result.ms.push_back(
                std::chrono::duration<double, std::milli>(publishedAt - *sent).count());
        } else {
            ++result.late;
        }
    }
    return result;
}

void reportLatency(benchmark::State& state, const Latencies& latencies, double protocolMs) {
    state.counters["median_ms"] = percentile(latencies.ms, 0.5);
    state.counters["p95_ms"] = percentile(latencies.ms, 0.95);
    state.counters["max_ms"] = percentile(latencies.ms, 1.0);
    state.counters["median_frames"] = percentile(latencies.ms, 0.5) / 16.667;
    state.counters["goal_ms"] = 2 * 16.667 + protocolMs;
    state.counters["shown"] = latencies.shown;
    state.counters["skipped"] = latencies.skipped;
    state.counters["unmatched"] = latencies.late;
    if (latencies.shown == 0) {
        state.SkipWithError("no picture arrived");
    }
}

constexpr double latencySeconds = 10.0;
constexpr int srtLatencyMs = 40;

// The muxer's options: by default FFmpeg leaves a video PES packet's length
// out, so a receiver knows a picture is whole only when the next one starts
// (a frame later); with the length in (Arg 1) it knows at its last packet.
std::vector<std::string> mpegts(const benchmark::State& state, std::string url) {
    std::vector<std::string> output = {"-f", "mpegts"};
    if (state.range(0) == 1) {
        output.insert(output.end(), {"-omit_video_pes_length", "0"});
    }
    output.push_back(std::move(url));
    return output;
}

void LatencyUdp(benchmark::State& state) {
    for (auto _ : state) {
        const std::string url = "udp://127.0.0.1:" + std::to_string(freePort());
        const Latencies l =
            measureLatency(url, {}, mpegts(state, url + "?pkt_size=1316"), latencySeconds);
        reportLatency(state, l, 0.0);
    }
}

void LatencySrtCaller(benchmark::State& state) {
    for (auto _ : state) {
        const std::string at = "srt://127.0.0.1:" + std::to_string(freePort());
        LiveOptions options;
        options.latencyMs = srtLatencyMs;
        const Latencies l = measureLatency(
            at, options,
            mpegts(state, at + "?mode=listener&latency=" + std::to_string(srtLatencyMs * 1000)),
            latencySeconds);
        reportLatency(state, l, srtLatencyMs);
    }
}

void LatencySrtListener(benchmark::State& state) {
    for (auto _ : state) {
        const std::string at = "srt://127.0.0.1:" + std::to_string(freePort());
        LiveOptions options;
        options.latencyMs = srtLatencyMs;
        const Latencies l = measureLatency(
            at + "?mode=listener", options,
            mpegts(state, at + "?mode=caller&latency=" + std::to_string(srtLatencyMs * 1000)),
            latencySeconds);
        reportLatency(state, l, srtLatencyMs);
    }
}

void PublishedUdp(benchmark::State& state) {
    for (auto _ : state) {
        const std::string url = "udp://127.0.0.1:" + std::to_string(freePort());
        reportLatency(
            state, measurePublished(url, {}, mpegts(state, url + "?pkt_size=1316"), latencySeconds),
            0.0);
    }
}

// How a 1080p30 stream of the numbered clip fares for `seconds`, read as a
// window reads it; the processor time this process spent meanwhile.
// Pictures of the connection's first second (30 at 30 fps) are counted
// apart: there the sender (ffmpeg -re sends its first two pictures within a
// millisecond) and a decoder making its first pictures can land two in one
// 60 Hz frame.
constexpr int startPictures = 30;

struct StreamRun {
    int first = -1;
    int last = -1;
    int seen = 0;
    int missingAtStart = 0; // within startPictures of the first
    int missingAfter = 0;
    std::uint64_t dropped = 0; // newer came first
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
};

StreamRun readStream(const std::string& clip, double seconds) {
    StreamRun run;
    const std::string url = "udp://127.0.0.1:" + std::to_string(freePort());
    LiveReader reader(url, {});
    Ffmpeg sender({"-re", "-i", clip, "-c", "copy", "-f", "mpegts", "-flush_packets", "1",
                   url + "?pkt_size=1316"},
                  false);
    LivePictures& pictures = reader.pictures();
    std::vector<bool> seen(maxNumbers, false);
    const auto show = [&](const LivePicture& picture) {
        const auto n = readNumber(picture.pixels, picture.width, picture.height,
                                  static_cast<std::size_t>(picture.stride));
        if (!n) {
            return;
        }
        if (run.first < 0) {
            run.first = *n;
        }
        run.last = std::max(run.last, *n);
        if (!seen[static_cast<std::size_t>(*n)]) {
            seen[static_cast<std::size_t>(*n)] = true;
            ++run.seen;
        }
    };
    std::uint64_t serial = 0;
    // The first picture starts the count.
    {
        const LivePictureLease first(&pictures, pictures.waitNewer(0, Clock::now() + 30s));
        if (!first) {
            return run;
        }
        serial = first->serial;
        show(*first);
    }
    const auto start = Clock::now();
    const double cpuStart = processSeconds();
    const std::uint64_t droppedBefore = pictures.notShown();
    auto tick = start;
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (tick < end) {
        tick += std::chrono::duration_cast<Clock::duration>(frameInterval);
        std::this_thread::sleep_until(tick);
        const LivePictureLease lease(&pictures, pictures.takeNewer(serial));
        if (lease) {
            serial = lease->serial;
            show(*lease);
        }
    }
    run.cpuSeconds = processSeconds() - cpuStart;
    run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.dropped = pictures.notShown() - droppedBefore;
    for (int n = std::max(run.first, 0); n <= run.last; ++n) {
        if (!seen[static_cast<std::size_t>(n)]) {
            ++(n - run.first < startPictures ? run.missingAtStart : run.missingAfter);
            std::fprintf(stderr, "bench_live: picture %d (%d after the first) was not shown\n", n,
                         n - run.first);
        }
    }
    return run;
}

constexpr int clipSeconds = 70;

void DroppedPictures1080p30(benchmark::State& state) {
    const double seconds = static_cast<double>(state.range(0));
    const std::string clip = numberedClip(clipSeconds);
    for (auto _ : state) {
        const StreamRun run = readStream(clip, seconds);
        const int sent = run.last - run.first + 1;
        state.counters["seconds"] = run.wallSeconds;
        state.counters["pictures_sent"] = sent;
        state.counters["pictures_shown"] = run.seen;
        state.counters["missing"] = sent - run.seen;
        state.counters["missing_first_second"] = run.missingAtStart;
        state.counters["missing_after"] = run.missingAfter;
        state.counters["dropped_newer_first"] = static_cast<double>(run.dropped);
        if (run.seen == 0) {
            state.SkipWithError("no picture arrived");
        }
    }
}

void CpuLive1080p30(benchmark::State& state) {
    const std::string clip = numberedClip(clipSeconds);
    for (auto _ : state) {
        const StreamRun run = readStream(clip, 20.0);
        state.counters["cpu_percent_of_a_core"] = 100.0 * run.cpuSeconds / run.wallSeconds;
        state.counters["pictures"] = run.seen;
    }
}

void CpuFile1080p30(benchmark::State& state) {
    const std::string clip = numberedClip(clipSeconds);
    for (auto _ : state) {
        const double begin = hostSeconds();
        VideoPlayer player(clip, begin, begin);
        int pictures = 0;
        const auto start = Clock::now();
        const double cpuStart = processSeconds();
        auto tick = start;
        const auto end = start + 20s;
        while (tick < end) {
            tick += std::chrono::duration_cast<Clock::duration>(frameInterval);
            std::this_thread::sleep_until(tick);
            const VideoFrameLease lease = player.frameDue(hostSeconds());
            if (lease) {
                ++pictures;
            }
        }
        const double cpu = processSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / wall;
        state.counters["pictures"] = pictures;
    }
}

BENCHMARK(LatencyUdp)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(LatencySrtCaller)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(LatencySrtListener)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(PublishedUdp)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(DroppedPictures1080p30)->Arg(61)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(CpuLive1080p30)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(CpuFile1080p30)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace prismeta
