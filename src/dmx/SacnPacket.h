#pragma once

// sACN (ANSI E1.31-2018) packets as Prismeta receives them (UDP 5568): data
// packets with DMX512 levels, and synchronization packets. Parsing checks
// every layer's vector and length against the bytes, reads only inside them
// and copies nothing but the source name.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace prismeta {

inline constexpr std::uint16_t sacnPort = 5568;
inline constexpr int minSacnUniverse = 1;
inline constexpr int maxSacnUniverse = 63999;
inline constexpr int maxSacnPriority = 200;
inline constexpr int defaultSacnPriority = 100;

using SacnCid = std::array<std::uint8_t, 16>;

struct SacnData {
    SacnCid cid{};
    std::string sourceName; // printable ASCII; other bytes shown as '?'
    int priority = defaultSacnPriority;
    int syncAddress = 0; // 0: not synchronized
    std::uint8_t sequence = 0;
    bool preview = false;    // meant for visualisers, not for the show
    bool terminated = false; // the source stops: let its levels go at once
    int universe = 0;
    std::uint8_t startCode = 0; // 0: DMX512 levels
    std::span<const std::uint8_t> levels;
};

struct SacnSync {
    SacnCid cid{};
    std::uint8_t sequence = 0;
    int syncAddress = 0;
};

// A well-formed packet of no use here (universe discovery).
struct SacnOther {};

struct SacnProblem {
    std::string_view kind;
    std::string details;
};

using SacnPacket = std::variant<SacnProblem, SacnOther, SacnData, SacnSync>;

SacnPacket parseSacn(std::span<const std::uint8_t> bytes);

// The multicast group of a universe: 239.255.H.L, in host byte order.
std::uint32_t sacnMulticastGroup(int universe);

// Senders' packets, for tests, benchmarks and the example desk script.
struct SacnSender {
    SacnCid cid{};
    std::string name;
    int priority = defaultSacnPriority;
    int syncAddress = 0;
    bool terminated = false;
    bool preview = false;
    std::uint8_t startCode = 0;
};
std::vector<std::uint8_t> sacnDataPacket(const SacnSender& sender, int universe,
                                         std::uint8_t sequence,
                                         std::span<const std::uint8_t> levels);
std::vector<std::uint8_t> sacnSyncPacket(const SacnCid& cid, std::uint8_t sequence,
                                         int syncAddress);

} // namespace prismeta
