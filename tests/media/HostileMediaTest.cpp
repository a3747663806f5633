// Media files as they arrive before a show: empty, cut short, with flipped
// bits, claiming absurd sizes, without a picture stream, misnamed, or not
// files at all. Each is shown as an image and as a video surface through a
// renderer with the FFmpeg backend. Nothing may crash or block, what cannot
// be read shows the placeholder, memory stays bounded, and releasing the
// renderer returns at once and ends every decoding thread.
#include "GlTestSupport.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include "core/ProjectModel.h"
#include "media/VideoPlayer.h"
#include "render/FFmpegMediaBackend.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace prismeta::test {
namespace {

using testfiles::TempDir;

const std::array<int, 4> placeholder = {38, 38, 43, 255}; // (0.15, 0.15, 0.17)

std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const unsigned char byte : bytes) {
        c ^= byte;
        for (int k = 0; k < 8; ++k) {
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
    }
    return c ^ 0xFFFFFFFFu;
}

// A PNG that claims 100,000 x 100,000 pixels and holds a few bytes of data.
std::string hugePng() {
    const auto chunk = [](const std::string& type, const std::string& data) {
        return be32(static_cast<std::uint32_t>(data.size())) + type + data +
               be32(crc32(type + data));
    };
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR", be32(100000) + be32(100000) + std::string("\x08\x06\x00\x00\x00", 5)) +
           chunk("IDAT", std::string("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9)) +
           chunk("IEND", "");
}

// A baseline JPEG whose frame header claims 65,000 x 65,000 pixels.
std::string hugeJpeg(const std::string& good) {
    std::string bytes = good;
    for (std::size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) == 0xFF &&
            static_cast<unsigned char>(bytes[i + 1]) == 0xC0) { // SOF0: length, precision, h, w
            bytes[i + 5] = static_cast<char>(0xFD);
            bytes[i + 6] = static_cast<char>(0xE8);
            bytes[i + 7] = static_cast<char>(0xFD);
            bytes[i + 8] = static_cast<char>(0xE8);
            break;
        }
    }
    return bytes;
}

// flips bits of a copy, at positions drawn from a fixed seed.
std::string flipped(const std::string& good, int flips, unsigned seed) {
    std::string bytes = good;
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> at(0, bytes.size() * 8 - 1);
    for (int i = 0; i < flips; ++i) {
        const std::size_t bit = at(random);
        bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
    }
    return bytes;
}

// The peak resident memory of the process in KiB.
long peakResidentKiB() {
    return fixtures::processStatusKiB("VmHWM");
}

struct HostileFile {
    std::string path;
    bool readable = false; // may still show a picture (a damaged but decodable file)
};

std::vector<HostileFile> makeHostileFiles(const TempDir& dir) {
    const auto pixel = [](int x, int y) {
        return fixtures::Rgba8{static_cast<std::uint8_t>(x * 3), static_cast<std::uint8_t>(y * 5),
                               static_cast<std::uint8_t>(x ^ y), 255};
    };
    std::vector<HostileFile> files;
    const auto add = [&](const std::string& name, const std::string& bytes, bool readable) {
        testfiles::writeBytes(dir.file(name), bytes);
        files.push_back({dir.file(name), readable});
    };
    EXPECT_TRUE(fixtures::writeStill(dir.file("good.png"), "png", 96, 64, pixel));
    EXPECT_TRUE(fixtures::writeStill(dir.file("good.jpg"), "mjpeg", 96, 64, pixel));
    fixtures::VideoSpec spec;
    spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    spec.width = 96;
    spec.height = 64;
    EXPECT_TRUE(fixtures::writeVideo(dir.file("good.mp4"), spec));

    for (const char* extension : {"png", "jpg", "mp4"}) {
        const std::string ext = extension;
        const std::string good = testfiles::readBytes(dir.file("good." + ext));
        add("empty." + ext, "", false);
        for (const double fraction : {0.02, 0.3, 0.6, 0.95}) {
            const auto cut = static_cast<std::size_t>(static_cast<double>(good.size()) * fraction);
            // A cut JPEG may still show what arrived; an MP4 without its
            // index (written last) never plays.
            add("cut-" + std::to_string(static_cast<int>(fraction * 100)) + "." + ext,
                good.substr(0, cut), ext == "jpg" && fraction > 0.1);
        }
        for (const int flips : {1, 8, 64, 512}) {
            for (unsigned seed = 1; seed <= 3; ++seed) {
                add("flipped-" + std::to_string(flips) + "-" + std::to_string(seed) + "." + ext,
                    flipped(good, flips, seed * 7919u + static_cast<unsigned>(flips)), true);
            }
        }
    }
    add("huge.png", hugePng(), false);
    add("huge.jpg", hugeJpeg(testfiles::readBytes(dir.file("good.jpg"))), false);
    add("notes.mp4", "Running order: house lights at 19:55, then cue 1.\n", false);
    add("notes.png", std::string(4000, 'x'), false);
    if (fixtures::writeAudioOnly(dir.file("sound.wav"))) {
        add("sound.mp4", testfiles::readBytes(dir.file("sound.wav")), false);
    }
    for (const char* name : {"pipe.mp4", "pipe.png"}) {
        EXPECT_TRUE(testfiles::makeFifo(dir.file(name)));
        files.push_back({dir.file(name), false});
    }
    files.push_back({"/dev/zero", false});
    return files;
}

