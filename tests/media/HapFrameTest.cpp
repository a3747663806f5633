#include "media/HapFrame.h"
#include "media/ChunkWorkers.h"
#include "media/HapDecoder.h"

#include "HapFixtures.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>
#include <vector>

namespace prismeta {
namespace {

namespace hap = fixtures::hap;
using hap::Bytes;

// A picture of distinct solid blocks, so that a chunk landing in the wrong
// place shows; 12 x 8 pixels is 3 x 2 blocks.
constexpr int width = 12;
constexpr int height = 8;

Bytes distinctBlocks(hap::Format format, int w = width, int h = height) {
    return hap::blocks(w, h, [&](int bx, int by) {
        const int n = bx + by * 8;
        const hap::Rgb565 c{n & 31, (n * 3) & 63, 31 - (n & 31)};
        switch (format) {
        case hap::dxt1:
            return hap::solidDxt1(c);
        case hap::rgtc1:
            return hap::solidRgtc1(static_cast<std::uint8_t>(n * 20));
        case hap::bptc:
            return hap::solidBptc(fixtures::Rgba8{static_cast<std::uint8_t>(n * 2), 10, 20, 40});
        default:
            return hap::solidDxt5(c, static_cast<std::uint8_t>(255 - n));
        }
    });
}

HapTextureFormat textureFormat(hap::Format format) {
    switch (format) {
    case hap::dxt1:
        return HapTextureFormat::rgbDxt1;
    case hap::dxt5:
        return HapTextureFormat::rgbaDxt5;
    case hap::scaledYCoCg:
        return HapTextureFormat::scaledYCoCgDxt5;
    case hap::bptc:
        return HapTextureFormat::rgbaBptc;
    case hap::rgtc1:
        return HapTextureFormat::alphaRgtc1;
    }
    return HapTextureFormat::rgbDxt1;
}

// The decoder's output for frame, or nothing when it refuses the frame. The
// destination is exactly as large as prepare said, so a write past it is an
// AddressSanitizer report.
std::optional<Bytes> decode(const Bytes& frame, int w = width, int h = height, int helpers = 0) {
    HapDecoder decoder(w, h, helpers);
    const std::size_t bytes = decoder.prepare(frame);
    if (bytes == 0) {
        return std::nullopt;
    }
    Bytes out(bytes);
    if (!decoder.decode(frame, out.data())) {
        return std::nullopt;
    }
    return out;
}

struct Layout {
    const char* name;
    std::function<Bytes(hap::Format, const Bytes&)> make;
};

const std::vector<Layout>& layouts() {
    static const std::vector<Layout> all = {
        {"stored", [](hap::Format f, const Bytes& b) { return hap::simpleImage(f, hap::asIs, b); }},
        {"snappy",
         [](hap::Format f, const Bytes& b) { return hap::simpleImage(f, hap::snappy, b); }},
        {"long header",
         [](hap::Format f, const Bytes& b) {
             return hap::section(hap::typeOf(hap::snappy, f), hap::snappyCompress(b), true);
         }},
        {"one snappy chunk",
         [](hap::Format f, const Bytes& b) {
             return hap::chunkedImage(f, b, {1, {true}});
         }},
        {"three snappy chunks",
         [](hap::Format f, const Bytes& b) {
             return hap::chunkedImage(f, b, {3, {true}});
         }},
        {"mixed chunks, offsets, long headers",
         [](hap::Format f, const Bytes& b) {
             return hap::chunkedImage(f, b, {5, {true, false}, true, true});
         }},
        {"stored chunks",
         [](hap::Format f, const Bytes& b) {
             return hap::chunkedImage(f, b, {2, {false}});
         }},
    };
    return all;
}

TEST(HapFrame, EveryFormatAndLayoutDecodesToItsBlocks) {
    for (const hap::Format format :
         {hap::dxt1, hap::dxt5, hap::scaledYCoCg, hap::bptc, hap::rgtc1}) {
        const Bytes blocks = distinctBlocks(format);
        for (const Layout& layout : layouts()) {
            SCOPED_TRACE(std::string(layout.name) + ", type " + std::to_string(format));
            const Bytes frame = layout.make(format, blocks);
            HapFrameLayout parsed;
            ASSERT_TRUE(parseHapFrame(frame, parsed));
            ASSERT_EQ(parsed.imageCount, 1);
            EXPECT_EQ(parsed.images[0].format, textureFormat(format));
            for (const int helpers : {0, 2}) {
                const auto decoded = decode(frame, width, height, helpers);
                ASSERT_TRUE(decoded.has_value());
                EXPECT_EQ(*decoded, blocks);
            }
        }
    }
}

TEST(HapFrame, ManyChunksDecodeInParallelIntoTheirPlaces) {
    // 64 x 64 pixels, 256 blocks in 64 chunks of mixed storage.
    const Bytes blocks = distinctBlocks(hap::dxt5, 64, 64);
    const Bytes frame = hap::chunkedImage(hap::dxt5, blocks, {64, {true, true, false}, true});
    HapDecoder decoder(64, 64, 3);
    Bytes out(blocks.size());
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(decoder.prepare(frame), blocks.size());
        std::fill(out.begin(), out.end(), 0);
        ASSERT_TRUE(decoder.decode(frame, out.data()));
        ASSERT_EQ(out, blocks) << "round " << round;
    }
}

TEST(HapFrame, ColourAndAlphaImagesComeColourFirstInEitherOrder) {
    const Bytes colour = distinctBlocks(hap::scaledYCoCg);
    const Bytes alpha = distinctBlocks(hap::rgtc1);
    const Bytes colourSection = hap::chunkedImage(hap::scaledYCoCg, colour, {2, {true}});
    const Bytes alphaSection = hap::simpleImage(hap::rgtc1, hap::snappy, alpha);
    const Bytes expected = hap::concat({colour, alpha});
    // An unknown section beside the images is passed over.
    const Bytes unknown = hap::section(0x7E, Bytes{1, 2, 3});
    for (const Bytes& frame : {hap::multipleImages({colourSection, alphaSection}),
                               hap::multipleImages({alphaSection, unknown, colourSection})}) {
        HapDecoder decoder(width, height, 0);
        const std::size_t bytes = decoder.prepare(frame);
        ASSERT_EQ(bytes, expected.size());
        ASSERT_EQ(decoder.images().size(), 2u);
        EXPECT_EQ(decoder.images()[0].format, HapTextureFormat::scaledYCoCgDxt5);
        EXPECT_EQ(decoder.images()[0].offset, 0u);
        EXPECT_EQ(decoder.images()[1].format, HapTextureFormat::alphaRgtc1);
        EXPECT_EQ(decoder.images()[1].offset, colour.size());
        Bytes out(bytes);
        ASSERT_TRUE(decoder.decode(frame, out.data()));
        EXPECT_EQ(out, expected);
    }
    // A multiple-image section may also hold a single image of any format.
    const Bytes single = distinctBlocks(hap::dxt1);
    EXPECT_EQ(decode(hap::multipleImages({hap::simpleImage(hap::dxt1, hap::asIs, single)})),
              single);
}

TEST(HapFrame, ImageCombinationsHapDoesNotDefineAreRefused) {
    const auto image = [](hap::Format format) {
        return hap::simpleImage(format, hap::asIs, distinctBlocks(format));
    };
    const Bytes ycocg = image(hap::scaledYCoCg);
    const Bytes alpha = image(hap::rgtc1);
    for (const Bytes& frame : {
             hap::multipleImages({ycocg, ycocg}),
             hap::multipleImages({image(hap::dxt5), alpha}),
             hap::multipleImages({alpha, alpha}),
             hap::multipleImages({ycocg, alpha, alpha}),
             hap::multipleImages({}),
             hap::multipleImages({hap::multipleImages({ycocg, alpha})}),
         }) {
        EXPECT_FALSE(decode(frame).has_value());
    }
}

// What FFmpeg's hap encoder writes: for every variant, one chunk, several
// chunks and no second-stage compression are three storages of the same
// blocks.
TEST(HapFrame, FramesOfFFmpegsEncoderDecodeToTheSameBlocksInEveryStorage) {
    if (!fixtures::hasEncoder("hap")) {
        GTEST_SKIP() << "no hap encoder";
    }
    testfiles::TempDir dir("hapframes");
    struct Variant {
        const char* format;
        HapTextureFormat texture;
    };
    for (const Variant v : {Variant{"hap", HapTextureFormat::rgbDxt1},
                            Variant{"hap_alpha", HapTextureFormat::rgbaDxt5},
                            Variant{"hap_q", HapTextureFormat::scaledYCoCgDxt5}}) {
        std::optional<Bytes> reference;
        for (const char* storage : {"chunks=1:compressor=snappy", "chunks=4:compressor=snappy",
                                    "chunks=1:compressor=none"}) {
            SCOPED_TRACE(std::string(v.format) + " " + storage);
            fixtures::VideoSpec spec;
            spec.encoder = "hap";
            spec.width = 64;
            spec.height = 48;
            spec.frames = 2;
            spec.encoderOptions = std::string("format=") + v.format + ":" + storage;
            const std::string path = dir.file(std::string(v.format) + storage + ".mov");
            ASSERT_TRUE(fixtures::writeVideo(path, spec));
            const auto packets = hap::readPackets(path);
            ASSERT_EQ(packets.size(), 2u);
            HapDecoder decoder(64, 48);
            const std::size_t bytes = decoder.prepare(packets[1]);
            ASSERT_EQ(bytes, hapImageBytes(v.texture, 64, 48));
            ASSERT_EQ(decoder.images().size(), 1u);
            EXPECT_EQ(decoder.images()[0].format, v.texture);
            Bytes out(bytes);
            ASSERT_TRUE(decoder.decode(packets[1], out.data()));
            if (reference) {
                EXPECT_EQ(out, *reference);
            } else {
                reference = out;
            }
        }
    }
}

TEST(HapFrame, ImagesMustFillThePicturesBlocksExactly) {
    const Bytes blocks = distinctBlocks(hap::dxt1); // 12 x 8: 3 x 2 blocks
    for (const Layout& layout : layouts()) {
        SCOPED_TRACE(layout.name);
        const Bytes frame = layout.make(hap::dxt1, blocks);
        // Pictures 9 to 12 wide and 5 to 8 high pad to the same blocks.
        EXPECT_TRUE(decode(frame, 9, 5).has_value());
        EXPECT_FALSE(decode(frame, 16, 8).has_value());
        EXPECT_FALSE(decode(frame, 8, 8).has_value());
        EXPECT_FALSE(decode(frame, 12, 4).has_value());
        EXPECT_FALSE(decode(frame, 0, 8).has_value());
        EXPECT_FALSE(decode(frame, INT_MAX, INT_MAX).has_value());
    }
}

// Patches little-endian 32-bit value v at byte position at.
Bytes patched(Bytes frame, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        frame[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    return frame;
}

Bytes u32s(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (const std::uint32_t v : values) {
        out = patched(hap::concat({out, Bytes(4)}), out.size(), v);
    }
    return out;
}

// A DXT5 frame in chunks with the given tables (an empty optional leaves a
// table out) and extra instructions.
Bytes chunkedByHand(std::optional<Bytes> compressors, std::optional<Bytes> sizes,
                    std::optional<Bytes> offsets, const Bytes& data, const Bytes& extra = {}) {
    Bytes instructions = extra;
    if (compressors) {
        instructions = hap::concat({instructions, hap::section(0x02, *compressors)});
    }
    if (sizes) {
        instructions = hap::concat({instructions, hap::section(0x03, *sizes)});
    }
    if (offsets) {
        instructions = hap::concat({instructions, hap::section(0x04, *offsets)});
    }
    return hap::section(0xCE, hap::concat({hap::section(0x01, instructions), data}));
}

TEST(HapFrame, LyingHeadersAndTablesAreRefused) {
    const Bytes blocks = distinctBlocks(hap::dxt5); // 96 bytes
    const auto half = static_cast<std::uint32_t>(blocks.size() / 2);
    const auto all = static_cast<std::uint32_t>(blocks.size());
    // Stored chunks, so that every size is the data's own.
    const Bytes asIs2 = {0x0A, 0x0A};
    ASSERT_EQ(decode(chunkedByHand(asIs2, u32s({half, half}), std::nullopt, blocks)), blocks);
    ASSERT_EQ(decode(chunkedByHand(asIs2, u32s({half, half}), u32s({0, half}), blocks)), blocks);
    // Unknown instructions beside the tables are passed over.
    ASSERT_EQ(decode(chunkedByHand(asIs2, u32s({half, half}), std::nullopt, blocks,
                                   hap::section(0x7F, Bytes{9, 9}))),
              blocks);

    // With long headers every field sits at a known place: frame header
    // 0..7, container header 8..15.
    const Bytes good = hap::chunkedImage(hap::dxt5, blocks, {2, {true, false}, true, true});
    ASSERT_TRUE(decode(good).has_value());
    struct Case {
        const char* what;
        Bytes frame;
    };
    const std::vector<Case> cases = {
        {"frame size past the packet", patched(good, 4, static_cast<std::uint32_t>(good.size()))},
        {"frame size of 2^32 - 1", patched(good, 4, 0xFFFFFFFFu)},
        {"container past the frame", patched(good, 12, static_cast<std::uint32_t>(good.size()))},
        {"unknown top-level type", patched(good, 0, 0xCD000000u)},
        {"no decode-instructions container", patched(good, 8, 0x05000000u)},
        {"chunk size past the data",
         chunkedByHand(asIs2, u32s({half, half + 1}), std::nullopt, blocks)},
        {"chunk size of 2^32 - 1",
         chunkedByHand(asIs2, u32s({half, 0xFFFFFFFFu}), std::nullopt, blocks)},
        {"chunk offset past the data",
         chunkedByHand(asIs2, u32s({half, half}), u32s({0, all}), blocks)},
        {"chunk offset of 2^32 - 1",
         chunkedByHand(asIs2, u32s({half, half}), u32s({0xFFFFFFFFu, 0}), blocks)},
        {"size table shorter than the compressor table",
         chunkedByHand(asIs2, u32s({all}), std::nullopt, blocks)},
        {"offset table shorter than the compressor table",
         chunkedByHand(asIs2, u32s({half, half}), u32s({0}), blocks)},
        {"size table of a ragged length",
         chunkedByHand(asIs2, hap::concat({u32s({half, half}), Bytes{0}}), std::nullopt, blocks)},
        {"unknown chunk compressor",
         chunkedByHand(Bytes{0x0A, 0x0C}, u32s({half, half}), std::nullopt, blocks)},
        {"compressor table missing",
         chunkedByHand(std::nullopt, u32s({all}), std::nullopt, blocks)},
        {"size table missing", chunkedByHand(Bytes{0x0A}, std::nullopt, std::nullopt, blocks)},
        {"no chunks", chunkedByHand(Bytes{}, Bytes{}, std::nullopt, blocks)},
        {"size table given twice", chunkedByHand(asIs2, u32s({half, half}), std::nullopt, blocks,
                                                 hap::section(0x03, u32s({half, half})))},
        {"chunk sizes that do not add up to the picture",
         chunkedByHand(asIs2, u32s({half, half - 16}), std::nullopt, blocks)},
        {"a Snappy chunk whose length says more than the picture",
         chunkedByHand(Bytes{0x0B},
                       u32s({static_cast<std::uint32_t>(
                           hap::snappyCompress(hap::concat({blocks, blocks})).size())}),
                       std::nullopt, hap::snappyCompress(hap::concat({blocks, blocks})))},
        {"zero-length frame", {}},
        {"a header cut short", {0, 0, 0}},
        {"a long header cut short", {0, 0, 0, 0xBB, 1, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(decode(c.frame).has_value()) << c.what;
    }
}

TEST(HapFrame, TooManyChunksAreRefused) {
    const Bytes blocks(16, 0); // one DXT5 block
    Bytes compressors(maxHapChunks, 0x0A);
    Bytes sizes(maxHapChunks * 4, 0);
    sizes[0] = 16;
    EXPECT_EQ(decode(chunkedByHand(compressors, sizes, std::nullopt, blocks), 4, 4), blocks);
    compressors.push_back(0x0A);
    sizes.resize(sizes.size() + 4);
    EXPECT_FALSE(decode(chunkedByHand(compressors, sizes, std::nullopt, blocks), 4, 4).has_value());
}

// Every cut of a frame and every single-byte change of it: refused or
// decoded within the bytes prepare promised, never a read or write out of
// bounds (the sanitizer builds run this too).
TEST(HapFrame, CutAndDamagedFramesStayInBounds) {
    const Bytes colour = distinctBlocks(hap::scaledYCoCg);
    const Bytes alpha = distinctBlocks(hap::rgtc1);
    const std::vector<Bytes> frames = {
        hap::chunkedImage(hap::dxt5, distinctBlocks(hap::dxt5), {3, {true, false}, true}),
        hap::multipleImages({hap::chunkedImage(hap::scaledYCoCg, colour, {2, {true}}),
                             hap::simpleImage(hap::rgtc1, hap::snappy, alpha)}),
        hap::simpleImage(hap::dxt1, hap::snappy, distinctBlocks(hap::dxt1)),
    };
    int decoded = 0;
    for (const Bytes& frame : frames) {
        for (std::size_t cut = 0; cut < frame.size(); ++cut) {
            EXPECT_FALSE(
                decode(Bytes(frame.begin(), frame.begin() + static_cast<long>(cut))).has_value())
                << "cut at " << cut;
        }
        for (std::size_t at = 0; at < frame.size(); ++at) {
            for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes damaged = frame;
                damaged[at] ^= flip;
                decoded += decode(damaged, width, height, 1).has_value();
            }
        }
    }
    // Most damage lands in block data, which decodes to other colours.
    EXPECT_GT(decoded, 0);
}

TEST(ChunkWorkers, EveryJobRunsOnceWhateverTheHelpers) {
    for (const int helpers : {0, 1, 3}) {
        ChunkWorkers workers(helpers);
        EXPECT_EQ(workers.helpers(), helpers);
        for (const std::size_t count : {0u, 1u, 2u, 7u, 300u}) {
            std::vector<std::atomic<int>> runs(count);
            auto job = [&](std::size_t i) { runs[i].fetch_add(1); };
            for (int round = 0; round < 50; ++round) {
                workers.run(count, job);
            }
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_EQ(runs[i].load(), 50)
                    << helpers << " helpers, job " << i << " of " << count;
            }
        }
    }
}

} // namespace
} // namespace prismeta
