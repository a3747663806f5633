// Live sources read from real senders: FFmpeg's ffmpeg program on the
// loopback over UDP MPEG-TS, SRT in both roles, RTP with an SDP file and
// RTSP through a small relay server; a stream that stops and comes back, one
// that changes size, sources that never answer. Arrival waits are generous
// (the machine may be busy); speed belongs to bench_live.
#include "streams/StreamSenders.h"

#include "media/CaptureDevices.h"
#include "media/LiveOpen.h"
#include "media/LiveReader.h"
#include "media/LiveSources.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using testing::SenderPicture;
using testing::StreamSender;
using Clock = std::chrono::steady_clock;

constexpr auto arrival = 40s;

struct Seen {
    int width = 0;
    int height = 0;
    std::uint8_t bgra[4] = {};
    std::uint64_t serial = 0;
};

// The next picture after `after`, with the colour at its centre.
std::optional<Seen> nextPicture(LiveReader& reader, std::uint64_t after = 0,
                                Clock::duration wait = arrival) {
    LivePictures& pictures = reader.pictures();
    const LivePictureLease lease(&pictures, pictures.waitNewer(after, Clock::now() + wait));
    if (!lease) {
        return std::nullopt;
    }
    Seen seen;
    seen.width = lease->width;
    seen.height = lease->height;
    seen.serial = lease->serial;
    const std::uint8_t* centre = lease->pixels +
                                 static_cast<std::size_t>(lease->height / 2) * lease->stride +
                                 static_cast<std::size_t>(lease->width / 2) * 4;
    std::copy_n(centre, 4, seen.bgra);
    return seen;
}

// Red as H.264 in limited-range BT.601 and back: near (0, 0, 255) in BGRA.
void expectRed(const Seen& seen) {
    EXPECT_LT(seen.bgra[0], 40);
    EXPECT_LT(seen.bgra[1], 40);
    EXPECT_GT(seen.bgra[2], 215);
    EXPECT_EQ(seen.bgra[3], 255);
}

template <typename Predicate> bool eventually(Predicate&& holds, Clock::duration wait = arrival) {
    const auto deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
        if (holds()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return holds();
}

std::string udpUrl(int port) {
    return "udp://127.0.0.1:" + std::to_string(port);
}

TEST(LiveReader, UdpTransportStreamShowsItsNewestPictureAndCountsItsRate) {
    const int port = testing::freeUdpPort();
    LiveReader reader(udpUrl(port), {});
    StreamSender sender(SenderPicture{}, {"-f", "mpegts", udpUrl(port) + "?pkt_size=1316"});
    const auto seen = nextPicture(reader);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->width, 160);
    EXPECT_EQ(seen->height, 120);
    expectRed(*seen);
    EXPECT_TRUE(eventually([&] { return reader.status().fps > 5.0; }));
    EXPECT_EQ(reader.status().state, LiveStatus::State::connected);
    EXPECT_EQ(reader.connections(), 1u);
}

