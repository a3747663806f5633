// HAP files that lie, through a renderer with the FFmpeg backend playing
// them as GPU blocks: intact containers around frames whose sections,
// chunk tables or sizes are wrong, pictures claiming absurd sizes, frames
// in a block format the renderer was not given, and cut or bit-flipped
// copies of good files of every variant. Nothing may crash; a file without
// a good frame shows the placeholder, a file whose good frames are followed
// by bad ones keeps its last good picture, memory stays bounded, and
// releasing the renderer ends every decoding thread.
#include "GlTestSupport.h"
#include "HapFixtures.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include "core/ProjectModel.h"
#include "media/VideoPlayer.h"
#include "render/FFmpegMediaBackend.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <random>

namespace prismeta::test {
namespace {

namespace hap = fixtures::hap;
using hap::Bytes;
using testfiles::TempDir;

const std::array<int, 4> hapPlaceholder = {38, 38, 43, 255};
constexpr int side = 32;

Bytes redBlocks(hap::Format format) {
    return hap::blocks(side, side, [&](int, int) {
        switch (format) {
        case hap::dxt1:
            return hap::solidDxt1({31, 0, 0});
        case hap::rgtc1:
            return hap::solidRgtc1(200);
        case hap::bptc:
            return hap::solidBptc({254, 0, 0, 254});
        default:
            return hap::solidDxt5({31, 0, 0}, 255);
        }
    });
}

// Overwrites the little-endian 32-bit value at byte `at`.
Bytes patched(Bytes frame, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) {
        frame[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    return frame;
}

struct HostileHap {
    std::string name;
    bool showsPicture; // a good frame comes first
    std::string path;
};

std::vector<HostileHap> makeFiles(const TempDir& dir) {
    std::vector<HostileHap> files;
    const auto movie = [&](const std::string& name, const char* fourcc, int w, int h,
                           const std::vector<Bytes>& frames, bool showsPicture) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(hap::writeMovie(path, fourcc, w, h, 10, frames)) << name;
        files.push_back({name, showsPicture, path});
    };
    Bytes shortBlocks = redBlocks(hap::dxt5);
    shortBlocks.resize(shortBlocks.size() - 16);
    const Bytes good =
        hap::chunkedImage(hap::dxt5, redBlocks(hap::dxt5), {2, {true, false}, true, true});
    // With long headers: frame header 0..7, container header 8..15.
    const std::vector<std::pair<std::string, Bytes>> lies = {
        {"frame size past the packet", patched(good, 4, static_cast<std::uint32_t>(good.size()))},
        {"frame size of 4 GiB", patched(good, 4, 0xFFFFFFFFu)},
        {"container past the frame", patched(good, 12, 0x7FFFFFFFu)},
        {"unknown top-level type", patched(good, 0, 0x9E000000u)},
        {"chunk data cut off",
         Bytes(good.begin(), good.begin() + static_cast<long>(good.size() * 3 / 4))},
        {"one block short", hap::simpleImage(hap::dxt5, hap::snappy, shortBlocks)},
        {"twice the picture",
         hap::simpleImage(hap::dxt5, hap::snappy,
                          hap::concat({redBlocks(hap::dxt5), redBlocks(hap::dxt5)}))},
        {"corrupt Snappy data",
         [] {
             Bytes b = hap::simpleImage(hap::dxt5, hap::snappy, redBlocks(hap::dxt5));
             for (std::size_t i = 8; i < b.size(); i += 3) {
                 b[i] = static_cast<std::uint8_t>(b[i] * 31 + 7);
             }
             return b;
         }()},
        {"empty frame", Bytes{}},
    };
    for (std::size_t i = 0; i < lies.size(); ++i) {
        const std::string name = "lie-" + std::to_string(i) + ".mov";
        movie(name, "Hap5", side, side, {lies[i].second, lies[i].second}, false);
        files.back().name = lies[i].first;
        // The same lie after a good frame: the good picture stays.
        movie("after-good-" + name, "Hap5", side, side, {good, lies[i].second, lies[i].second},
              true);
        files.back().name = lies[i].first + ", after a good frame";
    }
    // Pictures claiming more than any texture or than memory allows.
    movie("huge.mov", "Hap1", 60000, 60000,
          {hap::simpleImage(hap::dxt1, hap::asIs, redBlocks(hap::dxt1))}, false);
    files.back().name = "60,000 x 60,000 pixels claimed";
    movie("wide.mov", "Hap1", 65532, 4,
          {hap::simpleImage(hap::dxt1, hap::asIs, redBlocks(hap::dxt1))}, false);
    files.back().name = "wider than any texture";
    // A HAP Q file whose frames are BPTC, which the renderer in this test is
    // not given: every frame is refused rather than uploaded in a format the
    // driver may lack.
    movie("foreign-format.mov", "HapY", side, side,
          {hap::simpleImage(hap::bptc, hap::snappy, redBlocks(hap::bptc))}, false);
    files.back().name = "frames in a block format the renderer lacks";

    // Cut and bit-flipped copies of good files of the three encoder variants.
    for (const char* format : {"hap", "hap_alpha", "hap_q"}) {
        fixtures::VideoSpec spec;
        spec.encoder = "hap";
        spec.width = side;
        spec.height = side;
        spec.frames = 4;
        spec.encoderOptions = std::string("format=") + format + ":chunks=2";
        const std::string goodFile = dir.file(std::string("good-") + format + ".mov");
        if (!fixtures::writeVideo(goodFile, spec)) {
            continue;
        }
        const std::string bytes = testfiles::readBytes(goodFile);
        for (const double fraction : {0.1, 0.5, 0.9}) {
            const std::string name = std::string("cut-") + format + "-" +
                                     std::to_string(static_cast<int>(fraction * 100)) + ".mov";
            testfiles::writeBytes(
                dir.file(name), bytes.substr(0, static_cast<std::size_t>(bytes.size() * fraction)));
            // The index is written last: a cut file never plays.
            files.push_back({name, false, dir.file(name)});
        }
        std::mt19937 random(static_cast<unsigned>(bytes.size()));
        for (const int flips : {1, 16, 256}) {
            std::string damaged = bytes;
            std::uniform_int_distribution<std::size_t> at(0, damaged.size() * 8 - 1);
            for (int i = 0; i < flips; ++i) {
                const std::size_t bit = at(random);
                damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
            }
            const std::string name =
                std::string("flipped-") + format + "-" + std::to_string(flips) + ".mov";
            testfiles::writeBytes(dir.file(name), damaged);
            files.push_back({name, true, dir.file(name)}); // may or may not show
        }
    }
    return files;
}

TEST(HostileHap, EveryFileShowsSafelyAndReleasesAtOnce) {
    ASSERT_TRUE(useGlContext());
    TempDir dir("hostile-hap");
    const std::vector<HostileHap> files = makeFiles(dir);
    const int threadsBefore = VideoPlayer::liveDecoderThreads();
    const long peakBefore = fixtures::processStatusKiB("VmHWM");

    constexpr int columns = 8;
    constexpr int cell = 4;
    const int rows = (static_cast<int>(files.size()) + columns - 1) / columns;
    std::vector<Surface> surfaces;
    for (std::size_t i = 0; i < files.size(); ++i) {
        Surface s;
        const float x = static_cast<float>(i % columns) / columns;
        const float y = static_cast<float>(i / columns) / static_cast<float>(rows);
        s.corners = rect(x, y, x + 1.0f / columns, y + 1.0f / static_cast<float>(rows));
        s.mediaKind = MediaKind::video;
        s.mediaPath = files[i].path;
        surfaces.push_back(s);
    }
    ProjectModel model;
    model.setSurfaces(surfaces);
    LiveMediaOptions options;
    options.waitForDecoders = true;
    MediaBackend media = liveMediaBackend(options);
    media.compressedTextures.bptc = false;
    auto renderer = Renderer::create(model, std::nullopt, media);
    auto target = OffscreenFramebuffer::create(columns * cell, rows * cell);
    ASSERT_TRUE(renderer && target);

    // Over a second: each file's frames loop several times.
    for (int frame = 0; frame < 12; ++frame) {
        const double t = 50.0 + frame / 10.0;
        renderer->draw(target->target(), t);
        const Picture picture{columns * cell, rows * cell, target->readPixels()};
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto shown = picture.at(static_cast<int>(i % columns) * cell + cell / 2,
                                          static_cast<int>(i / columns) * cell + cell / 2);
            if (!files[i].showsPicture) {
                EXPECT_EQ(shown, hapPlaceholder) << files[i].name << " at " << t;
            } else if (files[i].name.find("after a good frame") != std::string::npos && frame > 0) {
                EXPECT_EQ(shown, (std::array<int, 4>{255, 0, 0, 255}))
                    << files[i].name << " at " << t;
            }
        }
    }
    // Nothing claimed was allocated: 60,000 x 60,000 pixels of blocks
    // would be 1.8 GB.
    EXPECT_LT(fixtures::processStatusKiB("VmHWM") - peakBefore, 256 * 1024);
    renderer.reset();
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threadsBefore);
}

} // namespace
} // namespace prismeta::test
