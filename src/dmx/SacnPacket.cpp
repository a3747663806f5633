#include "dmx/SacnPacket.h"

#include <algorithm>
#include <cstring>

namespace prismeta {

namespace {

constexpr std::uint8_t acnIdentifier[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};

// Vectors of the three layers.
constexpr std::uint32_t rootData = 0x00000004;
constexpr std::uint32_t rootExtended = 0x00000008;
constexpr std::uint32_t framingData = 0x00000002;
constexpr std::uint32_t framingSync = 0x00000001;
constexpr std::uint32_t framingDiscovery = 0x00000002;
constexpr std::uint8_t dmpSetProperty = 0x02;

constexpr std::size_t rootLayerBytes = 38;   // up to the end of the CID
constexpr std::size_t dataHeaderBytes = 126; // up to and with the start code
constexpr std::size_t syncBytes = 49;

std::uint16_t read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

std::uint32_t read32(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

void write16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t value) {
    b[at] = static_cast<std::uint8_t>(value >> 8);
    b[at + 1] = static_cast<std::uint8_t>(value);
}

void write32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t value) {
    write16(b, at, value >> 16);
    write16(b, at + 2, value & 0xffff);
}

// A PDU's flags and length word: the flags 0x7 and the length from `at` to
// the end of the packet.
bool pduFits(std::span<const std::uint8_t> b, std::size_t at) {
    const std::uint16_t word = read16(b, at);
    return (word >> 12) == 0x7 && (word & 0x0fff) == b.size() - at;
}

SacnProblem sacnProblem(std::string_view kind, std::string details) {
    return SacnProblem{kind, std::move(details)};
}

std::string printable(std::span<const std::uint8_t> field) {
    std::string text;
    for (std::uint8_t c : field) {
        if (c == 0) {
            break;
        }
        text.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
    }
    return text;
}

std::vector<std::uint8_t> rootLayer(std::size_t size, std::uint32_t vector, const SacnCid& cid) {
    std::vector<std::uint8_t> b(size, 0);
    write16(b, 0, 0x0010);
    write16(b, 2, 0x0000);
    std::memcpy(b.data() + 4, acnIdentifier, sizeof acnIdentifier);
    write16(b, 16, 0x7000 | static_cast<std::uint32_t>(size - 16));
    write32(b, 18, vector);
    std::copy(cid.begin(), cid.end(), b.begin() + 22);
    return b;
}

} // namespace