// Datagrams from one loopback port to another, every `loseEvery`-th one lost
// on the way (0: none), as a busy network loses them.
class LossyRelay {
public:
    LossyRelay(int from, int to, int loseEvery) {
        in_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        out_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(from));
        bound_ = ::bind(in_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        address.sin_port = htons(static_cast<std::uint16_t>(to));
        thread_ = std::thread([this, address, loseEvery] {
            std::vector<char> datagram(65536);
            for (int count = 1; !stop_; ++count) {
                pollfd ready{in_, POLLIN, 0};
                if (::poll(&ready, 1, 50) <= 0) {
                    --count;
                    continue;
                }
                const ssize_t size = ::recv(in_, datagram.data(), datagram.size(), 0);
                if (size > 0 && (loseEvery == 0 || count % loseEvery != 0)) {
                    ::sendto(out_, datagram.data(), static_cast<std::size_t>(size), 0,
                             reinterpret_cast<const sockaddr*>(&address), sizeof address);
                }
            }
        });
    }
    ~LossyRelay() {
        stop_ = true;
        thread_.join();
        ::close(in_);
        ::close(out_);
    }
    bool bound() const { return bound_; }

private:
    int in_ = -1;
    int out_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A window slower than the source misses pictures that a newer one replaced:
// "not shown", never "lost", which counts only pictures that did not arrive
// (datagrams lost on the way).
TEST(LiveReader, PicturesNotShownAndPicturesLostAreCountedApart) {
    for (const int loseEvery : {0, 4}) {
        const int relayed = testing::freeUdpPort();
        const int port = testing::freeUdpPort();
        LossyRelay relay(relayed, port, loseEvery);
        ASSERT_TRUE(relay.bound());
        LiveReader reader(udpUrl(port), {});
        StreamSender sender(SenderPicture{}, {"-f", "mpegts", udpUrl(relayed) + "?pkt_size=1316"});
        std::optional<Seen> seen = nextPicture(reader);
        ASSERT_TRUE(seen);
        // A window that shows one picture in five.
        for (int shown = 0; shown < 15 && seen; ++shown) {
            std::this_thread::sleep_for(200ms);
            seen = nextPicture(reader, seen->serial);
        }
        ASSERT_TRUE(seen);
        const LiveStatus status = reader.status();
        EXPECT_GT(status.notShown, 0u) << "losing 1 in " << loseEvery;
        if (loseEvery == 0) {
            EXPECT_EQ(status.lost, 0u);
        } else {
            EXPECT_TRUE(eventually([&] { return reader.status().lost > 0; }));
        }
    }
}

TEST(LiveReader, SrtAsListenerAndAsCaller) {
    // Prismeta listens, ffmpeg calls (and calls again until someone listens).
    {
        const int port = testing::freeUdpPort();
        const std::string at = "srt://127.0.0.1:" + std::to_string(port);
        LiveReader reader(at + "?mode=listener", {});
        StreamSender sender(SenderPicture{}, {"-f", "mpegts", at + "?mode=caller"}, true);
        const auto seen = nextPicture(reader);
        ASSERT_TRUE(seen) << "as listener";
        expectRed(*seen);
    }
    // ffmpeg listens, Prismeta calls (and calls again until it is there).
    {
        const int port = testing::freeUdpPort();
        const std::string at = "srt://127.0.0.1:" + std::to_string(port);
        StreamSender sender(SenderPicture{"color=c=red", 192, 108, 25},
                            {"-f", "mpegts", at + "?mode=listener"}, true);
        LiveOptions options;
        options.latencyMs = 40;
        LiveReader reader(at, options);
        const auto seen = nextPicture(reader);
        ASSERT_TRUE(seen) << "as caller";
        EXPECT_EQ(seen->width, 192);
        expectRed(*seen);
    }
}

TEST(LiveReader, RtpDescribedByAnSdpFileAndRtspFromARelayServer) {
    {
        testing::RtpSender rtp(SenderPicture{});
        ASSERT_TRUE(rtp.ready());
        LiveReader reader(rtp.sdpFile().string(), {});
        const auto seen = nextPicture(reader);
        ASSERT_TRUE(seen) << "RTP with SDP";
        expectRed(*seen);
    }
    {
        testing::RtspRelay relay(SenderPicture{"color=c=red", 176, 144, 25});
        LiveReader reader(relay.url(), {});
        const auto seen = nextPicture(reader);
        ASSERT_TRUE(seen) << "RTSP";
        EXPECT_EQ(seen->width, 176);
        expectRed(*seen);
        EXPECT_GE(relay.plays(), 1);
    }
}

// The sender stops for three seconds: the source is lost (one line), the
// reader keeps trying, and the picture comes back by itself (one line).
TEST(LiveReader, StreamThatStopsComesBackByItselfWithOneLineEachWay) {
    const int port = testing::freeUdpPort();
    LiveReaderOptions options;
    options.stallTimeout = 700ms;
    LiveReader reader(udpUrl(port), {}, options);
    const std::vector<std::string> output = {"-f", "mpegts", udpUrl(port) + "?pkt_size=1316"};
    auto sender = std::make_unique<StreamSender>(SenderPicture{}, output);
    const auto first = nextPicture(reader);
    ASSERT_TRUE(first);
    sender.reset();
    ASSERT_TRUE(eventually([&] { return reader.status().state == LiveStatus::State::lost; }));
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(reader.status().state, LiveStatus::State::lost);
    EXPECT_EQ(reader.status().fps, 0.0);

    sender = std::make_unique<StreamSender>(SenderPicture{"color=c=blue"}, output);
    const auto back = nextPicture(reader, first->serial);
    ASSERT_TRUE(back);
    // The newest picture is the new sender's, whatever was held.
    ASSERT_TRUE(eventually([&] {
        const auto now = nextPicture(reader, 0, 1s);
        return now && now->bgra[0] > 200 && now->bgra[2] < 60;
    }));
    EXPECT_TRUE(eventually([&] { return reader.status().state == LiveStatus::State::connected; }));
    EXPECT_GE(reader.connections(), 2u);

    const std::vector<std::string> lines = reader.takeLogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("live source " + udpUrl(port) + " lost"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("is back (160x120)"), std::string::npos) << lines[1];
    EXPECT_TRUE(reader.takeLogLines().empty());
}

// ffmpeg's MPEG-TS muxer leaves a picture's length out, so the demuxer alone
// would hold the last picture before a silence until the next one's first
// packet: here, with a silence deadline of minutes, for ever. The pause after
// its padded last packet lets it out.
TEST(LiveReader, LastPictureBeforeASilenceShowsWithoutTheNextOne) {
    const int port = testing::freeUdpPort();
    LiveReaderOptions options;
    options.stallTimeout = 5min;
    options.garbageTimeout = 10min;
    LiveReader reader(udpUrl(port), {}, options);
    // Two seconds of red, one blue picture, then nothing.
    StreamSender sender(SenderPicture{},
                        {"-vf", "drawbox=c=blue:t=fill:enable='gte(n,50)'", "-frames:v", "51", "-f",
                         "mpegts", udpUrl(port) + "?pkt_size=1316"});
    ASSERT_TRUE(nextPicture(reader));
    EXPECT_TRUE(eventually([&] {
        const auto now = nextPicture(reader, 0, 1s);
        return now && now->bgra[0] > 200 && now->bgra[2] < 60;
    }));
}

// A sender that changes its picture size (and so its coded stream) on the
// same port: the new size is shown, nothing else happens.
TEST(LiveReader, SenderThatChangesSizeMidStream) {
    const int port = testing::freeUdpPort();
    LiveReader reader(udpUrl(port), {});
    const std::vector<std::string> output = {"-f", "mpegts", udpUrl(port) + "?pkt_size=1316"};
    {
        StreamSender small(SenderPicture{}, output);
        const auto seen = nextPicture(reader);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->width, 160);
    }
    StreamSender large(SenderPicture{"color=c=red", 320, 240, 25}, output);
    ASSERT_TRUE(eventually([&] {
        const auto seen = nextPicture(reader, 0, 1s);
        return seen && seen->width == 320 && seen->height == 240;
    }));
}

