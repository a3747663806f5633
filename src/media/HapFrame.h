#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace prismeta {

// The layout of one HAP frame: which compressed textures it holds and where
// their bytes lie in the packet. A HAP frame is a tree of sections, each
// behind a header of a 3-byte little-endian size and a type byte (or, when
// the three size bytes are zero, a 4-byte size after the type). The top-level
// section's type names the texture format (low nibble) and how its data is
// stored (high nibble): as it is, as one Snappy block, or in chunks described
// by a decode-instructions container (compressor table, size table, optional
// offset table). A multiple-image section carries a scaled-YCoCg colour image
// and an RGTC1 alpha image of the same size.
//
// Parsing only reads and checks: nothing is decompressed, nothing is
// allocated once the layout's chunk list has grown to the frame's chunk
// count. Every offset it hands out lies inside the packet. Plain functions of
// their arguments; any thread.

// The block formats of HAP images, all in 4 x 4 pixel blocks.
enum class HapTextureFormat : std::uint8_t {
    rgbDxt1,         // BC1, 8 bytes a block
    rgbaDxt5,        // BC3, 16 bytes a block, straight alpha
    scaledYCoCgDxt5, // BC3 holding Co, Cg, scale and Y: converted when sampled
    rgbaBptc,        // BC7 (unorm), 16 bytes a block
    alphaRgtc1,      // BC4, 8 bytes a block, one channel
};

// Bytes of one 4 x 4 block of the format.
std::size_t hapBlockBytes(HapTextureFormat format);

// Bytes of a whole picture of width x height in the format, padded to whole
// blocks; 0 when either side is not positive or the size would not fit.
std::size_t hapImageBytes(HapTextureFormat format, int width, int height);

// One stretch of packet bytes that decompresses (or copies) into the next
// part of its image.
struct HapChunk {
    std::size_t offset = 0; // from the start of the packet
    std::size_t size = 0;
    bool snappy = false; // false: stored as it is
};

// One image of the frame: its format and its chunks, in order, in the
// layout's chunk list.
struct HapImage {
    HapTextureFormat format = HapTextureFormat::rgbDxt1;
    std::size_t firstChunk = 0;
    std::size_t chunkCount = 0;
};

// What parseHapFrame found. Reused from frame to frame by one decoder.
struct HapFrameLayout {
    // The colour image first; for a scaled-YCoCg frame with an alpha image,
    // the alpha image second.
    std::array<HapImage, 2> images{};
    int imageCount = 0;
    std::vector<HapChunk> chunks;
};

// The most chunks one image may be split into. Encoders use a few dozen at
// most; the bound keeps a hostile frame's chunk list small.
inline constexpr std::size_t maxHapChunks = 4096;

// Reads the frame's sections into layout. False, with layout unusable, when
// the frame is malformed: a header or section running past its parent, an
// unknown top-level type, decode instructions without chunk tables or with
// tables of differing lengths, chunks outside the frame data, an unknown
// chunk compressor, more than maxHapChunks chunks, or images in a
// combination HAP does not define. Unknown sections inside a container are
// skipped.
bool parseHapFrame(std::span<const std::uint8_t> frame, HapFrameLayout& layout);

} // namespace prismeta
