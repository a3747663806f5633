// The lighting desk's cost and delay, and the LTC decoder on noisy audio.
//
// ReceiveAndApply: a sender thread plays a desk sending 32 sACN universes
// (multicast on the loopback interface) at 44 packets a second each; the
// receiver runs on its own thread, and this thread, woken as the
// application's interface thread is, applies them to a show of 32 patched
// surfaces and a show fixture. The CPU of the receiving and applying is the
// process's CPU time less the sender thread's own, over the run's wall time.
//
// PacketToApplied: one level change at a time, from the sendto() of the
// packet to the live layer holding it after the woken apply.
//
// Parse: packets per second through the parser and the merge alone.
//
// LtcNoise: 60 s of 25 fps LTC from libltc's encoder with white noise of a
// given peak (percent of the signal's), decoded; the fraction of frames
// read, codes that were wrong, and codes refused by the checks.
#include "../../tests/dmx/LtcAudio.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "cues/LiveLayer.h"
#include "dmx/DmxReceiver.h"
#include "dmx/DmxShow.h"
#include "dmx/LtcDecoder.h"
#include "dmx/SacnPacket.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

constexpr int universes = 32;
constexpr int firstUniverse = 3001;

double threadCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

double processCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct Wake {
    std::mutex mutex;
    std::condition_variable signal;
    bool pending = false;
    void operator()() {
        {
            const std::lock_guard lock(mutex);
            pending = true;
        }
        signal.notify_one();
    }
    bool wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        const bool woken = signal.wait_for(lock, limit, [this] { return pending; });
        pending = false;
        return woken;
    }
};

struct Show {
    ProjectModel model;
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner{model, clock, wall};
    LiveLayer layer;
    std::unique_ptr<DmxShow> show;

    Show() {
        std::vector<Surface> surfaces(universes);
        for (int i = 0; i < universes; ++i) {
            surfaces[static_cast<std::size_t>(i)].mediaKind = MediaKind::color;
            surfaces[static_cast<std::size_t>(i)].dmx = DmxPatch{firstUniverse + i, 1};
        }
        model.setSurfaces(std::move(surfaces));
        model.setCues(std::vector<Cue>(4));
        DmxSettings settings;
        settings.master = DmxPatch{firstUniverse, 100};
        model.setDmx(settings);
        show = std::make_unique<DmxShow>(model, layer);
        show->setCueRunner(&runner);
    }
};

int multicastSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
    return fd;
}

void sendTo(int fd, int universe, std::uint16_t port, const std::vector<std::uint8_t>& packet) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(sacnMulticastGroup(universe));
    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

std::unique_ptr<DmxReceiver> startReceiver(Show& show, Wake& wake) {
    DmxReceiverConfig config;
    config.artNet = false;
    config.sacnPort = 0;
    auto receiver = DmxReceiver::start(config, [&wake] { wake(); });
    if (!receiver) {
        return nullptr;
    }
    receiver.value()->setUniverses(show.show->universes());
    return std::move(receiver.value());
}

