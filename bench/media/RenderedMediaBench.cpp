// Media as the windows show it: through a headless renderer with the FFmpeg
// backend, so the figures include the upload into each source's texture. The
// plain-decoding baselines run in the same process, interleaved with the
// measured path. Prints the GL_RENDERER the numbers belong to.

#include "BenchMedia.h"

#include "HapFixtures.h"

#include "core/ProjectModel.h"
#include "media/HapDecoder.h"
#include "media/HostClock.h"
#include "render/FFmpegMediaBackend.h"
#include "render/HeadlessContext.h"
#include "render/MediaSource.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using bench::plainDecode;

using Clock = std::chrono::steady_clock;

double renderedSecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

HeadlessContext& context() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_media: %s\n", c.error().c_str());
            std::exit(1);
        }
        std::printf("GL_RENDERER: %s (%s)\n", c.value()->rendererName().c_str(),
                    c.value()->platformName().c_str());
        return std::move(c.value());
    }();
    return *made;
}

MediaBackend::Upload uploadMode(std::int64_t arg) {
    return arg != 0 ? MediaBackend::Upload::pixelBuffer : MediaBackend::Upload::direct;
}

// Counts the pictures each video feed hands to the renderer (each one is
// uploaded and shown), from the moment `counting` is raised.
struct DeliveryCounter {
    std::vector<std::shared_ptr<std::atomic<long long>>> perVideo;
    std::atomic<bool> counting{false};

    MediaBackend wrap(MediaBackend inner) {
        struct Counted final : VideoFeed {
            std::unique_ptr<VideoFeed> feed;
            std::shared_ptr<std::atomic<long long>> count;
            const std::atomic<bool>* counting;
            std::optional<MediaFrame> newFrame(double t) override {
                auto frame = feed->newFrame(t);
                if (frame && counting->load()) {
                    ++*count;
                }
                return frame;
            }
            void releaseFrame() override { feed->releaseFrame(); }
        };
        MediaBackend outer = inner;
        outer.openVideo = [this, open = inner.openVideo](const MediaRequest& request) {
            auto counted = std::make_unique<Counted>();
            counted->feed = open(request);
            counted->count = std::make_shared<std::atomic<long long>>(0);
            counted->counting = &counting;
            perVideo.push_back(counted->count);
            return std::unique_ptr<VideoFeed>(std::move(counted));
        };
        return outer;
    }
};

Surface videoSurface(const std::string& path, std::vector<Pt> corners) {
    Surface s;
    s.corners = std::move(corners);
    s.mediaKind = MediaKind::video;
    s.mediaPath = path;
    return s;
}

// What the simultaneous and per-picture benchmarks play: the same dense
// pictures as H.264, as HAP (DXT1) or HAP Q (scaled YCoCg) straight into
// compressed textures, or as HAP or HAP Q decoded to pixels by FFmpeg's hap
// decoder (the path a driver without S3TC gets).
enum BenchCodec : std::int64_t {
    h264 = 0,
    hap = 1,
    hapQ = 2,
    hapOnProcessor = 3,
    hapQOnProcessor = 4
};

// HAP files in four Snappy chunks a frame, as encoders write for playback
// on several cores.
constexpr int hapChunks = 4;

std::string benchVideo(std::int64_t codec, int height) {
    switch (codec) {
    case hap:
    case hapOnProcessor:
        return bench::denseHapVideo(height, "hap", hapChunks);
    case hapQ:
    case hapQOnProcessor:
        return bench::denseHapVideo(height, "hap_q", hapChunks);
    default:
        return bench::denseVideo(height);
    }
}

MediaBackend benchBackend(std::int64_t codec, const LiveMediaOptions& options = {}) {
    MediaBackend backend = liveMediaBackend(options);
    if (codec == hapOnProcessor || codec == hapQOnProcessor) {
        backend.compressedTextures = {};
    }
    return backend;
}