TEST(HostileMedia, EveryFileShowsSafelyAndReleasesAtOnce) {
    ASSERT_TRUE(useGlContext());
    TempDir dir("hostile-media");
    const std::vector<HostileFile> files = makeHostileFiles(dir);
    const int threadsBefore = VideoPlayer::liveDecoderThreads();
    const long peakBefore = peakResidentKiB();

    // Every file as an image and as a video, each surface a cell of a grid.
    const int columns = 16;
    const int count = static_cast<int>(files.size()) * 2;
    const int rows = (count + columns - 1) / columns;
    const int cell = 4;
    std::vector<Surface> surfaces;
    for (int i = 0; i < count; ++i) {
        const HostileFile& file = files[static_cast<std::size_t>(i / 2)];
        Surface s;
        const float x = static_cast<float>(i % columns) / columns;
        const float y = static_cast<float>(i / columns) / static_cast<float>(rows);
        s.corners = rect(x, y, x + 1.0f / columns, y + 1.0f / static_cast<float>(rows));
        s.mediaKind = i % 2 == 0 ? MediaKind::image : MediaKind::video;
        s.mediaPath = file.path;
        surfaces.push_back(s);
    }
    ProjectModel model;
    model.setSurfaces(surfaces);
    LiveMediaOptions options;
    options.waitForDecoders = true; // each frame sees what the decoders made of every file
    auto renderer = Renderer::create(model, std::nullopt, liveMediaBackend(options));
    auto target = OffscreenFramebuffer::create(columns * cell, rows * cell);
    ASSERT_TRUE(renderer && target);

    int pictures = 0;
    for (const double t : {100.0, 100.5, 101.0}) {
        renderer->draw(target->target(), t); // returns: no file stalls a decoder
        const Picture picture{columns * cell, rows * cell, target->readPixels()};
        pictures = 0;
        for (int i = 0; i < count; ++i) {
            const HostileFile& file = files[static_cast<std::size_t>(i / 2)];
            const auto shown =
                picture.at((i % columns) * cell + cell / 2, (i / columns) * cell + 1);
            if (!file.readable) {
                EXPECT_EQ(shown, placeholder)
                    << file.path << (i % 2 == 0 ? " as an image" : " as a video");
            }
            pictures += shown != placeholder ? 1 : 0;
        }
    }
    // Nothing claimed by a header was allocated: 100,000 x 100,000 pixels
    // would be 40 GB.
    EXPECT_LT(peakResidentKiB() - peakBefore, 512 * 1024);

    // Releasing ends every decoding thread (each read checks the cancel flag,
    // so none waits for a stalled file); how long it takes is bench_media's.
    renderer.reset();
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threadsBefore);
    std::cout << "[ figures  ] " << files.size() << " hostile media files, " << count
              << " surfaces (each file as an image and as a video): " << pictures
              << " show a picture, the rest the placeholder\n";
}

} // namespace
} // namespace prismeta::test