// Sources that never answer: a port nobody sends to, an SRT listener nobody
// runs, an RTSP server that refuses. Each waits without blocking anyone,
// says once that it is not there (when it calls), and goes at once.
TEST(LiveReader, SourcesThatNeverAnswerBlockNothingAndGoAtOnce) {
    LiveReaderOptions quick;
    quick.openTimeout = 300ms;
    quick.firstRetry = 50ms;
    quick.lastRetry = 100ms;
    {
        LiveReader silent(udpUrl(testing::freeUdpPort()), {}, quick);
        LiveReader nobody("srt://127.0.0.1:" + std::to_string(testing::freeUdpPort()), {}, quick);
        LiveReader refused("rtsp://127.0.0.1:" + std::to_string(testing::freeTcpPort()) + "/x", {},
                           quick);
        std::this_thread::sleep_for(1500ms);
        for (const LiveReader* reader : {&silent, &nobody, &refused}) {
            EXPECT_EQ(reader->status().state, LiveStatus::State::waiting) << reader->name();
            EXPECT_EQ(reader->connections(), 0u) << reader->name();
        }
        EXPECT_TRUE(silent.takeLogLines().empty()); // waiting for a sender is no news
        const auto lines = refused.takeLogLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("is not there yet"), std::string::npos) << lines[0];
        // Destroyed here, with their threads in the middle of waiting.
    }
    const auto start = Clock::now();
    EXPECT_EQ(LiveReader::liveReaderThreads(), 0);
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST(LiveSources, OneReaderPerSourceAndOptions) {
    const std::string url = udpUrl(testing::freeUdpPort());
    auto first = LiveSources::acquire(url, {});
    auto second = LiveSources::acquire(url, {});
    EXPECT_EQ(first, second);
    LiveOptions latency;
    latency.latencyMs = 200;
    auto other = LiveSources::acquire(url, latency);
    EXPECT_NE(first, other);
    EXPECT_EQ(LiveSources::openReaders(), 2);
    ASSERT_TRUE(LiveSources::status(url, {}));
    EXPECT_EQ(LiveSources::status(url, {})->state, LiveStatus::State::waiting);
    first.reset();
    second.reset();
    other.reset();
    EXPECT_EQ(LiveSources::openReaders(), 0);
    EXPECT_FALSE(LiveSources::status(url, {}));
}

