#include "BenchMedia.h"

#include "HapFixtures.h"
#include "MediaFixtures.h"

#include "media/HapFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace prismeta::bench {

namespace {

// Bump when the content changes, so stale caches are not measured.
constexpr int mediaVersion = 3;

std::string cacheDir() {
    const std::string dir = "/tmp/prismeta-bench-media";
    std::filesystem::create_directories(dir);
    return dir;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench_media: cannot make %s\n", what.c_str());
    std::exit(1);
}

// Writes to a temporary name and renames, so an interrupted run leaves no
// half file in the cache.
template <typename Make> std::string cached(const std::string& name, Make make) {
    const std::string path = cacheDir() + "/v" + std::to_string(mediaVersion) + "-" + name;
    if (std::filesystem::exists(path)) {
        return path;
    }
    const std::string partial = cacheDir() + "/partial-" + std::to_string(::getpid()) + "-" + name;
    if (!make(partial)) {
        fail(path);
    }
    std::filesystem::rename(partial, path);
    return path;
}

} // namespace

std::string denseVideo(int height, const char* extension) {
    const int width = height * 16 / 9;
    const std::string name = "dense-" + std::to_string(height) + "p." + extension;
    return cached(name, [&](const std::string& path) {
        fixtures::VideoSpec spec;
        spec.encoder = "libx264";
        spec.width = width;
        spec.height = height;
        spec.frames = 150;
        spec.gop = 60;
        spec.noise = 12;
        return fixtures::writeVideo(path, spec);
    });
}

std::string denseHapVideo(int height, const char* format, int chunks) {
    const int width = height * 16 / 9;
    return cached("dense-" + std::to_string(height) + "p-" + format + "-" + std::to_string(chunks) +
                      ".mov",
                  [&](const std::string& path) {
                      fixtures::VideoSpec spec;
                      spec.encoder = "hap";
                      spec.width = width;
                      spec.height = height;
                      spec.frames = 150;
                      spec.noise = 12;
                      spec.encoderOptions =
                          std::string("format=") + format + ":chunks=" + std::to_string(chunks);
                      return fixtures::writeVideo(path, spec);
                  });
}

double snappyShare(const std::string& path) {
    double snappyBytes = 0;
    double allBytes = 0;
    HapFrameLayout layout;
    for (const auto& frame : fixtures::hap::readPackets(path)) {
        if (!parseHapFrame(frame, layout)) {
            continue;
        }
        for (const HapChunk& chunk : layout.chunks) {
            allBytes += static_cast<double>(chunk.size);
            snappyBytes += chunk.snappy ? static_cast<double>(chunk.size) : 0.0;
        }
    }
    return allBytes > 0 ? snappyBytes / allBytes : 0.0;
}

std::string denseStill(const char* encoder, const char* extension) {
    return cached(std::string("dense-4k.") + extension, [&](const std::string& path) {
        std::mt19937 random(99);
        std::uniform_int_distribution<int> noise(-20, 20);
        return fixtures::writeStill(path, encoder, 3840, 2160, [&](int x, int y) {
            const auto channel = [&](int base) {
                return static_cast<std::uint8_t>(std::clamp(base + noise(random), 0, 255));
            };
            return fixtures::Rgba8{channel((x / 15) & 255), channel((y / 9) & 255),
                                   channel(((x + y) / 24) & 255), 255};
        });
    });
}

namespace {

// Feeds the stream's packets to the open decoder and counts the pictures that
// come out, until enough(picture) says so or the stream ends; then closes
// decoder and file.
template <typename Enough>
int decodePictures(AVFormatContext* format, AVCodecContext* codec, int stream, Enough enough) {
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int pictures = 0;
    bool draining = false;
    for (;;) {
        const int received = avcodec_receive_frame(codec, frame);
        if (received == 0) {
            ++pictures;
            const bool done = enough(*frame);
            av_frame_unref(frame);
            if (done) {
                break;
            }
            continue;
        }
        if (received == AVERROR_EOF || (draining && received == AVERROR(EAGAIN))) {
            break;
        }
        if (av_read_frame(format, packet) < 0) {
            avcodec_send_packet(codec, nullptr);
            draining = true;
            continue;
        }
        if (packet->stream_index == stream) {
            avcodec_send_packet(codec, packet);
        }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return pictures;
}

} // namespace

int plainDecode(const std::string& path, int threads, bool firstOnly) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return 0;
    }
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
    codec->thread_count = threads;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    avcodec_open2(codec, decoder, nullptr);
    return decodePictures(format, codec, stream, [firstOnly](const AVFrame&) { return firstOnly; });
}

int plainSeekDecode(const std::string& path, double seconds) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return 0;
    }
    avformat_find_stream_info(format, nullptr);
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    const AVStream* video = format->streams[stream];
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, video->codecpar);
    codec->pkt_timebase = video->time_base;
    codec->thread_count = 0;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    avcodec_open2(codec, decoder, nullptr);
    const std::int64_t start = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;
    const std::int64_t target =
        start + static_cast<std::int64_t>(seconds / av_q2d(video->time_base));
    av_seek_frame(format, stream, target, AVSEEK_FLAG_BACKWARD);
    return decodePictures(format, codec, stream, [target](const AVFrame& picture) {
        return picture.best_effort_timestamp >= target;
    });
}

} // namespace prismeta::bench
