#include "dmx/ArtNetPacket.h"

#include <algorithm>
#include <cstring>

namespace prismeta {

namespace {

constexpr std::uint8_t artNetId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr std::uint16_t protocolVersion = 14;
constexpr std::size_t headerBytes = 12; // ID, OpCode, ProtVer
constexpr std::size_t dmxHeaderBytes = 18;
constexpr std::size_t pollReplyBytes = 239;

ArtNetProblem artNetProblem(std::string_view kind, std::string details) {
    return ArtNetProblem{kind, std::move(details)};
}

std::vector<std::uint8_t> header(ArtNetOpCode op, std::size_t size) {
    std::vector<std::uint8_t> packet(size, 0);
    std::memcpy(packet.data(), artNetId, sizeof artNetId);
    const auto code = static_cast<std::uint16_t>(op);
    packet[8] = static_cast<std::uint8_t>(code & 0xff);
    packet[9] = static_cast<std::uint8_t>(code >> 8);
    packet[10] = 0;
    packet[11] = protocolVersion;
    return packet;
}

void copyText(std::vector<std::uint8_t>& packet, std::size_t at, std::size_t field,
              std::string_view text) {
    // NUL-terminated within the field; bytes other than printable ASCII go as '?'.
    const std::size_t count = std::min(text.size(), field - 1);
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        packet[at + i] = c >= 0x20 && c < 0x7f ? c : '?';
    }
}

} // namespace

ArtNetPacket parseArtNet(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 10 || std::memcmp(bytes.data(), artNetId, sizeof artNetId) != 0) {
        return artNetProblem("not Art-Net", "a packet without the Art-Net header (" +
                                                std::to_string(bytes.size()) + " bytes)");
    }
    const auto op = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
    if (op == static_cast<std::uint16_t>(ArtNetOpCode::pollReply)) {
        return ArtNetOther{}; // other nodes answering a controller's poll
    }
    if (bytes.size() < headerBytes) {
        return artNetProblem("truncated", "an Art-Net packet cut short (" +
                                              std::to_string(bytes.size()) + " bytes)");
    }
    const int version = (bytes[10] << 8) | bytes[11];
    if (version < protocolVersion) {
        return artNetProblem("old version", "an Art-Net packet of protocol version " +
                                                std::to_string(version) + " (14 or later is read)");
    }
    switch (static_cast<ArtNetOpCode>(op)) {
    case ArtNetOpCode::dmx: {
        if (bytes.size() < dmxHeaderBytes) {
            return artNetProblem("truncated", "an ArtDmx cut short (" +
                                                  std::to_string(bytes.size()) + " bytes)");
        }
        if (bytes[15] & 0x80) {
            return artNetProblem("bad universe", "an ArtDmx whose Net has its top bit set");
        }
        const std::size_t length = static_cast<std::size_t>((bytes[16] << 8) | bytes[17]);
        if (length == 0 || length > 512) {
            return artNetProblem("bad length", "an ArtDmx of " + std::to_string(length) +
                                                   " levels (1..512 are read)");
        }
        if (bytes.size() < dmxHeaderBytes + length) {
            return artNetProblem("truncated", "an ArtDmx of " + std::to_string(length) +
                                                  " levels in a packet of " +
                                                  std::to_string(bytes.size()) + " bytes");
        }
        ArtNetDmx dmx;
        dmx.sequence = bytes[12];
        dmx.portAddress = (bytes[15] << 8) | bytes[14];
        dmx.levels = bytes.subspan(dmxHeaderBytes, length);
        return dmx;
    }
    case ArtNetOpCode::poll:
        // Art-Net 4 polls are longer; the first 14 bytes are all that is read.
        if (bytes.size() < 14) {
            return artNetProblem("truncated", "an ArtPoll cut short (" +
                                                  std::to_string(bytes.size()) + " bytes)");
        }
        return ArtNetPoll{bytes[12]};
    case ArtNetOpCode::sync:
        if (bytes.size() < 14) {
            return artNetProblem("truncated", "an ArtSync cut short (" +
                                                  std::to_string(bytes.size()) + " bytes)");
        }
        return ArtNetSync{};
    case ArtNetOpCode::timeCode: {
        if (bytes.size() < 19) { // filler, stream id, frames, seconds, minutes, hours, type
            return artNetProblem("truncated", "an ArtTimeCode cut short (" +
                                                  std::to_string(bytes.size()) + " bytes)");
        }
        if (bytes[18] > 3) {
            return artNetProblem("bad timecode",
                                 "an ArtTimeCode of unknown type " + std::to_string(bytes[18]));
        }
        constexpr TimecodeRate rates[4] = {TimecodeRate::film24, TimecodeRate::ebu25,
                                           TimecodeRate::dropFrame2997, TimecodeRate::smpte30};
        ArtNetTimeCode code;
        code.rate = rates[bytes[18]];
        code.timecode = Timecode{bytes[17], bytes[16], bytes[15], bytes[14]};
        if (!existsAt(code.timecode, code.rate)) {
            return artNetProblem("bad timecode",
                                 "an ArtTimeCode of " + timecodeText(code.timecode) + ", which " +
                                     std::string(rateName(code.rate)) + " fps does not have");
        }
        return code;
    }
    default:
        return ArtNetOther{};
    }
}