// Only the newest picture is taken; one replaced before anyone took it is
// counted as dropped while a window is taking pictures, and a leased buffer
// is never written.
TEST(LivePictures, NewestOnlyWithDropsCountedAndLeasesKept) {
    LivePictures pictures(3);
    const auto publish = [&](std::uint8_t value) {
        const int slot = pictures.acquire();
        if (slot < 0) {
            pictures.countNotShown();
            return -1;
        }
        std::uint8_t* memory = pictures.storage(slot, 4);
        memory[0] = value;
        pictures.picture(slot).pixels = memory;
        pictures.picture(slot).width = pictures.picture(slot).height = 1;
        pictures.publish(slot);
        return slot;
    };
    EXPECT_FALSE(pictures.newestAt());
    publish(1);
    publish(2); // nobody watching yet: not a drop
    EXPECT_EQ(pictures.notShown(), 0u);
    LivePictureLease held(&pictures, pictures.takeNewer(0));
    ASSERT_TRUE(held);
    EXPECT_EQ(held->pixels[0], 2);
    EXPECT_EQ(held->serial, 2u);
    EXPECT_EQ(pictures.takeNewer(held->serial), -1);
    publish(3);
    publish(4); // 3 was never taken while a window watched
    EXPECT_EQ(pictures.notShown(), 1u);
    // Three buffers: the held one and the newest are out of reach.
    publish(5);
    EXPECT_EQ(held->pixels[0], 2);
    LivePictureLease five(&pictures, pictures.takeNewer(held->serial));
    ASSERT_TRUE(five);
    EXPECT_EQ(five->pixels[0], 5);
    ASSERT_GE(publish(6), 0);
    LivePictureLease six(&pictures, pictures.takeNewer(five->serial));
    EXPECT_EQ(pictures.notShown(), 2u);
    EXPECT_EQ(publish(7), -1); // every buffer leased: dropped, not queued
    EXPECT_EQ(pictures.notShown(), 3u);
    EXPECT_EQ(held->pixels[0], 2);
    EXPECT_EQ(six->pixels[0], 6);
}