// The upload alone: BGRA pictures with the player's padded rows into the
// source's texture, again and again, taken in turn from four buffers as from
// the player's pool (so they do not all sit in the processor's cache);
// glFinish included, so work the driver defers is counted. Arguments: picture
// height, upload path.
void VideoUpload(benchmark::State& state) {
    context().makeCurrent();
    const int height = static_cast<int>(state.range(0));
    const int width = height * 16 / 9;
    const int stride = (width * 4 + 31) / 32 * 32;
    struct Rotating final : VideoFeed {
        std::vector<std::vector<std::uint8_t>> buffers;
        std::size_t next = 0;
        int width = 0, height = 0, stride = 0;
        std::optional<MediaFrame> newFrame(double) override {
            const std::vector<std::uint8_t>& pixels = buffers[next++ % buffers.size()];
            return MediaFrame{width, height, static_cast<std::size_t>(stride),
                              MediaPixelFormat::bgra8, pixels.data()};
        }
    };
    MediaBackend backend;
    backend.videoUpload = uploadMode(state.range(1));
    backend.openVideo = [&](const MediaRequest&) {
        auto feed = std::make_unique<Rotating>();
        for (std::uint8_t fill = 0; fill < 4; ++fill) {
            feed->buffers.emplace_back(
                static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), fill);
        }
        feed->width = width;
        feed->height = height;
        feed->stride = stride;
        return feed;
    };
    MediaSource source(videoSurface("/any", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}), backend, 0, 0.0);
    source.videoTexture(0.0); // the texture gets its storage
    glFinish();
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.videoTexture(0.0));
        glFinish();
    }
    state.counters["MB"] = benchmark::Counter(static_cast<double>(width) * height * 4 / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(VideoUpload)
    ->ArgsProduct({{720, 1080}, {0, 1}})
    ->ArgNames({"height", "pbo"})
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);

// The whole video path through a renderer: the player decodes and converts,
// the renderer uploads every picture into the source's texture and draws it
// (into a small target: the drawing is not what is measured), one frame per
// picture, as fast as the decoder delivers. Against plain libavcodec
// decoding of the same file. Arguments: height, upload path.
void WholeVideoPathVsPlainDecode(benchmark::State& state) {
    context().makeCurrent();
    const std::string path = bench::denseVideo(static_cast<int>(state.range(0)));
    double plainSeconds = 0.0;
    double pathSeconds = 0.0;
    long long plainPictures = 0;
    long long pathPictures = 0;
    for (auto _ : state) {
        auto started = Clock::now();
        const int decoded = plainDecode(path, 0, false);
        plainSeconds += renderedSecondsSince(started);
        plainPictures += decoded;

        DeliveryCounter counter;
        LiveMediaOptions options;
        options.waitForDecoders = true;
        options.videoUpload = uploadMode(state.range(1));
        ProjectModel model;
        model.setSurfaces(
            std::vector<Surface>{videoSurface(path, {{0, 0}, {1, 0}, {1, 1}, {0, 1}})});
        auto renderer =
            Renderer::create(model, std::nullopt, counter.wrap(liveMediaBackend(options)));
        auto target = OffscreenFramebuffer::create(64, 36);
        if (!renderer || !target) {
            state.SkipWithError("no renderer");
            return;
        }
        counter.counting = true;
        started = Clock::now();
        for (int i = 0; i < decoded; ++i) {
            renderer->draw(target->target(), (i + 0.5) / 30.0);
        }
        glFinish();
        const double elapsed = renderedSecondsSince(started);
        renderer.reset();
        pathSeconds += elapsed;
        pathPictures += counter.perVideo.empty() ? 0 : counter.perVideo.front()->load();
        state.SetIterationTime(elapsed);
    }
    const double plainRate = static_cast<double>(plainPictures) / plainSeconds;
    const double pathRate = static_cast<double>(pathPictures) / pathSeconds;
    state.counters["plain_fps"] = plainRate;
    state.counters["path_fps"] = pathRate;
    state.counters["ratio"] = pathRate / plainRate;
}
BENCHMARK(WholeVideoPathVsPlainDecode)
    ->ArgsProduct({{1080, 720}, {0, 1}})
    ->ArgNames({"height", "pbo"})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// N videos in one renderer at real time: a 60 Hz loop draws the canvas (the