std::vector<std::uint8_t> artPollReply(const ArtNetNode& node, int portAddress,
                                       std::uint8_t bindIndex) {
    std::vector<std::uint8_t> packet(pollReplyBytes, 0);
    std::memcpy(packet.data(), artNetId, sizeof artNetId);
    const auto code = static_cast<std::uint16_t>(ArtNetOpCode::pollReply);
    packet[8] = static_cast<std::uint8_t>(code & 0xff);
    packet[9] = static_cast<std::uint8_t>(code >> 8);
    std::copy(node.ip.begin(), node.ip.end(), packet.begin() + 10);
    packet[14] = static_cast<std::uint8_t>(node.port & 0xff); // low byte first
    packet[15] = static_cast<std::uint8_t>(node.port >> 8);
    packet[16] = 0; // firmware version
    packet[17] = 1;
    packet[18] = static_cast<std::uint8_t>((portAddress >> 8) & 0x7f); // NetSwitch
    packet[19] = static_cast<std::uint8_t>((portAddress >> 4) & 0x0f); // SubSwitch
    packet[20] = 0xff;                                                 // OEM: unassigned
    packet[21] = 0xff;
    packet[23] = 0xd0; // Status1: indicators normal, set up over the network
    copyText(packet, 26, 18, node.shortName);
    copyText(packet, 44, 64, node.longName);
    copyText(packet, 108, 64, node.report);
    packet[173] = 1;    // one port
    packet[174] = 0x80; // it outputs DMX512 from the network
    packet[182] = 0x80; // GoodOutputA: data is being output
    packet[190] = static_cast<std::uint8_t>(portAddress & 0x0f);     // SwOut[0]
    packet[200] = 0x02;                                              // Style: a media server
    std::copy(node.ip.begin(), node.ip.end(), packet.begin() + 207); // BindIp
    packet[211] = bindIndex;
    packet[212] = 0x08; // Status2: 15-bit Port-Addresses
    return packet;
}

std::vector<std::uint8_t> artDmxPacket(int portAddress, std::uint8_t sequence,
                                       std::span<const std::uint8_t> levels) {
    const std::size_t count = std::min<std::size_t>(levels.size(), 512);
    std::vector<std::uint8_t> packet = header(ArtNetOpCode::dmx, dmxHeaderBytes + count);
    packet[12] = sequence;
    packet[14] = static_cast<std::uint8_t>(portAddress & 0xff);
    packet[15] = static_cast<std::uint8_t>((portAddress >> 8) & 0x7f);
    packet[16] = static_cast<std::uint8_t>(count >> 8);
    packet[17] = static_cast<std::uint8_t>(count & 0xff);
    std::copy_n(levels.begin(), count, packet.begin() + dmxHeaderBytes);
    return packet;
}

std::vector<std::uint8_t> artPollPacket() {
    std::vector<std::uint8_t> packet = header(ArtNetOpCode::poll, 14);
    packet[12] = 0x02; // send a reply when something changes
    return packet;
}

std::vector<std::uint8_t> artSyncPacket() {
    return header(ArtNetOpCode::sync, 14);
}

std::vector<std::uint8_t> artTimeCodePacket(const Timecode& timecode, TimecodeRate rate) {
    std::vector<std::uint8_t> packet = header(ArtNetOpCode::timeCode, 19);
    packet[14] = static_cast<std::uint8_t>(timecode.frames);
    packet[15] = static_cast<std::uint8_t>(timecode.seconds);
    packet[16] = static_cast<std::uint8_t>(timecode.minutes);
    packet[17] = static_cast<std::uint8_t>(timecode.hours);
    packet[18] = static_cast<std::uint8_t>(rate);
    return packet;
}

} // namespace prismeta