// Memory made ready before a source's first picture goes only to buffers
// no window holds, and leaves them free for the reader.
TEST(LivePictures, PreparedMemoryLeavesHeldPicturesAlone) {
    LivePictures pictures(3);
    const int first = pictures.acquire();
    std::uint8_t* memory = pictures.storage(first, 4);
    memory[0] = 7;
    pictures.picture(first).pixels = memory;
    pictures.picture(first).width = pictures.picture(first).height = 1;
    pictures.publish(first);
    const LivePictureLease held(&pictures, pictures.takeNewer(0));
    ASSERT_TRUE(held);

    constexpr std::size_t bytes = 1 << 20;
    pictures.prepare(bytes, 3);
    EXPECT_EQ(held->pixels, memory);
    EXPECT_EQ(held->pixels[0], 7);
    const int a = pictures.acquire();
    const int b = pictures.acquire();
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(pictures.acquire(), -1);
    for (const int slot : {a, b}) {
        const std::uint8_t* ready = pictures.storage(slot, bytes);
        ASSERT_NE(ready, nullptr);
        EXPECT_EQ(ready[bytes - 1], 0);
    }
}

TEST(LiveOpenPlan, OptionsReachTheDeviceOrTheProtocolTheyBelongTo) {
    LiveOptions options;
    options.width = 1280;
    options.height = 720;
    options.fps = 29.97;
    options.format = "mjpeg";
    options.latencyMs = 120;
    const LiveOpenPlan device = planLiveOpen("/dev/video3", options);
    EXPECT_EQ(device.inputFormat, "video4linux2");
    EXPECT_EQ(device.option("video_size"), "1280x720");
    EXPECT_EQ(device.option("framerate"), "29970/1000");
    EXPECT_EQ(device.option("input_format"), "mjpeg");
    EXPECT_FALSE(device.passive);

    const LiveOpenPlan caller = planLiveOpen("srt://10.0.0.5:9000", options);
    EXPECT_EQ(caller.option("latency"), "120000"); // microseconds
    EXPECT_EQ(caller.option("protocol_whitelist"), "srt");
    EXPECT_EQ(caller.option("video_size"), "");
    EXPECT_FALSE(caller.passive);
    const LiveOpenPlan listener = planLiveOpen("srt://:9000?mode=listener&latency=50000", options);
    EXPECT_TRUE(listener.passive);
    EXPECT_EQ(listener.option("latency"), ""); // the URL's own wins

    EXPECT_TRUE(planLiveOpen("udp://@239.1.1.1:5000", {}).passive);
    EXPECT_EQ(planLiveOpen("rtsp://cam/1", options).option("max_delay"), "120000");
    const LiveOpenPlan sdp = planLiveOpen("/shows/stage.sdp", {});
    EXPECT_EQ(sdp.inputFormat, "sdp");
    EXPECT_EQ(sdp.option("protocol_whitelist"), "file,rtp,udp");
    // A playlist may not reach a local file.
    EXPECT_EQ(planLiveOpen("https://cdn/live.m3u8", {}).option("protocol_whitelist"),
              "http,https,tls,tcp,crypto");
    EXPECT_FALSE(planLiveOpen("/shows/clip.mov", {}).refusal.empty());

    // Without a device: refused, with a reason, and nothing opened.
    std::atomic<bool> stop{false};
    LiveInterrupt interrupt(&stop);
    std::string error;
    EXPECT_EQ(openLiveInput(planLiveOpen("/dev/null", {}), interrupt, &error), nullptr);
    EXPECT_EQ(error, "not a capture device");
    EXPECT_EQ(openLiveInput(planLiveOpen("/dev/video-none", {}), interrupt, &error), nullptr);
    EXPECT_EQ(error, "no such device");
}

TEST(CaptureDevices, ADeviceOnThisMachineDeliversPictures) {
    const auto devices = findCaptureDevices();
    if (devices.empty()) {
        GTEST_SKIP() << "no V4L2 capture device on this machine";
    }
    const CaptureDevice& device = devices.front();
    EXPECT_FALSE(device.name.empty());
    LiveReader reader(device.path, {});
    const auto seen = nextPicture(reader);
    ASSERT_TRUE(seen) << device.path;
    EXPECT_GT(seen->width, 0);
}

} // namespace
} // namespace prismeta