// videos side by side) with the host clock, as a window would, and waits for
// each frame to be finished. A picture counts as dropped when it was due
// after the warm-up and never reached the screen. The first second (opening
// the files, first pictures) is not counted. Arguments: videos, video height,
// target height (16:9): a 180-line target leaves the video path nearly alone
// on the processor, a 720-line one adds what llvmpipe spends drawing a
// window-sized frame.
void SimultaneousVideosInOneRenderer(benchmark::State& state) {
    context().makeCurrent();
    const int videos = static_cast<int>(state.range(0));
    const std::int64_t codec = state.range(3);
    const std::string path = benchVideo(codec, static_cast<int>(state.range(1)));
    constexpr double warmUp = 1.0;
    constexpr double duration = 7.0;
    long long dropped = 0;
    long long worst = 0;
    double drawSeconds = 0.0;
    double slowestDraw = 0.0;
    long long draws = 0;
    long long lateTicks = 0;
    for (auto _ : state) {
        DeliveryCounter counter;
        std::vector<Surface> surfaces;
        for (int i = 0; i < videos; ++i) {
            const float x0 = static_cast<float>(i) / static_cast<float>(videos);
            const float x1 = static_cast<float>(i + 1) / static_cast<float>(videos);
            surfaces.push_back(videoSurface(path, {{x0, 0}, {x1, 0}, {x1, 1}, {x0, 1}}));
        }
        ProjectModel model;
        model.setSurfaces(surfaces);
        auto renderer = Renderer::create(model, std::nullopt, counter.wrap(benchBackend(codec)));
        const int targetHeight = static_cast<int>(state.range(2));
        auto target = OffscreenFramebuffer::create(targetHeight * 16 / 9, targetHeight);
        if (!renderer || !target) {
            state.SkipWithError("no renderer");
            return;
        }
        const double start = hostSeconds();
        double lastPoll = 0.0;
        auto tick = Clock::now();
        for (;;) {
            const double now = hostSeconds();
            if (now - start >= duration) {
                break;
            }
            counter.counting = now - start >= warmUp;
            const auto drawStart = Clock::now();
            renderer->draw(target->target(), now);
            glFinish();
            const double took = renderedSecondsSince(drawStart);
            if (now - start >= warmUp) {
                drawSeconds += took;
                slowestDraw = std::max(slowestDraw, took);
                ++draws;
            }
            lastPoll = now - start;
            tick += std::chrono::microseconds(16667);
            if (Clock::now() > tick) {
                lateTicks += now - start >= warmUp;
                tick = Clock::now();
            }
            std::this_thread::sleep_until(tick);
        }
        const long long due =
            static_cast<long long>(lastPoll * 30.0) - static_cast<long long>(warmUp * 30.0) + 1;
        for (const auto& shown : counter.perVideo) {
            dropped += std::max(0LL, due - shown->load());
            worst = std::max(worst, due - shown->load());
        }
    }
    state.counters["videos"] = videos;
    state.counters["dropped_total"] = static_cast<double>(dropped);
    state.counters["dropped_worst_video"] = static_cast<double>(worst);
    state.counters["draw_ms_mean"] = draws > 0 ? 1000.0 * drawSeconds / draws : 0.0;
    state.counters["draw_ms_max"] = 1000.0 * slowestDraw;
    state.counters["late_ticks"] = static_cast<double>(lateTicks);
}
BENCHMARK(SimultaneousVideosInOneRenderer)
    ->ArgsProduct({{1, 2, 3}, {1080}, {180, 720}, {h264}})
    ->ArgsProduct({{1, 2, 3, 4}, {720}, {180, 720}, {h264}})
    ->ArgsProduct({{4, 6, 8, 10, 12}, {1080}, {180, 720}, {hap}})
    ->ArgsProduct({{4, 6, 8, 10}, {1080}, {180, 720}, {hapQ}})
    ->ArgsProduct({{1, 2, 3, 4}, {1080}, {720}, {hapOnProcessor, hapQOnProcessor}})
    ->ArgNames({"videos", "height", "target", "codec"})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// Pictures of one video through a renderer, one frame each, as fast as its
