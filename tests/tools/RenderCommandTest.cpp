// prismeta-cli render, run as a process: arguments, exit codes and the
// pixels of the PNG it writes.
#include "MediaFixtures.h"
#include "ToolRunner.h"
#include "streams/StreamSenders.h"

#include "core/OutputConfig.h"
#include "core/ProjectFile.h"
#include "core/Surface.h"
#include "geometry/UnwarpedPlacement.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <utility>
#include <vector>

namespace prismeta {
namespace {

namespace fs = std::filesystem;

struct Png {
    int width = 0;
    int height = 0;
    bool rgba = false;
    std::vector<std::uint8_t> pixels; // RGBA, row 0 at the top

    std::array<int, 4> at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) *
                              4;
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Decodes with FFmpeg's PNG decoder, independent of how the file was written.
std::optional<Png> decodePng(const fs::path& path) {
    const std::string bytes = readAll(path);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::optional<Png> png;
    if (avcodec_open2(ctx, codec, nullptr) == 0 &&
        av_new_packet(packet, static_cast<int>(bytes.size())) == 0) {
        std::copy(bytes.begin(), bytes.end(), packet->data);
        if (avcodec_send_packet(ctx, packet) == 0 && avcodec_receive_frame(ctx, frame) == 0) {
            png = Png{frame->width, frame->height, frame->format == AV_PIX_FMT_RGBA, {}};
            if (png->rgba) {
                for (int y = 0; y < frame->height; ++y) {
                    const std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
                    png->pixels.insert(png->pixels.end(), row, row + frame->width * 4);
                }
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return png;
}

class RenderCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "prismeta-render-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        out_ = (dir_ / "out.png").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // A 64 x 32 canvas: red over the left half of the top half, green over the
    // right half, and two outputs.
    std::string writeProject(float leftCropWidth = 0.5f,
                             const std::function<void(OutputConfig&, OutputConfig&)>& adjust = {}) {
        ProjectFile file;
        file.canvasWidth = 64;
        file.canvasHeight = 32;
        Surface red;
        red.corners = {{0, 0}, {0.5f, 0}, {0.5f, 0.5f}, {0, 0.5f}};
        red.mediaKind = MediaKind::color;
        red.color = {1, 0, 0, 1};
        Surface green = red;
        green.id = Uuid::random();
        green.corners = {{0.5f, 0}, {1, 0}, {1, 1}, {0.5f, 1}};
        green.color = {0, 1, 0, 1};
        file.surfaces = {red, green};
        OutputConfig left(Uuid::parse("15F391A5-AAAA-49EE-A7E1-9C0EC4D3C6F5").value());
        left.name = "Left";
        left.cropWidth = leftCropWidth;
        OutputConfig right(Uuid::parse("FC46EB9C-F1B4-4167-A74B-1E51E33AA5A7").value());
        right.name = "Right";
        right.cropX = 0.5f;
        right.cropWidth = 0.5f;
        right.blendLeft = 0.25f;
        if (adjust) {
            adjust(left, right);
        }
        file.outputs = {left, right};
        const std::string path = (dir_ / "project.prismeta.json").string();
        std::ofstream(path, std::ios::binary) << writeProjectFile(file).value();
        return path;
    }

    static testing::ToolRun run(std::vector<std::string> args) {
        args.insert(args.begin(), "render");
        return testing::runTool(PRISMETA_CLI, args);
    }

    fs::path dir_;
    std::string out_;
};

TEST_F(RenderCommand, CanvasAtItsOwnSizeWithRowZeroAtTheTop) {
    const testing::ToolRun r = run({writeProject(), "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->rgba);
    ASSERT_EQ(png->width, 64);
    ASSERT_EQ(png->height, 32);
    EXPECT_EQ(png->at(5, 5), (std::array{255, 0, 0, 255}));
    EXPECT_EQ(png->at(5, 25), (std::array{0, 0, 0, 255}));
    EXPECT_EQ(png->at(40, 25), (std::array{0, 255, 0, 255}));
    // The right output's blend ramp belongs to outputs only.
    EXPECT_EQ(png->at(32, 5), (std::array{0, 255, 0, 255}));
}

TEST_F(RenderCommand, OutputByIdIndexOrNameAtItsCropSizeWithItsRamp) {
    const std::string project = writeProject();
    for (const std::string selector : {"fc46eb9c-f1b4-4167-a74b-1e51e33aa5a7", "1", "Right"}) {
        const testing::ToolRun r = run({project, "--output", selector, "-o", out_});
        ASSERT_EQ(r.exitCode, 0) << selector << ": " << r.err;
        const auto png = decodePng(out_);
        ASSERT_TRUE(png);
        ASSERT_EQ(png->width, 32) << selector;
        ASSERT_EQ(png->height, 32) << selector;
        // The right half is green; its left quarter (8 pixels) ramps from black.
        EXPECT_LE(png->at(0, 10)[1], 20) << selector;
        EXPECT_NEAR(png->at(4, 10)[1], 255 * 4.5 / 8, 2) << selector;
        EXPECT_EQ(png->at(20, 10), (std::array{0, 255, 0, 255})) << selector;
    }
}

TEST_F(RenderCommand, OutputsDrawTheirBlendCurveAndBlackLevelFromTheFile) {
    const std::string project = writeProject(0.5f, [](OutputConfig& left, OutputConfig& right) {
        left.blackLevel = {0.0f, 0.0f, 0.1f};
        right.blendGamma = 2.0f;
    });
    testing::ToolRun r = run({project, "--output", "Right", "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_NEAR(png->at(4, 10)[1], 255 * std::sqrt(4.5 / 8), 1.5);
    EXPECT_EQ(png->at(20, 10), (std::array{0, 255, 0, 255}));

    r = run({project, "--output", "Left", "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_NEAR(png->at(5, 5)[2], 25.5, 1.0);  // red, lifted
    EXPECT_NEAR(png->at(5, 25)[2], 25.5, 1.0); // black, lifted
    EXPECT_EQ(png->at(5, 25)[0], 0);
}

TEST_F(RenderCommand, MasksOfSurfacesAndOutputsAreDrawnAndCounted) {
    const auto box = [](float x0, float y0, float x1, float y1, bool invert) {
        Mask m;
        m.points = {MaskPoint{x0, y0, {}, {}}, MaskPoint{x1, y0, {}, {}}, MaskPoint{x1, y1, {}, {}},
                    MaskPoint{x0, y1, {}, {}}};
        m.invert = invert;
        return m;
    };
    // The right output keeps its light off canvas x 0.75 to 1, y 0 to 0.5; the
    // green surface shows only its picture's top half.
    const std::string project = writeProject(0.5f, [&](OutputConfig&, OutputConfig& right) {
        right.masks = {box(0.75f, 0, 1, 0.5f, true)};
    });
    std::stringstream text;
    text << std::ifstream(project, std::ios::binary).rdbuf();
    ProjectFile file = readProjectFile(text.str()).value();
    file.surfaces[1].masks = {box(0, 0, 1, 0.5f, false)};
    std::ofstream(project, std::ios::binary | std::ios::trunc) << writeProjectFile(file).value();

    testing::ToolRun r = run({project, "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->at(40, 5), (std::array{0, 255, 0, 255}));
    EXPECT_EQ(png->at(40, 25), (std::array{0, 0, 0, 255}));

    r = run({project, "--output", "Right", "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->at(12, 5), (std::array{0, 255, 0, 255}));
    EXPECT_EQ(png->at(20, 5), (std::array{0, 0, 0, 255}));  // the window
    EXPECT_EQ(png->at(12, 25), (std::array{0, 0, 0, 255})); // the surface's mask

    r = testing::runTool(PRISMETA_CLI, {"validate", project});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 surfaces, 2 outputs, canvas 64x32, 2 masks\n");
}

TEST_F(RenderCommand, SizeStretchesThePicture) {
    const testing::ToolRun r =
        run({writeProject(), "-o", out_, "--size", "16x4", "--output", "Left"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto png = decodePng(out_);
    ASSERT_TRUE(png);
    ASSERT_EQ(png->width, 16);
    ASSERT_EQ(png->height, 4);
    EXPECT_EQ(png->at(15, 1), (std::array{255, 0, 0, 255})); // the left crop is all red on top
    EXPECT_EQ(png->at(15, 2), (std::array{0, 0, 0, 255}));
}

TEST_F(RenderCommand, AWarpedOutputIsItsRasterAndValidateAndNormalizeKnowWarpsAndMaps) {
    const std::string missingMap = (dir_ / "maps" / "left.png").string();
    const std::string project = writeProject(0.5f, [&](OutputConfig& left, OutputConfig&) {
        left.warp = OutputWarp{};
        left.warp->corners = {Pt{0.25f, 0.25f}, Pt{0.75f, 0.25f}, Pt{0.75f, 0.75f},
                              Pt{0.25f, 0.75f}};
        // A smooth 2 x 1 mesh over the same square: the same picture, and
        // the mesh for normalize to carry.
        left.warp->mesh = WarpMesh{2,
                                   1,
                                   {Pt{0.25f, 0.25f}, Pt{0.5f, 0.25f}, Pt{0.75f, 0.25f},
                                    Pt{0.25f, 0.75f}, Pt{0.5f, 0.75f}, Pt{0.75f, 0.75f}},
                                   WarpMesh::Interpolation::smooth};
        left.blendMap = missingMap;
    });
    testing::ToolRun r = run({project, "--output", "Left", "--size", "64x32", "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // A map that is not there leaves the full light, and says so.
    EXPECT_NE(r.err.find("blend map cannot be read: " + missingMap), std::string::npos) << r.err;
    auto png = decodePng(out_);
    ASSERT_TRUE(png);
    ASSERT_EQ(png->width, 64);
    // The crop (red above, black below) shrunk into the raster's middle.
    EXPECT_EQ(png->at(32, 12), (std::array{255, 0, 0, 255}));
    EXPECT_EQ(png->at(32, 20), (std::array{0, 0, 0, 255}));
    for (const auto& [x, y] : {std::pair{4, 4}, std::pair{60, 4}, std::pair{4, 28}}) {
        EXPECT_EQ(png->at(x, y), (std::array{0, 0, 0, 255})) << x << "," << y;
    }
    EXPECT_EQ(png->at(14, 12), (std::array{0, 0, 0, 255}));

    r = testing::runTool(PRISMETA_CLI, {"validate", project});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 surfaces, 2 outputs, canvas 64x32, 1 warped output, 1 smooth mesh, "
                     "1 blend map (1 missing)\n");
    EXPECT_EQ(r.err, "prismeta-cli: media not found: " + missingMap + " (the blend map of Left)\n");

    const std::string normalized = (dir_ / "normalized.json").string();
    r = testing::runTool(PRISMETA_CLI, {"normalize", project, "-o", normalized});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::stringstream before, after;
    before << std::ifstream(project, std::ios::binary).rdbuf();
    after << std::ifstream(normalized, std::ios::binary).rdbuf();
    EXPECT_EQ(before.str(), after.str());
    EXPECT_NE(after.str().find("\"mesh\""), std::string::npos);
    EXPECT_NE(after.str().find("\"interpolation\": \"smooth\""), std::string::npos);
    EXPECT_NE(after.str().find("\"blendMap\""), std::string::npos);
}

TEST_F(RenderCommand, WithoutSizeAnOutputIsItsDisplaysRasterAsItsWindowShowsIt) {
    // Left's 32 x 32 crop on a 48 x 32 projector: letterboxed, 8-pixel bars.
    // Right shows the same crop through the warp the editor starts from.
    const OutputDisplay display{"HDMI-1", ScreenRect{0, 0, 48, 32}, true};
    const std::string project = writeProject(0.5f, [&](OutputConfig& left, OutputConfig& right) {
        left.display = display;
        right.cropX = 0;
        right.blendLeft = 0;
        right.display = display;
        right.warp = unwarpedPlacement(32, 32, 48, 32);
    });
    std::vector<Png> renders;
    for (const char* name : {"Left", "Right"}) {
        const testing::ToolRun r = run({project, "--output", name, "-o", out_});
        ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
        auto png = decodePng(out_);
        ASSERT_TRUE(png) << name;
        ASSERT_EQ(png->width, 48) << name;
        ASSERT_EQ(png->height, 32) << name;
        for (int y : {2, 13, 18, 29}) {
            const std::array<int, 4> picture =
                y < 16 ? std::array{255, 0, 0, 255} : std::array{0, 0, 0, 255};
            for (int x : {0, 7, 47, 40}) {
                EXPECT_EQ(png->at(x, y), (std::array{0, 0, 0, 255}))
                    << name << " " << x << "," << y;
            }
            for (int x : {8, 24, 39}) {
                EXPECT_EQ(png->at(x, y), picture) << name << " " << x << "," << y;
            }
        }
        renders.push_back(std::move(*png));
    }
    // The same picture in the same place: pixel for pixel, but for the warp
    // pass's filter, which softens the red edge inside it (rows 15 and 16)
    // by an eighth at most.
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 48; ++x) {
            const std::array<int, 4> a = renders[0].at(x, y);
            const std::array<int, 4> b = renders[1].at(x, y);
            const int tolerance = y == 15 || y == 16 ? 32 : 0;
            for (int c = 0; c < 4; ++c) {
                EXPECT_LE(std::abs(a[c] - b[c]), tolerance) << x << "," << y << " channel " << c;
            }
        }
    }

    // A warp without a screen has no raster to go on: the size is asked for.
    const std::string unplaced = writeProject(0.5f, [](OutputConfig& left, OutputConfig&) {
        left.warp = unwarpedPlacement(32, 32, 48, 32);
    });
    const testing::ToolRun r = run({unplaced, "--output", "Left", "-o", out_});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Left has a warp but no screen"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--size WxH"), std::string::npos) << r.err;
}

TEST_F(RenderCommand, TimeIsAccepted) {
    const std::string project = writeProject();
    for (const auto& args : {std::vector<std::string>{project, "-o", out_, "--time", "0"},
                             std::vector<std::string>{project, "--time", "2.5", "-o", out_}}) {
        const testing::ToolRun r = run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
}

// A 64 x 48 canvas covered by one video surface, so the PNG is the picture.
// A project whose surfaces show the given media, one beside the other.
std::string writeMediaProject(const fs::path& dir,
                              const std::vector<std::pair<MediaKind, std::string>>& media) {
    ProjectFile file;
    file.canvasWidth = 64;
    file.canvasHeight = 48;
    for (std::size_t i = 0; i < media.size(); ++i) {
        Surface surface;
        const float left = static_cast<float>(i) / static_cast<float>(media.size());
        const float right = static_cast<float>(i + 1) / static_cast<float>(media.size());
        surface.corners = {{left, 0}, {right, 0}, {right, 1}, {left, 1}};
        surface.mediaKind = media[i].first;
        surface.mediaPath = media[i].second;
        file.surfaces.push_back(surface);
    }
    const std::string path = (dir / "media.prismeta.json").string();
    std::ofstream(path, std::ios::binary) << writeProjectFile(file).value();
    return path;
}

std::string writeVideoProject(const fs::path& dir, const std::string& video) {
    return writeMediaProject(dir, {{MediaKind::video, video}});
}

TEST_F(RenderCommand, TimeShowsThePictureDueInContainersThatSeekByDecodeTimeOrIndex) {
    struct Clip {
        const char* file;
        const char* encoder;
        int bFrames;
        int gop;
    };
    // Eight pictures at 25 fps: a loop of 0.32 s.
    for (const Clip clip :
         {Clip{"clip.ts", "libx264", 2, 4}, Clip{"one-key.m2ts", "libx264", 0, 8},
          Clip{"clip.avi", "mpeg4", 2, 4}, Clip{"clip.mpg", "mpeg2video", 2, 4}}) {
        fixtures::VideoSpec spec;
        spec.encoder = clip.encoder;
        spec.frames = 8;
        spec.fps = 25;
        spec.bFrames = clip.bFrames;
        spec.gop = clip.gop;
        const std::string video = (dir_ / clip.file).string();
        ASSERT_TRUE(fixtures::writeVideo(video, spec)) << clip.file;
        const std::string project = writeVideoProject(dir_, video);
        // 0.5 s is picture 4 of the second loop, 1.3 s picture 0 of the fifth.
        for (const auto& [time, picture] :
             std::vector<std::pair<std::string, int>>{{"0", 0}, {"0.5", 4}, {"1.3", 0}}) {
            const testing::ToolRun r = run({project, "-o", out_, "--time", time});
            ASSERT_EQ(r.exitCode, 0) << clip.file << " at " << time << ": " << r.err;
            const auto png = decodePng(out_);
            ASSERT_TRUE(png && png->rgba);
            EXPECT_EQ(fixtures::frameNumberOf(png->pixels.data(), png->width * 4, png->width,
                                              png->height),
                      picture)
                << clip.file << " at " << time;
        }
    }
}

// Each file at fault gets one line that names it and says what is wrong: not
// there, or not decodable with FFmpeg's reason. A video without a picture
// fails the render (exit 1); a still is drawn as the placeholder (exit 0).
TEST_F(RenderCommand, MissingAndUndecodableMediaAreNamedOneLineEach) {
    const std::string text = (dir_ / "text.mp4").string();
    std::ofstream(text) << std::string(5000, 'x');
    const std::string textStill = (dir_ / "text.png").string();
    std::ofstream(textStill) << std::string(5000, 'x');
    const std::string missing = (dir_ / "missing.ts").string();
    const std::string missingStill = (dir_ / "missing.png").string();
    const std::string undecodable = ": Invalid data found when processing input\n";

    testing::ToolRun r = run({writeVideoProject(dir_, text), "-o", out_, "--time", "1.5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "prismeta-cli: media cannot be decoded: " + text + undecodable);
    r = run({writeVideoProject(dir_, missing), "-o", out_, "--time", "1.5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "prismeta-cli: media not found: " + missing + "\n");
    EXPECT_FALSE(fs::exists(out_));

    // Stills, each used twice: one line each all the same.
    r = run({writeMediaProject(dir_, {{MediaKind::image, missingStill},
                                      {MediaKind::image, textStill},
                                      {MediaKind::image, missingStill},
                                      {MediaKind::image, textStill}}),
             "-o", out_});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "prismeta-cli: media not found: " + missingStill +
                         "\nprismeta-cli: media cannot be decoded: " + textStill + undecodable);
    EXPECT_TRUE(fs::exists(out_));
}

// A live surface beside a colour: its first picture within --live-wait, or
// the placeholder with one line naming the source (and exit 0, as a still
// without a picture); validate lists the source without opening it.
TEST_F(RenderCommand, LiveSourcesShowTheirFirstPictureOrThePlaceholderWithALine) {
    const std::string url = "udp://127.0.0.1:" + std::to_string(testing::freeUdpPort());
    const std::string project =
        writeMediaProject(dir_, {{MediaKind::live, url}, {MediaKind::color, ""}});
    const testing::ToolRun v = testing::runTool(PRISMETA_CLI, {"validate", project});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, "2 surfaces, 0 outputs, canvas 64x48, 1 live source\nlive source " + url +
                         ": Surface\n");

    testing::ToolRun r = run({project, "-o", out_, "--live-wait", "0.3"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "prismeta-cli: no picture from the live source " + url +
                         " in 0.3 s; its surface shows the placeholder\n");
    auto png = decodePng(out_);
    ASSERT_TRUE(png && png->rgba);
    EXPECT_EQ(png->at(16, 24), (std::array{38, 38, 43, 255}));

    testing::StreamSender sender(testing::SenderPicture{},
                                 {"-f", "mpegts", url + "?pkt_size=1316"});
    r = run({project, "-o", out_, "--live-wait", "30"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    png = decodePng(out_);
    ASSERT_TRUE(png && png->rgba);
    EXPECT_GT(png->at(16, 24)[0], 215); // the sender's red
    EXPECT_LT(png->at(16, 24)[1], 40);

    EXPECT_EQ(run({project, "-o", out_, "--live-wait", "soon"}).exitCode, 2);
    EXPECT_EQ(run({project, "-o", out_, "--live-wait", "1", "--live-wait", "2"}).exitCode, 2);
}

// A source that listens on a port another program holds (a running show,
// here a socket bound without sharing) cannot get a picture however long it
// waits: that is said, with how it was found, and the render fails.
TEST_F(RenderCommand, ALiveSourceWhosePortIsTakenFailsSayingSo) {
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    for (const std::string& url : {"udp://@:" + std::to_string(ntohs(address.sin_port)),
                                   "udp://127.0.0.1:" + std::to_string(ntohs(address.sin_port))}) {
        const std::string project = writeMediaProject(dir_, {{MediaKind::live, url}});
        const testing::ToolRun r = run({project, "-o", out_, "--live-wait", "1"});
        EXPECT_EQ(r.exitCode, 1) << url;
        EXPECT_EQ(r.err, "prismeta-cli: the live source " + url +
                             " cannot listen: its port is taken by another program (binding it "
                             "failed: Address already in use)\n");
        EXPECT_FALSE(fs::exists(out_));
    }
    ::close(holder);
}

TEST_F(RenderCommand, WrongArgumentsExitTwo) {
    const std::string project = writeProject();
    const std::vector<std::vector<std::string>> wrong = {
        {project},
        {"-o", out_},
        {project, "-o"},
        {project, "-o", out_, "--size", "0x10"},
        {project, "-o", out_, "--size", "10x"},
        {project, "-o", out_, "--size", "-5x5"},
        {project, "-o", out_, "--size", "1.5x2"},
        {project, "-o", out_, "--size", "10x10x10"},
        {project, "-o", out_, "--size", " 10x10"},
        {project, "-o", out_, "--time", "-1"},
        {project, "-o", out_, "--time", "abc"},
        {project, "-o", out_, "--time", "nan"},
        {project, "-o", out_, "--time", "inf"},
        {project, "-o", out_, "--time", "1s"},
        {project, "-o", out_, "--frobnicate"},
        {project, project, "-o", out_},
    };
    for (const auto& args : wrong) {
        const testing::ToolRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("usage"), std::string::npos) << args.back();
    }
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(RenderCommand, ProjectAndSelectionFailuresExitOne) {
    const testing::ToolRun missing = run({(dir_ / "missing.json").string(), "-o", out_});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.rfind("Prismeta: failed to load project: ", 0), 0u) << missing.err;

    const std::string project = writeProject();
    for (const std::string selector : {"2", "right", "Nope", "-1"}) {
        const testing::ToolRun r = run({project, "--output", selector, "-o", out_});
        EXPECT_EQ(r.exitCode, 1) << selector;
        EXPECT_NE(r.err.find("no output matches"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(RenderCommand, ImpossibleDefaultSizeExitsOneUnlessSizeIsGiven) {
    const std::string project = writeProject(0.0f); // the left output's crop is 0 wide
    const testing::ToolRun r = run({project, "--output", "Left", "-o", out_});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("--size"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out_));

    const testing::ToolRun sized = run({project, "--output", "Left", "-o", out_, "--size", "8x8"});
    EXPECT_EQ(sized.exitCode, 0) << sized.err;
    const auto png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->at(4, 4), (std::array{0, 0, 0, 255})); // nothing to show in a 0-wide crop

    for (const std::string size : {"1000000x1", "1x99999999999"}) {
        const testing::ToolRun huge = run({project, "-o", out_, "--size", size});
        EXPECT_EQ(huge.exitCode, 1) << size;
        EXPECT_NE(huge.err.find("limit"), std::string::npos) << huge.err;
    }
}

TEST_F(RenderCommand, MediaThatMovedWithTheProjectAreFoundBesideIt) {
    // Saved on another machine: the still's absolute path is not here, but
    // the file lies in the project's media folder.
    fs::create_directories(dir_ / "show/media");
    ASSERT_TRUE(
        fixtures::writeStill((dir_ / "show/media/still.png").string(), "png", 4, 4, [](int, int) {
            return fixtures::Rgba8{20, 40, 220, 255};
        }));
    ProjectFile file;
    file.canvasWidth = 16;
    file.canvasHeight = 16;
    Surface moved;
    moved.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    moved.mediaKind = MediaKind::image;
    moved.mediaPath = "/Volumes/Stage/show/media/still.png";
    Surface lost = moved;
    lost.id = Uuid::random();
    lost.corners = {{0.5f, 0.5f}, {1, 0.5f}, {1, 1}, {0.5f, 1}};
    lost.mediaPath = "/Volumes/Stage/show/media/lost.png";
    file.surfaces = {moved, lost};
    const fs::path project = dir_ / "show/show.prismeta.json";
    std::ofstream(project, std::ios::binary) << writeProjectFile(file).value();

    const testing::ToolRun r = run({project.string(), "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto png = decodePng(out_);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->at(2, 2), (std::array{20, 40, 220, 255}));
    EXPECT_EQ(png->at(13, 13), (std::array{38, 38, 43, 255})); // the placeholder
}

} // namespace
} // namespace prismeta

namespace prismeta {
namespace {

// A red surface on the left half; cue 1 turns it blue over 2 s, cue 2 dims
// it to half over 4 s and is scheduled daily at 18:00.
class CueRender : public RenderCommand {
protected:
    std::string writeCueProject() {
        ProjectFile file;
        file.canvasWidth = 64;
        file.canvasHeight = 32;
        Surface red;
        red.corners = {{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}};
        red.mediaKind = MediaKind::color;
        red.color = {1, 0, 0, 1};
        file.surfaces = {red};
        Cue blue;
        blue.name = "Blue";
        blue.fade = 2.0;
        blue.looks.push_back(CueLook{});
        blue.looks[0].surface = red.id;
        blue.looks[0].color = RGBA{0, 0, 1, 1};
        Cue dim;
        dim.name = "Dim";
        dim.fade = 4.0;
        dim.schedule = CueSchedule{18 * 3600, CueSchedule::everyDay};
        dim.looks.push_back(CueLook{});
        dim.looks[0].surface = red.id;
        dim.looks[0].opacity = 0.5;
        file.cues = {blue, dim};
        const std::string path = (dir_ / "cues.prismeta.json").string();
        std::ofstream(path, std::ios::binary) << writeProjectFile(file).value();
        return path;
    }

    std::array<int, 4> leftPixel(std::vector<std::string> args) {
        args.insert(args.begin(), {writeCueProject(), "-o", out_});
        const testing::ToolRun r = run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto png = decodePng(out_);
        return png ? png->at(8, 16) : std::array{-1, -1, -1, -1};
    }
};

void expectNear(const std::array<int, 4>& px, double r, double g, double b) {
    EXPECT_NEAR(px[0], r, 1.0);
    EXPECT_NEAR(px[1], g, 1.0);
    EXPECT_NEAR(px[2], b, 1.0);
}

TEST_F(CueRender, CuesInOrderWithTheLastOneSecondsAfterItsGo) {
    expectNear(leftPixel({}), 255, 0, 0);
    expectNear(leftPixel({"--cue", "Blue"}), 0, 0, 255);
    expectNear(leftPixel({"--cue", "1", "--after", "1"}), 127.5, 0, 127.5);
    expectNear(leftPixel({"--cue", "2"}), 0, 0, 127.5); // tracked through cue 1
    expectNear(leftPixel({"--cue", "Blue", "--cue", "Dim", "--after", "2"}), 0, 0, 191.25);
    expectNear(leftPixel({"--at", "2026-12-24T18:30"}), 0, 0, 127.5);
}

TEST_F(CueRender, ShaderInputsInLooksFadeAtTheFrameAsked) {
    ProjectFile file;
    file.canvasWidth = 16;
    file.canvasHeight = 16;
    Surface shader;
    shader.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    shader.mediaKind = MediaKind::shader;
    shader.mediaPath = (dir_ / "tint.fs").string();
    std::ofstream(*shader.mediaPath) << R"(/*{"INPUTS": [
        {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 0, 0, 1]}]}*/
void main() { gl_FragColor = tint; })";
    file.surfaces = {shader};
    Cue green;
    green.fade = 2.0;
    green.looks.push_back(CueLook{});
    green.looks[0].surface = shader.id;
    green.looks[0].shaderInputs = ShaderInputs{{"tint", ShaderInputValue::ofColor(0, 1, 0, 1)}};
    file.cues = {green};
    const std::string path = (dir_ / "shader-cue.prismeta.json").string();
    std::ofstream(path, std::ios::binary) << writeProjectFile(file).value();
    for (const auto& [after, r, g] :
         {std::tuple{"0.5", 191.25, 63.75}, {"1", 127.5, 127.5}, {"2", 0.0, 255.0}}) {
        const testing::ToolRun rendered = run({path, "-o", out_, "--cue", "1", "--after", after});
        ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
        const auto png = decodePng(out_);
        ASSERT_TRUE(png);
        expectNear(png->at(8, 8), r, g, 0);
    }
}

TEST_F(CueRender, UnknownCuesExitOneAndMalformedValuesTwo) {
    const std::string project = writeCueProject();
    const testing::ToolRun unknown = run({project, "-o", out_, "--cue", "Nope"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no cue matches 'Nope'"), std::string::npos) << unknown.err;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--cue", "1", "--after", "soon"},
          std::vector<std::string>{"--after", "1"}, std::vector<std::string>{"--at", "tomorrow"},
          std::vector<std::string>{"--at", "2026-13-01T10:00"}}) {
        std::vector<std::string> full = {project, "-o", out_};
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(run(full).exitCode, 2) << args.back();
    }
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(CueRender, CuesCommandListsOneLineEach) {
    const testing::ToolRun r = testing::runTool(PRISMETA_CLI, {"cues", writeCueProject()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::string first;
    std::string second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first.rfind("1\t", 0), 0u) << first;
    EXPECT_NE(first.find("\tBlue\t2s\t-\t-"), std::string::npos) << first;
    EXPECT_NE(second.find("\tDim\t4s\t-\t18:00"), std::string::npos) << second;
}

// A 16 x 16 canvas covered by one shader surface.
std::string writeShaderProject(const fs::path& dir, const std::string& code) {
    const fs::path shader = dir / "shader.fs";
    std::ofstream(shader, std::ios::binary) << code;
    ProjectFile file;
    file.canvasWidth = 16;
    file.canvasHeight = 16;
    Surface surface;
    surface.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    surface.mediaKind = MediaKind::shader;
    surface.mediaPath = shader.string();
    file.surfaces = {surface};
    const std::string path = (dir / "shader.prismeta.json").string();
    std::ofstream(path, std::ios::binary) << writeProjectFile(file).value();
    return path;
}

TEST_F(RenderCommand, ShadersRenderAtTheTimeGivenAndValidateReportsCompileErrors) {
    const std::string project = writeShaderProject(
        dir_, "/*{}*/\nvoid main() { gl_FragColor = vec4(TIME / 10.0, 0.0, 1.0, 1.0); }\n");
    const testing::ToolRun r = run({project, "--time", "2.5", "-o", out_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto png = decodePng(out_);
    ASSERT_TRUE(png && png->rgba);
    EXPECT_NEAR(png->at(8, 8)[0], 0.25 * 255, 1.0);
    EXPECT_EQ(png->at(8, 8)[2], 255);
    EXPECT_EQ(testing::runTool(PRISMETA_CLI, {"validate", project}).exitCode, 0);

    const std::string broken =
        writeShaderProject(dir_, "/*{}*/\nvoid main() { gl_FragColor = vec4(nothing); }\n");
    const testing::ToolRun v = testing::runTool(PRISMETA_CLI, {"validate", broken});
    EXPECT_EQ(v.exitCode, 1);
    EXPECT_NE(v.err.find("shader.fs: "), std::string::npos) << v.err;
    EXPECT_NE(v.err.find("nothing"), std::string::npos) << v.err;
}

} // namespace
} // namespace prismeta

namespace prismeta {
namespace {

// A surface playing a video once, of eight pictures at 25 fps (0.32 s): past
// its end a render shows its last picture; the videos a cue starts are shown
// --after seconds into them, and one a cue keeps running (restart off) as
// long done.
TEST_F(RenderCommand, OncePlayingVideosHoldTheirLastPictureAndCuesRestartThemOrNot) {
    fixtures::VideoSpec spec;
    spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    spec.frames = 8;
    spec.fps = 25;
    const std::string video = (dir_ / "once.mp4").string();
    ASSERT_TRUE(fixtures::writeVideo(video, spec));
    ProjectFile file;
    file.canvasWidth = 32;
    file.canvasHeight = 32;
    Surface surface;
    surface.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    surface.mediaKind = MediaKind::video;
    surface.mediaPath = video;
    surface.playback = VideoPlayback::once;
    CueLook play;
    play.surface = surface.id;
    play.mediaKind = MediaKind::video;
    play.mediaPath = video;
    CueLook keep = play;
    keep.restart = false;
    file.cues = {Cue(), Cue(), Cue()};
    file.cues[0].looks = {play};
    file.cues[1].looks = {play};
    file.cues[2].looks = {keep};
    surface.mediaKind = MediaKind::color; // the project's own look: no video
    file.surfaces = {surface};
    const std::string project = (dir_ / "once.prismeta.json").string();
    std::ofstream(project, std::ios::binary) << writeProjectFile(file).value();
    surface.mediaKind = MediaKind::video;
    file.surfaces = {surface};
    file.cues.clear();
    const std::string plain = (dir_ / "plain.prismeta.json").string();
    std::ofstream(plain, std::ios::binary) << writeProjectFile(file).value();

    const auto shown = [&](const std::string& path, std::vector<std::string> args) {
        args.insert(args.begin(), {path, "-o", out_});
        const testing::ToolRun r = run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto png = decodePng(out_);
        return png && png->rgba ? fixtures::frameNumberOf(png->pixels.data(), png->width * 4,
                                                          png->width, png->height)
                                : -1;
    };
    EXPECT_EQ(shown(plain, {"--time", "0.2"}), 5);
    EXPECT_EQ(shown(plain, {"--time", "0.4"}), 7);
    EXPECT_EQ(shown(plain, {"--time", "30"}), 7);
    EXPECT_EQ(shown(project, {"--cue", "1", "--after", "0.2"}), 5);
    EXPECT_EQ(shown(project, {"--cue", "1", "--cue", "2", "--after", "0.2"}), 5);
    EXPECT_EQ(shown(project, {"--cue", "1", "--cue", "3", "--after", "0.2"}), 7);
    EXPECT_EQ(shown(project, {"--cue", "3", "--after", "0.1"}), 2); // switched to by the Go To
}

} // namespace
} // namespace prismeta
