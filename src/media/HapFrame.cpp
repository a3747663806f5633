#include "media/HapFrame.h"

#include <limits>
#include <utility>

namespace prismeta {

namespace {

// Section types.
constexpr std::uint8_t multipleImages = 0x0D;
constexpr std::uint8_t decodeInstructions = 0x01;
constexpr std::uint8_t compressorTable = 0x02;
constexpr std::uint8_t sizeTable = 0x03;
constexpr std::uint8_t offsetTable = 0x04;

// High nibble of an image section's type: how its data is stored.
constexpr std::uint8_t storedAsIs = 0xA;
constexpr std::uint8_t storedSnappy = 0xB;
constexpr std::uint8_t storedInChunks = 0xC;

// Chunk compressor codes.
constexpr std::uint8_t chunkAsIs = 0x0A;
constexpr std::uint8_t chunkSnappy = 0x0B;

struct Section {
    std::uint8_t type = 0;
    std::size_t begin = 0; // first byte of the section's data, from the frame's start
    std::size_t size = 0;
    std::size_t end() const { return begin + size; }
};

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The section whose header starts at pos, which must lie wholly, data
// included, before end.
bool readSection(std::span<const std::uint8_t> frame, std::size_t pos, std::size_t end,
                 Section& section) {
    if (end < pos || end - pos < 4) {
        return false;
    }
    std::size_t size = static_cast<std::size_t>(frame[pos]) |
                       static_cast<std::size_t>(frame[pos + 1]) << 8 |
                       static_cast<std::size_t>(frame[pos + 2]) << 16;
    std::size_t header = 4;
    if (size == 0) {
        if (end - pos < 8) {
            return false;
        }
        size = readU32(frame, pos + 4);
        header = 8;
    }
    if (size > end - pos - header) {
        return false;
    }
    section.type = frame[pos + 3];
    section.begin = pos + header;
    section.size = size;
    return true;
}

bool formatOf(std::uint8_t type, HapTextureFormat& format) {
    switch (type & 0x0F) {
    case 0xB:
        format = HapTextureFormat::rgbDxt1;
        return true;
    case 0xE:
        format = HapTextureFormat::rgbaDxt5;
        return true;
    case 0xF:
        format = HapTextureFormat::scaledYCoCgDxt5;
        return true;
    case 0xC:
        format = HapTextureFormat::rgbaBptc;
        return true;
    case 0x1:
        format = HapTextureFormat::alphaRgtc1;
        return true;
    default:
        return false;
    }
}

bool isImageType(std::uint8_t type) {
    HapTextureFormat ignored;
    const std::uint8_t storage = type >> 4;
    return formatOf(type, ignored) &&
           (storage == storedAsIs || storage == storedSnappy || storage == storedInChunks);
}

// The chunks of a section stored in chunks: a decode-instructions container
// first, then the frame data the chunk tables point into.
bool readChunks(std::span<const std::uint8_t> frame, const Section& image, HapFrameLayout& layout) {
    Section container;
    if (!readSection(frame, image.begin, image.end(), container) ||
        container.type != decodeInstructions) {
        return false;
    }
    const std::size_t dataBegin = container.end();
    const std::size_t dataSize = image.end() - dataBegin;

    std::span<const std::uint8_t> compressors;
    std::span<const std::uint8_t> sizes;
    std::span<const std::uint8_t> offsets;
    bool haveCompressors = false;
    bool haveSizes = false;
    bool haveOffsets = false;
    for (std::size_t pos = container.begin; pos < container.end();) {
        Section table;
        if (!readSection(frame, pos, container.end(), table)) {
            return false;
        }
        const auto bytes = frame.subspan(table.begin, table.size);
        // A table given twice is ambiguous: refuse rather than guess.
        switch (table.type) {
        case compressorTable:
            if (std::exchange(haveCompressors, true)) {
                return false;
            }
            compressors = bytes;
            break;
        case sizeTable:
            if (std::exchange(haveSizes, true)) {
                return false;
            }
            sizes = bytes;
            break;
        case offsetTable:
            if (std::exchange(haveOffsets, true)) {
                return false;
            }
            offsets = bytes;
            break;
        default:
            break; // instructions this reader does not know
        }
        pos = table.end();
    }
    const std::size_t count = compressors.size();
    if (!haveCompressors || !haveSizes || count == 0 || count > maxHapChunks ||
        sizes.size() != count * 4 || (haveOffsets && offsets.size() != count * 4)) {
        return false;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = readU32(sizes, i * 4);
        const std::size_t offset = haveOffsets ? readU32(offsets, i * 4) : next;
        // Both are below 2^32 and so is the running sum's every step below
        // 2^33: no overflow in 64 bits.
        if (offset > dataSize || size > dataSize - offset) {
            return false;
        }
        const std::uint8_t compressor = compressors[i];
        if (compressor != chunkAsIs && compressor != chunkSnappy) {
            return false;
        }
        layout.chunks.push_back(HapChunk{dataBegin + offset, size, compressor == chunkSnappy});
        next = offset + size;
    }
    return true;
}

bool readImage(std::span<const std::uint8_t> frame, const Section& section, HapImage& image,
               HapFrameLayout& layout) {
    if (!formatOf(section.type, image.format)) {
        return false;
    }
    image.firstChunk = layout.chunks.size();
    switch (section.type >> 4) {
    case storedAsIs:
        layout.chunks.push_back(HapChunk{section.begin, section.size, false});
        break;
    case storedSnappy:
        layout.chunks.push_back(HapChunk{section.begin, section.size, true});
        break;
    case storedInChunks:
        if (!readChunks(frame, section, layout)) {
            return false;
        }
        break;
    default:
        return false;
    }
    image.chunkCount = layout.chunks.size() - image.firstChunk;
    return true;
}

} // namespace

std::size_t hapBlockBytes(HapTextureFormat format) {
    switch (format) {
    case HapTextureFormat::rgbDxt1:
    case HapTextureFormat::alphaRgtc1:
        return 8;
    case HapTextureFormat::rgbaDxt5:
    case HapTextureFormat::scaledYCoCgDxt5:
    case HapTextureFormat::rgbaBptc:
        return 16;
    }
    return 16;
}

std::size_t hapImageBytes(HapTextureFormat format, int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const std::size_t blocksWide = (static_cast<std::size_t>(width) + 3) / 4;
    const std::size_t blocksHigh = (static_cast<std::size_t>(height) + 3) / 4;
    // Both are below 2^30, so the block count fits; the bytes may not on a
    // 32-bit size_t.
    const std::size_t blocks = blocksWide * blocksHigh;
    const std::size_t blockBytes = hapBlockBytes(format);
    if (blocks > std::numeric_limits<std::size_t>::max() / blockBytes) {
        return 0;
    }
    return blocks * blockBytes;
}

bool parseHapFrame(std::span<const std::uint8_t> frame, HapFrameLayout& layout) {
    layout.imageCount = 0;
    layout.chunks.clear();
    Section top;
    if (!readSection(frame, 0, frame.size(), top)) {
        return false;
    }
    if (top.type != multipleImages) {
        if (!isImageType(top.type) || !readImage(frame, top, layout.images[0], layout)) {
            return false;
        }
        layout.imageCount = 1;
        return true;
    }
    // One image of any format, or scaled YCoCg with an alpha image; the
    // contained sections may come in either order.
    for (std::size_t pos = top.begin; pos < top.end();) {
        Section inner;
        if (!readSection(frame, pos, top.end(), inner)) {
            return false;
        }
        pos = inner.end();
        if (!isImageType(inner.type)) {
            if (inner.type == multipleImages) {
                return false;
            }
            continue;
        }
        if (layout.imageCount == 2 ||
            !readImage(frame, inner, layout.images[static_cast<std::size_t>(layout.imageCount)],
                       layout)) {
            return false;
        }
        ++layout.imageCount;
    }
    if (layout.imageCount == 0) {
        return false;
    }
    if (layout.imageCount == 2) {
        HapImage& first = layout.images[0];
        HapImage& second = layout.images[1];
        if (first.format == HapTextureFormat::alphaRgtc1) {
            std::swap(first, second);
        }
        if (first.format != HapTextureFormat::scaledYCoCgDxt5 ||
            second.format != HapTextureFormat::alphaRgtc1) {
            return false;
        }
    }
    return true;
}

} // namespace prismeta