// player delivers them (waitForDecoders); the frames' seconds per picture.
double perPicture(const std::string& path, const MediaBackend& backend, int pictures) {
    DeliveryCounter counter;
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{videoSurface(path, {{0, 0}, {1, 0}, {1, 1}, {0, 1}})});
    auto renderer = Renderer::create(model, std::nullopt, counter.wrap(backend));
    auto target = OffscreenFramebuffer::create(64, 36);
    if (!renderer || !target) {
        return 0.0;
    }
    counter.counting = true;
    const auto started = Clock::now();
    for (int i = 0; i < pictures; ++i) {
        renderer->draw(target->target(), (i + 0.5) / 30.0);
    }
    glFinish();
    const double elapsed = renderedSecondsSince(started);
    const long long shown = counter.perVideo.empty() ? 0 : counter.perVideo.front()->load();
    return shown > 0 ? elapsed / static_cast<double>(shown) : 0.0;
}

// One picture of a HAP video four ways, same file, same run, interleaved:
// the compressed path (demux, parse, Snappy on the player's thread and its
// helpers, upload of the blocks, a draw), FFmpeg's hap decoder to RGBA on the
// pixel path (its conversion to BGRA and the 8 MB upload included), and the
// same pictures as H.264 through the pixel path and as plain libavcodec
// decoding (no conversion, no upload). Arguments: height, codec (hap or
// hapQ).
void HapPicturePath(benchmark::State& state) {
    context().makeCurrent();
    const int height = static_cast<int>(state.range(0));
    const std::string hapPath = benchVideo(state.range(1), height);
    const std::string h264Path = bench::denseVideo(height);
    LiveMediaOptions options;
    options.waitForDecoders = true;
    constexpr int pictures = 150;
    double compressed = 0.0;
    double processor = 0.0;
    double h264Seconds = 0.0;
    double plainH264 = 0.0;
    for (auto _ : state) {
        const double c = perPicture(hapPath, benchBackend(state.range(1), options), pictures);
        const double p = perPicture(
            hapPath,
            benchBackend(state.range(1) == hap ? hapOnProcessor : hapQOnProcessor, options),
            pictures);
        const double h = perPicture(h264Path, benchBackend(h264, options), pictures);
        const auto started = Clock::now();
        const int decoded = plainDecode(h264Path, 0, false);
        plainH264 += renderedSecondsSince(started) / std::max(1, decoded);
        compressed += c;
        processor += p;
        h264Seconds += h;
        state.SetIterationTime(c * pictures);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["compressed_ms"] = 1000.0 * compressed / n;
    state.counters["hap_decoder_ms"] = 1000.0 * processor / n;
    state.counters["h264_ms"] = 1000.0 * h264Seconds / n;
    state.counters["h264_plain_decode_ms"] = 1000.0 * plainH264 / n;
    state.counters["decoder_over_compressed"] = processor / compressed;
    state.counters["h264_over_compressed"] = h264Seconds / compressed;
    state.counters["snappy_share"] = bench::snappyShare(hapPath);
}
// The steps of the compressed path for one picture, apart: parsing and
// decompressing the chunks (HapDecoder, with the player's helper threads)
// from packets already in memory, and uploading the blocks into the source's
// texture (glFinish included); beside FFmpeg's hap decoder turning the same
// packets into RGBA. Arguments: height, codec (hap or hapQ).
void HapPictureSteps(benchmark::State& state) {
    context().makeCurrent();
    const int height = static_cast<int>(state.range(0));
    const int width = height * 16 / 9;
    const std::string path = benchVideo(state.range(1), height);
    const std::vector<fixtures::hap::Bytes> packets = fixtures::hap::readPackets(path);
    HapDecoder decoder(width, height);
    std::vector<std::uint8_t> blocks;
    std::size_t next = 0;
    struct Blocks final : VideoFeed {
        const std::vector<std::uint8_t>* blocks = nullptr;
        MediaPixelFormat format = MediaPixelFormat::bc1;
        int width = 0, height = 0;
        std::optional<MediaFrame> newFrame(double) override {
            MediaFrame frame;
            frame.width = width;
            frame.height = height;
            frame.format = format;
            frame.pixels = blocks->data();
            frame.bytes = blocks->size();
            return frame;
        }
    };
    MediaBackend backend;
    backend.openVideo = [&](const MediaRequest&) {
        auto feed = std::make_unique<Blocks>();
        feed->blocks = &blocks;
        feed->format =
            state.range(1) == hap ? MediaPixelFormat::bc1 : MediaPixelFormat::bc3ScaledYCoCg;
        feed->width = width;
        feed->height = height;
        return feed;
    };
    const std::size_t bytes = decoder.prepare(packets.at(0));
    blocks.resize(bytes);
    MediaSource source(videoSurface("/any", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}), backend, 0, 0.0);
    const AVCodec* hapDecoder = avcodec_find_decoder(AV_CODEC_ID_HAP);
    AVCodecContext* codec = avcodec_alloc_context3(hapDecoder);
    codec->width = width;
    codec->height = height;
    codec->codec_tag =
        state.range(1) == hap ? MKTAG('H', 'a', 'p', '1') : MKTAG('H', 'a', 'p', 'Y');
    codec->thread_count = 0;
    avcodec_open2(codec, hapDecoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double snappySeconds = 0.0;
    double uploadSeconds = 0.0;
    double decoderSeconds = 0.0;
    for (auto _ : state) {
        const auto& data = packets[next++ % packets.size()];
        auto started = Clock::now();
        if (decoder.prepare(data) != bytes || !decoder.decode(data, blocks.data())) {
            state.SkipWithError("frame refused");
            break;
        }
        const double snappy = renderedSecondsSince(started);
        started = Clock::now();
        benchmark::DoNotOptimize(source.videoTexture(0.0));
        glFinish();
        const double upload = renderedSecondsSince(started);
        snappySeconds += snappy;
        uploadSeconds += upload;
        state.SetIterationTime(snappy + upload);

        av_new_packet(packet, static_cast<int>(data.size()));
        std::copy(data.begin(), data.end(), packet->data);
        started = Clock::now();
        avcodec_send_packet(codec, packet);
        avcodec_receive_frame(codec, frame);
        decoderSeconds += renderedSecondsSince(started);
        av_frame_unref(frame);
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    const auto n = static_cast<double>(state.iterations());
    state.counters["snappy_ms"] = 1000.0 * snappySeconds / n;
    state.counters["upload_ms"] = 1000.0 * uploadSeconds / n;
    state.counters["hap_decoder_rgba_ms"] = 1000.0 * decoderSeconds / n;
    state.counters["snappy_share"] = bench::snappyShare(path);
}
BENCHMARK(HapPictureSteps)
    ->ArgsProduct({{1080}, {hap, hapQ}})
    ->ArgNames({"height", "codec"})
    ->MinTime(2.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(HapPicturePath)
    ->ArgsProduct({{1080}, {hap, hapQ}})
    ->ArgNames({"height", "codec"})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A 4K still end to end: from the frame that makes the surface's source to
// the picture in its texture (loader thread, decoding, conversion to RGBA,
// upload, glFinish), against plain decoding on the calling thread.
void StillToTextureVsPlainDecode(benchmark::State& state, const char* encoder,
                                 const char* extension) {
    context().makeCurrent();
    const std::string path = bench::denseStill(encoder, extension);
    ProjectModel model;
    LiveMediaOptions options;
    options.waitForDecoders = true;
    auto renderer = Renderer::create(model, std::nullopt, liveMediaBackend(options));
    auto target = OffscreenFramebuffer::create(64, 36);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    double plainSeconds = 0.0;
    double loadSeconds = 0.0;
    double time = 0.0;
    for (auto _ : state) {
        auto started = Clock::now();
        benchmark::DoNotOptimize(plainDecode(path, 1, true));
        plainSeconds += renderedSecondsSince(started);

        Surface still; // a new surface each time: a new source, a new load
        still.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        still.mediaKind = MediaKind::image;
        still.mediaPath = path;
        model.setSurfaces(std::vector<Surface>{still});
        started = Clock::now();
        renderer->draw(target->target(), time += 1.0);
        glFinish();
        const double elapsed = renderedSecondsSince(started);
        loadSeconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = 1000.0 * plainSeconds / iterations;
    state.counters["to_texture_ms"] = 1000.0 * loadSeconds / iterations;
    state.counters["ratio"] = plainSeconds / loadSeconds;
}
BENCHMARK_CAPTURE(StillToTextureVsPlainDecode, png_4k, "png", "png")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StillToTextureVsPlainDecode, jpeg_4k, "mjpeg", "jpg")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
