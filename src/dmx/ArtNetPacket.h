#pragma once

// Art-Net 4 packets as Prismeta receives them (UDP 6454): ArtDmx, ArtPoll,
// ArtSync and ArtTimeCode, and the ArtPollReply it answers a poll with.
// Parsing reads only inside the bytes given and copies nothing: a packet's
// levels are a view of the bytes.

#include "core/Timecode.h"
#include "dmx/TimecodeRate.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace prismeta {

inline constexpr std::uint16_t artNetPort = 6454;
// The largest Port-Address (15 bits: Net, Sub-Net, Universe).
inline constexpr int maxArtNetPortAddress = 32767;

enum class ArtNetOpCode : std::uint16_t {
    poll = 0x2000,
    pollReply = 0x2100,
    dmx = 0x5000,
    sync = 0x5200,
    timeCode = 0x9700,
};

struct ArtNetDmx {
    int portAddress = 0;
    std::uint8_t sequence = 0; // 0: the sender does not number its packets
    std::span<const std::uint8_t> levels;
};

struct ArtNetPoll {
    std::uint8_t flags = 0;
};

struct ArtNetSync {};

struct ArtNetTimeCode {
    Timecode timecode;
    TimecodeRate rate = TimecodeRate::ebu25;
};

// A well-formed Art-Net packet Prismeta has no use for (another node's
// ArtPollReply, ArtAddress, RDM...).
struct ArtNetOther {};

// Why a packet was dropped: a short kind for the log's rate limit and the
// details.
struct ArtNetProblem {
    std::string_view kind;
    std::string details;
};

using ArtNetPacket =
    std::variant<ArtNetProblem, ArtNetOther, ArtNetDmx, ArtNetPoll, ArtNetSync, ArtNetTimeCode>;

ArtNetPacket parseArtNet(std::span<const std::uint8_t> bytes);

// What an ArtPollReply says of this node.
struct ArtNetNode {
    std::array<std::uint8_t, 4> ip{};
    std::uint16_t port = artNetPort;
    std::string shortName; // up to 17 bytes are sent
    std::string longName;  // up to 63
    std::string report;    // the node report, up to 63
};

// One ArtPollReply per universe listened to (Art-Net 4's preferred one port
// per reply), bindIndex counting from 1. The reply names the universe as the
// output port's Net, Sub-Net and Universe.
std::vector<std::uint8_t> artPollReply(const ArtNetNode& node, int portAddress,
                                       std::uint8_t bindIndex);

// Senders' packets: tests, benchmarks and the example desk script use them.
std::vector<std::uint8_t> artDmxPacket(int portAddress, std::uint8_t sequence,
                                       std::span<const std::uint8_t> levels);
std::vector<std::uint8_t> artPollPacket();
std::vector<std::uint8_t> artSyncPacket();
std::vector<std::uint8_t> artTimeCodePacket(const Timecode& timecode, TimecodeRate rate);

} // namespace prismeta