void ReceiveAndApply(benchmark::State& state) {
    Show show;
    Wake wake;
    std::unique_ptr<DmxReceiver> receiver = startReceiver(show, wake);
    if (!receiver) {
        state.SkipWithError("no receiver");
        return;
    }
    const std::uint16_t port = receiver->sacnPort();
    for (auto _ : state) {
        std::atomic<bool> running{true};
        double senderCpu = 0.0;
        std::thread sender([&] {
            const int fd = multicastSocket();
            SacnSender desk;
            desk.cid[0] = 7;
            desk.name = "bench";
            std::vector<std::uint8_t> levels(512);
            const auto start = std::chrono::steady_clock::now();
            for (int tick = 0; running.load(); ++tick) {
                // A fade on every universe: every packet changes something.
                std::fill(levels.begin(), levels.begin() + 9, static_cast<std::uint8_t>(tick));
                for (int u = 0; u < universes; ++u) {
                    sendTo(fd, firstUniverse + u, port,
                           sacnDataPacket(desk, firstUniverse + u, static_cast<std::uint8_t>(tick),
                                          levels));
                }
                std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000 / 44) *
                                                          (tick + 1));
            }
            ::close(fd);
            senderCpu = threadCpu();
        });
        const double cpuBefore = processCpu();
        const auto wallBefore = std::chrono::steady_clock::now();
        std::size_t applies = 0;
        while (std::chrono::steady_clock::now() - wallBefore < std::chrono::seconds(5)) {
            if (wake.wait(std::chrono::milliseconds(100))) {
                receiver->rearm();
                show.show->apply(*receiver, DmxReceiver::now());
                ++applies;
            }
        }
        running.store(false);
        sender.join();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        const double used = processCpu() - cpuBefore - senderCpu;
        state.counters["cpu_percent_of_one_core"] = 100.0 * used / wall;
        state.counters["applies_per_second"] = static_cast<double>(applies) / wall;
        std::uint64_t packets = 0;
        for (const DmxSourceStatus& source : receiver->status(DmxReceiver::now())) {
            packets += static_cast<std::uint64_t>(source.packetsPerSecond + 0.5);
        }
        state.counters["packets_per_second"] = static_cast<double>(packets);
    }
}
BENCHMARK(ReceiveAndApply)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void PacketToApplied(benchmark::State& state) {
    Show show;
    Wake wake;
    std::unique_ptr<DmxReceiver> receiver = startReceiver(show, wake);
    if (!receiver) {
        state.SkipWithError("no receiver");
        return;
    }
    const int fd = multicastSocket();
    SacnSender desk;
    desk.cid[0] = 9;
    std::vector<std::uint8_t> levels(9, 0);
    const Uuid first = show.model.surfaces()[0].id;
    std::vector<double> delays;
    std::uint8_t sequence = 0;
    for (auto _ : state) {
        levels[0] = static_cast<std::uint8_t>(levels[0] == 255 ? 1 : levels[0] + 1);
        const float expected = static_cast<float>(levels[0] * 256) / 65535.0f;
        const auto sent = std::chrono::steady_clock::now();
        sendTo(fd, firstUniverse, receiver->sacnPort(),
               sacnDataPacket(desk, firstUniverse, ++sequence, levels));
        for (;;) {
            if (!wake.wait(std::chrono::milliseconds(500))) {
                state.SkipWithError("no wake");
                break;
            }
            receiver->rearm();
            show.show->apply(*receiver, DmxReceiver::now());
            const LiveLook* look = show.layer.find(first);
            if (look != nullptr && look->intensity == expected) {
                break;
            }
        }
        delays.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count());
    }
    ::close(fd);
    std::sort(delays.begin(), delays.end());
    if (!delays.empty()) {
        state.counters["median_ms"] = delays[delays.size() / 2] * 1e3;
        state.counters["p99_ms"] = delays[delays.size() * 99 / 100] * 1e3;
        state.counters["max_ms"] = delays.back() * 1e3;
    }
}
BENCHMARK(PacketToApplied)->Iterations(2000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void Parse(benchmark::State& state) {
    const std::unique_ptr<DmxReceiver> receiver = DmxReceiver::detached();
    const std::vector<int> in{1};
    receiver->setUniverses(in);
    SacnSender desk;
    std::vector<std::uint8_t> levels(512, 100);
    std::vector<std::vector<std::uint8_t>> packets;
    for (int i = 0; i < 256; ++i) {
        levels[0] = static_cast<std::uint8_t>(i);
        packets.push_back(sacnDataPacket(desk, 1, static_cast<std::uint8_t>(i), levels));
    }
    std::size_t next = 0;
    double now = 0.0;
    for (auto _ : state) {
        receiver->deliver(DmxProtocol::sacn, packets[next], 0x7f000001, 5568, now);
        next = (next + 1) % packets.size();
        now += 1e-4;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Parse);

void LtcNoise(benchmark::State& state) {
    const double noise = static_cast<double>(state.range(0)) / 100.0;
    const int frames = 60 * 25;
    const Timecode start{10, 0, 0, 0};
    const std::vector<std::int16_t> audio =
        test::ltcAudio(TimecodeRate::ebu25, start, frames, 48000, noise, 11);
    std::size_t read = 0;
    std::size_t wrong = 0;
    std::uint64_t rejected = 0;
    for (auto _ : state) {
        LtcDecoder decoder(48000);
        std::vector<LtcCode> codes;
        decoder.write(audio, codes);
        read = codes.size();
        wrong = 0;
        for (const LtcCode& code : codes) {
            // A frame's code is known from where it starts in the audio.
            const std::int64_t due =
                frameNumber(start, TimecodeRate::ebu25) + (code.startSample + 960) / 1920;
            wrong += frameNumber(code.timecode, code.rate) != due ? 1 : 0;
        }
        rejected = decoder.rejected();
    }
    // Signal and noise as RMS: the biphase signal is a square wave at its
    // peak, uniform noise has sqrt(1/3) of its own.
    if (noise > 0.0) {
        state.counters["snr_db"] = 20.0 * std::log10(std::sqrt(3.0) / noise);
    }
    state.counters["frames_read_percent"] = 100.0 * static_cast<double>(read) / frames;
    state.counters["wrong_codes"] = static_cast<double>(wrong);
    state.counters["refused_codes"] = static_cast<double>(rejected);
    state.counters["times_real_time"] = benchmark::Counter(
        60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(LtcNoise)->Arg(0)->Arg(50)->Arg(100)->Arg(120)->Arg(130)->Arg(140)->Arg(150)->Unit(
    benchmark::kMillisecond);

} // namespace
} // namespace prismeta