SacnPacket parseSacn(std::span<const std::uint8_t> b) {
    if (b.size() < rootLayerBytes + 6 || read16(b, 0) != 0x0010 || read16(b, 2) != 0 ||
        std::memcmp(b.data() + 4, acnIdentifier, sizeof acnIdentifier) != 0) {
        return sacnProblem("not sACN", "a packet without the ACN header (" +
                                           std::to_string(b.size()) + " bytes)");
    }
    if (!pduFits(b, 16)) {
        return sacnProblem("bad length",
                           "an sACN packet whose root layer length is not its size (" +
                               std::to_string(b.size()) + " bytes)");
    }
    const std::uint32_t root = read32(b, 18);
    SacnCid cid{};
    std::copy_n(b.begin() + 22, cid.size(), cid.begin());
    if (root == rootExtended) {
        if (!pduFits(b, 38)) {
            return sacnProblem("bad length",
                               "an sACN extended packet whose framing length is wrong");
        }
        const std::uint32_t framing = read32(b, 40);
        if (framing == framingDiscovery) {
            return SacnOther{};
        }
        if (framing != framingSync) {
            return sacnProblem("bad vector", "an sACN extended packet of unknown framing vector " +
                                                 std::to_string(framing));
        }
        if (b.size() < syncBytes) {
            return sacnProblem("truncated", "an sACN sync packet cut short");
        }
        SacnSync sync;
        sync.cid = cid;
        sync.sequence = b[44];
        sync.syncAddress = read16(b, 45);
        if (sync.syncAddress < minSacnUniverse || sync.syncAddress > maxSacnUniverse) {
            return sacnProblem("bad universe", "an sACN sync packet for universe " +
                                                   std::to_string(sync.syncAddress));
        }
        return sync;
    }
    if (root != rootData) {
        return sacnProblem("bad vector",
                           "an sACN packet of unknown root vector " + std::to_string(root));
    }
    if (b.size() < dataHeaderBytes) {
        return sacnProblem("truncated", "an sACN data packet cut short (" +
                                            std::to_string(b.size()) + " bytes)");
    }
    if (!pduFits(b, 38) || !pduFits(b, 115)) {
        return sacnProblem("bad length",
                           "an sACN data packet whose layer lengths are not its size");
    }
    if (read32(b, 40) != framingData || b[117] != dmpSetProperty || b[118] != 0xa1 ||
        read16(b, 119) != 0 || read16(b, 121) != 1) {
        return sacnProblem("bad vector",
                           "an sACN data packet with an unknown vector or address type");
    }
    const std::size_t values = read16(b, 123);
    if (values < 1 || values > 513 || dataHeaderBytes - 1 + values != b.size()) {
        return sacnProblem("bad length", "an sACN data packet of " + std::to_string(values) +
                                             " property values in " + std::to_string(b.size()) +
                                             " bytes");
    }
    SacnData data;
    data.cid = cid;
    data.sourceName = printable(b.subspan(44, 64));
    data.priority = b[108];
    data.syncAddress = read16(b, 109);
    data.sequence = b[111];
    const std::uint8_t options = b[112];
    data.preview = (options & 0x80) != 0;
    data.terminated = (options & 0x40) != 0;
    data.universe = read16(b, 113);
    data.startCode = b[125];
    data.levels = b.subspan(dataHeaderBytes, values - 1);
    if (data.priority > maxSacnPriority) {
        return sacnProblem("bad priority", "an sACN packet of priority " +
                                               std::to_string(data.priority) + " (0..200)");
    }
    if (data.universe < minSacnUniverse || data.universe > maxSacnUniverse) {
        return sacnProblem("bad universe",
                           "an sACN packet for universe " + std::to_string(data.universe));
    }
    return data;
}

std::uint32_t sacnMulticastGroup(int universe) {
    return (239u << 24) | (255u << 16) | (static_cast<std::uint32_t>(universe) & 0xffff);
}

std::vector<std::uint8_t> sacnDataPacket(const SacnSender& sender, int universe,
                                         std::uint8_t sequence,
                                         std::span<const std::uint8_t> levels) {
    const std::size_t count = std::min<std::size_t>(levels.size(), 512);
    std::vector<std::uint8_t> b = rootLayer(dataHeaderBytes + count, rootData, sender.cid);
    write16(b, 38, 0x7000 | static_cast<std::uint32_t>(b.size() - 38));
    write32(b, 40, framingData);
    const std::size_t nameBytes = std::min<std::size_t>(sender.name.size(), 63);
    std::memcpy(b.data() + 44, sender.name.data(), nameBytes);
    b[108] = static_cast<std::uint8_t>(sender.priority);
    write16(b, 109, static_cast<std::uint32_t>(sender.syncAddress));
    b[111] = sequence;
    b[112] =
        static_cast<std::uint8_t>((sender.preview ? 0x80 : 0) | (sender.terminated ? 0x40 : 0));
    write16(b, 113, static_cast<std::uint32_t>(universe));
    write16(b, 115, 0x7000 | static_cast<std::uint32_t>(b.size() - 115));
    b[117] = dmpSetProperty;
    b[118] = 0xa1;
    write16(b, 119, 0);
    write16(b, 121, 1);
    write16(b, 123, static_cast<std::uint32_t>(count + 1));
    b[125] = sender.startCode;
    std::copy_n(levels.begin(), count, b.begin() + dataHeaderBytes);
    return b;
}

std::vector<std::uint8_t> sacnSyncPacket(const SacnCid& cid, std::uint8_t sequence,
                                         int syncAddress) {
    std::vector<std::uint8_t> b = rootLayer(syncBytes, rootExtended, cid);
    write16(b, 38, 0x7000 | static_cast<std::uint32_t>(b.size() - 38));
    write32(b, 40, framingSync);
    b[44] = sequence;
    write16(b, 45, static_cast<std::uint32_t>(syncAddress));
    return b;
}

} // namespace prismeta
