// HAP video through the renderer with the FFmpeg backend: every variant
// FFmpeg's encoder makes, whole and in chunks, Snappy and stored, and the
// variants built here by hand (alpha only, YCoCg with alpha, BPTC), played as
// GPU blocks and, forced, decoded to pixels by FFmpeg's hap decoder. The
// pictures must match FFmpeg's own decoding of the same frames within the
// rounding that block decoding may differ by, and loop, join and render at a
// time exactly like every other codec.
#include "GlTestSupport.h"
#include "HapFixtures.h"
#include "HeadlessCanvas.h"
#include "TestFiles.h"
#include "VideoTestSupport.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "media/VideoPlayer.h"
#include "render/FFmpegMediaBackend.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <ostream>

namespace prismeta::test {
namespace {

namespace hap = fixtures::hap;
using testfiles::TempDir;
using videotest::dueNumber;

constexpr int width = 64;
constexpr int height = 48;
constexpr int hapClipFrames = 12; // 0.4 s at 30 fps

// FFmpeg's hap decoder on the file: picture `index` as straight RGBA.
std::vector<std::uint8_t> ffmpegPicture(const std::string& path, int index) {
    std::vector<std::uint8_t> rgba;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return rgba;
    }
    avformat_find_stream_info(format, nullptr);
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* codec = stream >= 0 && decoder ? avcodec_alloc_context3(decoder) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (codec != nullptr &&
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(codec, decoder, nullptr) >= 0) {
        int seen = 0;
        while (rgba.empty() && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0 &&
                avcodec_receive_frame(codec, frame) >= 0 && seen++ == index) {
                rgba.resize(static_cast<std::size_t>(frame->width) * frame->height * 4);
                SwsContext* sws = sws_getContext(frame->width, frame->height,
                                                 static_cast<AVPixelFormat>(frame->format),
                                                 frame->width, frame->height, AV_PIX_FMT_RGBA,
                                                 SWS_POINT, nullptr, nullptr, nullptr);
                std::uint8_t* planes[1] = {rgba.data()};
                const int strides[1] = {frame->width * 4};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
                sws_freeContext(sws);
            }
            av_frame_unref(frame);
            av_packet_unref(packet);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return rgba;
}

MediaBackend backend(bool blocks, bool wait = true) {
    LiveMediaOptions options;
    options.waitForDecoders = wait;
    MediaBackend media = liveMediaBackend(options);
    if (!blocks) {
        media.compressedTextures = {}; // as on a driver without them
    }
    return media;
}

Surface videoSurface(const std::string& path) {
    Surface s;
    s.corners = fullCanvas();
    s.mediaKind = MediaKind::video;
    s.mediaPath = path;
    return s;
}

struct HapCanvas : HeadlessCanvas {
    HapCanvas(const ProjectModel& model, MediaBackend media)
        : HeadlessCanvas(model, std::move(media), width, height) {}
};

// The largest difference between a frame drawn over black and a straight
// RGBA picture premultiplied the same way.
int largestDifference(const Picture& drawn, const std::vector<std::uint8_t>& rgba) {
    int largest = 0;
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        const double a = rgba[i + 3] / 255.0;
        for (std::size_t c = 0; c < 3; ++c) {
            const double want = rgba[i + c] * a;
            largest = std::max(largest,
                               static_cast<int>(std::lround(std::abs(drawn.rgba[i + c] - want))));
        }
    }
    return largest;
}

int hapNumberShown(const Picture& picture) {
    return fixtures::frameNumberOf(picture.rgba.data(), picture.width * 4, picture.width,
                                   picture.height);
}

// Block decoding may round differently between a GPU (here llvmpipe) and
// FFmpeg's decoder: interpolated DXT colours and alphas by a level, and so
// their product by two.
constexpr int blockRounding = 2;

struct Variant {
    const char* name;
    const char* options; // the hap encoder's
    bool alpha;
};

struct Case {
    Variant variant;
    bool blocks; // played as blocks, or decoded to pixels by FFmpeg
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.variant.options << (c.blocks ? " as blocks" : " decoded to pixels");
}

class HapVideo : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (!fixtures::hasEncoder("hap")) {
            GTEST_SKIP() << "no hap encoder in this FFmpeg";
        }
        ASSERT_TRUE(useGlContext());
        path_ = dir_.file("clip.mov");
        fixtures::VideoSpec spec;
        spec.encoder = "hap";
        spec.width = width;
        spec.height = height;
        spec.frames = hapClipFrames;
        spec.encoderOptions = GetParam().variant.options;
        if (GetParam().variant.alpha) {
            // The frame-number pattern with alpha falling from left to right.
            spec.pixel = [](int n, int x, int) {
                fixtures::Rgba8 c = fixtures::frameNumberPixel(n, x, width);
                c.r = static_cast<std::uint8_t>(std::min(255, c.r + 40));
                c.a = static_cast<std::uint8_t>(255 - x * 3);
                return c;
            };
        }
        ASSERT_TRUE(fixtures::writeVideo(path_, spec));
    }

    TempDir dir_{"render-hap"};
    std::string path_;
};

TEST_P(HapVideo, PicturesMatchFFmpegsOwnDecoding) {
    ProjectModel model;
    model.setSurfaces({videoSurface(path_)});
    HapCanvas canvas(model, backend(GetParam().blocks));
    ASSERT_TRUE(canvas);
    const double start = 10.0;
    canvas.draw(start); // the first frame drawn starts the playback
    for (const int picture : {0, 5, 11}) {
        const Picture drawn = canvas.draw(start + (picture + 0.5) / 30.0);
        const auto reference = ffmpegPicture(path_, picture);
        ASSERT_EQ(reference.size(), drawn.rgba.size());
        // Decoded to pixels, the picture is FFmpeg's to the level.
        EXPECT_LE(largestDifference(drawn, reference), GetParam().blocks ? blockRounding : 1)
            << "picture " << picture;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The frame number is read from opaque pictures.
class HapVideoTimeline : public HapVideo {};

TEST_P(HapVideoTimeline, LoopsWithoutGapAndJoinsLateOnTheSamePicture) {
    ProjectModel model;
    model.setSurfaces({videoSurface(path_)});
    HapCanvas editor(model, backend(GetParam().blocks));
    ASSERT_TRUE(editor);
    const double start = 100.0;
    EXPECT_EQ(hapNumberShown(editor.draw(start)), 0);
    std::optional<HapCanvas> output;
    for (int step = 0; step < 60; ++step) {
        const double t = (step + 0.5) / 60.0;
        if (t > 0.55 && !output) {
            output.emplace(model, backend(GetParam().blocks));
            ASSERT_TRUE(*output);
        }
        const int shown = hapNumberShown(editor.draw(start + t));
        EXPECT_EQ(shown, dueNumber(t, hapClipFrames)) << "media time " << t;
        if (output) {
            EXPECT_EQ(hapNumberShown(output->draw(start + t)), shown) << "media time " << t;
        }
    }
}

TEST_P(HapVideoTimeline, RendersThePictureDueAtATime) {
    ProjectModel model;
    model.setSurfaces({videoSurface(path_)});
    for (const auto& [seconds, number] : std::vector<std::pair<double, int>>{
             {0.0, 0}, {0.2, 6}, {0.39, 11}, {0.41, 0}, {5.25, 1}}) {
        MediaBackend media = mediaBackendAt(seconds);
        if (!GetParam().blocks) {
            media.compressedTextures = {};
        }
        HapCanvas canvas(model, media);
        ASSERT_TRUE(canvas);
        EXPECT_EQ(hapNumberShown(canvas.draw(seconds)), number) << seconds << " s";
    }
}

std::vector<Case> cases() {
    const Variant variants[] = {
        {"hap one Snappy chunk", "format=hap:chunks=1:compressor=snappy", false},
        {"hap four Snappy chunks", "format=hap:chunks=4:compressor=snappy", false},
        {"hap stored", "format=hap:compressor=none", false},
        {"hap_alpha one Snappy chunk", "format=hap_alpha:chunks=1", true},
        {"hap_alpha three chunks", "format=hap_alpha:chunks=3", true},
        {"hap_alpha stored", "format=hap_alpha:compressor=none", true},
        {"hap_q one Snappy chunk", "format=hap_q:chunks=1", false},
        {"hap_q four Snappy chunks", "format=hap_q:chunks=4", false},
        {"hap_q stored", "format=hap_q:compressor=none", false},
    };
    std::vector<Case> all;
    for (const Variant& v : variants) {
        all.push_back({v, true});
        all.push_back({v, false});
    }
    return all;
}

// How frames are stored does not change when they are due: one storage of
// each opaque variant is enough for the timeline.
std::vector<Case> timelineCases() {
    std::vector<Case> some;
    for (const Case& c : cases()) {
        const std::string name = c.variant.name;
        if (name == "hap four Snappy chunks" || name == "hap_q one Snappy chunk") {
            some.push_back(c);
        }
    }
    return some;
}

std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    std::string name = param.param.variant.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name + (param.param.blocks ? "_AsBlocks" : "_DecodedToPixels");
}

INSTANTIATE_TEST_SUITE_P(Variants, HapVideo, ::testing::ValuesIn(cases()), caseName);
INSTANTIATE_TEST_SUITE_P(Variants, HapVideoTimeline, ::testing::ValuesIn(timelineCases()),
                         caseName);

// The variants FFmpeg's encoder does not make, built from solid blocks of
// colours that change from block to block and picture to picture.
std::vector<hap::Bytes> handMadeFrames(hap::Format format, int pictures) {
    std::vector<hap::Bytes> frames;
    for (int p = 0; p < pictures; ++p) {
        const auto block = [&](int bx, int by) {
            const int n = bx + by * 16 + p * 3;
            const hap::Rgb565 c{(n * 5) & 31, (n * 11) & 63, (n * 7 + 9) & 31};
            const auto level = static_cast<std::uint8_t>((n * 37) & 255);
            switch (format) {
            case hap::rgtc1:
                return hap::solidRgtc1(level);
            case hap::bptc:
                return hap::solidBptc({static_cast<std::uint8_t>(level & 0xFE), 100, 60,
                                       static_cast<std::uint8_t>(254 - (n & 0x7E))});
            default:
                return hap::solidDxt5(c, level);
            }
        };
        const hap::Bytes colour = hap::blocks(width, height, block);
        if (format == hap::scaledYCoCg) {
            const hap::Bytes alpha = hap::blocks(width, height, [&](int bx, int by) {
                return hap::solidRgtc1(static_cast<std::uint8_t>((bx * 40 + by * 9 + p) & 255));
            });
            frames.push_back(
                hap::multipleImages({hap::chunkedImage(format, colour, {3, {true, false}, true}),
                                     hap::simpleImage(hap::rgtc1, hap::snappy, alpha)}));
        } else {
            frames.push_back(hap::simpleImage(format, hap::snappy, colour));
        }
    }
    return frames;
}

TEST(HapVideoByHand, AlphaOnlyAndYCoCgWithAlphaMatchFFmpegBothWays) {
    ASSERT_TRUE(useGlContext());
    TempDir dir("render-hap-hand");
    struct Made {
        const char* fourcc;
        hap::Format format;
    };
    ScopedLogSink quiet([](std::string_view) {}); // the pixel path says it fell back
    for (const Made m : {Made{"HapM", hap::scaledYCoCg}, Made{"HapA", hap::rgtc1}}) {
        SCOPED_TRACE(m.fourcc);
        const std::string path = dir.file(std::string(m.fourcc) + ".mov");
        ASSERT_TRUE(
            hap::writeMovie(path, m.fourcc, width, height, 30, handMadeFrames(m.format, 3)));
        for (const bool blocks : {true, false}) {
            ProjectModel model;
            model.setSurfaces({videoSurface(path)});
            HapCanvas canvas(model, backend(blocks));
            ASSERT_TRUE(canvas);
            canvas.draw(1.0);
            for (const int picture : {0, 2}) {
                const Picture drawn = canvas.draw(1.0 + (picture + 0.5) / 30.0);
                const auto reference = ffmpegPicture(path, picture);
                ASSERT_EQ(reference.size(), drawn.rgba.size());
                EXPECT_LE(largestDifference(drawn, reference), blocks ? blockRounding : 1)
                    << "picture " << picture << (blocks ? " as blocks" : " decoded to pixels");
            }
        }
    }
}

TEST(HapVideoByHand, BptcPlaysAsBlocksWhereFFmpegHasNoDecoder) {
    ASSERT_TRUE(useGlContext());
    TempDir dir("render-hap7");
    // The QuickTime muxer here refuses Hap7; AVI carries it (FFmpeg then
    // knows the stream only by its four-character code).
    const std::string path = dir.file("hap7.avi");
    const auto frames = handMadeFrames(hap::bptc, 3);
    ASSERT_TRUE(hap::writeMovie(path, "Hap7", width, height, 30, frames));
    ProjectModel model;
    model.setSurfaces({videoSurface(path)});
    HapCanvas canvas(model, backend(true));
    ASSERT_TRUE(canvas);
    canvas.draw(1.0);
    const Picture drawn = canvas.draw(1.0 + 1.5 / 30.0); // picture 1
    for (int y = 0; y < height; y += 5) {
        for (int x = 0; x < width; x += 7) {
            const int n = x / 4 + (y / 4) * 16 + 3;
            const double a = (254 - (n & 0x7E)) / 255.0;
            const auto px = drawn.at(x, y);
            EXPECT_NEAR(px[0], (((n * 37) & 255) & 0xFE) * a, 1) << x << "," << y;
            EXPECT_NEAR(px[1], 100 * a, 1) << x << "," << y;
            EXPECT_NEAR(px[2], 60 * a, 1) << x << "," << y;
        }
    }
    // Without BPTC textures nothing here can decode it: the placeholder.
    HapCanvas without(model, backend(false));
    EXPECT_EQ(without.draw(1.0).at(10, 10), (std::array<int, 4>{38, 38, 43, 255}));
}

std::vector<std::string> hapPlaybackLog(const std::function<void()>& action) {
    std::vector<std::string> lines;
    ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    action();
    return lines;
}

TEST(HapVideoRoute, OneLogLinePerRendererOnlyWhenDecodedToPixels) {
    if (!fixtures::hasEncoder("hap")) {
        GTEST_SKIP() << "no hap encoder in this FFmpeg";
    }
    ASSERT_TRUE(useGlContext());
    TempDir dir("render-hap-log");
    fixtures::VideoSpec spec;
    spec.encoder = "hap";
    spec.width = width;
    spec.height = height;
    spec.frames = 3;
    const std::string hapFile = dir.file("a.mov");
    const std::string h264File = dir.file("b.mp4");
    ASSERT_TRUE(fixtures::writeVideo(hapFile, spec));
    spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    ASSERT_TRUE(fixtures::writeVideo(h264File, spec));
    ProjectModel model;
    model.setSurfaces({videoSurface(hapFile), videoSurface(hapFile), videoSurface(h264File)});
    for (const bool blocks : {true, false}) {
        const auto lines = hapPlaybackLog([&] {
            for (int r = 0; r < 2; ++r) {
                HapCanvas canvas(model, backend(blocks));
                ASSERT_TRUE(canvas);
                for (int i = 0; i < 4; ++i) {
                    canvas.draw(1.0 + i / 30.0);
                }
            }
        });
        if (blocks) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 2u); // one per renderer
            EXPECT_EQ(lines[0],
                      "Prismeta: HAP video decoded on the processor (compressed textures turned "
                      "off): " +
                          hapFile);
        }
    }
}

} // namespace
} // namespace prismeta::test
