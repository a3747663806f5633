#pragma once

// The levels of one universe from everyone sending it. Each source keeps
// its own levels, priority and sequence; the universe shows the sources of
// the highest priority that are live, and where several share it the
// highest level of each channel (HTP). A packet older than the last one of
// its source (by sequence, within the window E1.31 gives) is dropped. A
// source silent for longer than its protocol's timeout is lost, one that
// says it terminates is released at once; when the last one goes the
// universe keeps the last levels it showed and says since when it is lost.
//
// Levels may be staged instead of shown (a sender that synchronizes its
// universes): they show when commit() is called for them.
//
// A plain value with no clock of its own: times are seconds on one steady
// clock, given by the caller. Not thread-safe; the receiver guards it.

#include "core/DmxSettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

enum class DmxProtocol : std::uint8_t { artNet, sacn };

// Art-Net senders may repeat unchanged levels as seldom as every 4 s, so
// they are given Art-Net's merge timeout; sACN's loss timeout is its own.
inline constexpr double sacnLossSeconds = 2.5;
inline constexpr double artNetLossSeconds = 10.0;
double lossSeconds(DmxProtocol protocol);

// Who sends: an sACN component id, or an Art-Net sender's address.
struct DmxSourceId {
    DmxProtocol protocol = DmxProtocol::sacn;
    std::array<std::uint8_t, 16> bytes{};

    friend bool operator==(const DmxSourceId&, const DmxSourceId&) = default;
};

// Packets a second are counted over this many seconds: a desk that sends
// only when a level changes still reads as sending.
inline constexpr int dmxRateSeconds = 5;

// What one source's status says (OSC, the preferences).
struct DmxSourceStatus {
    int universe = 0;
    DmxProtocol protocol = DmxProtocol::sacn;
    std::string name;
    int priority = 0;
    // Over the last dmxRateSeconds (or since the source was first seen).
    double packetsPerSecond = 0.0;
    std::uint32_t address = 0;    // IPv4 of its last packet, host byte order; 0 unknown
    double sinceLastPacket = 0.0; // seconds
};

// The universe as shown now.
struct UniverseLevels {
    enum class State : std::uint8_t { silent, live, lost };
    State state = State::silent;
    double lostAt = 0.0;       // when the last source went (state lost)
    std::uint64_t changes = 0; // counts every change of the levels shown
    std::array<std::uint8_t, dmxSlots> levels{};
};

// Where the show reads universes from: the receiver, or a test's table.
class UniverseSource {
public:
    virtual ~UniverseSource() = default;
    // The universe as shown now; false (and out untouched) when nothing
    // was ever received for it.
    virtual bool read(int universe, UniverseLevels& out) const = 0;
};

class UniverseMerge {
public:
    // A universe takes at most this many sources; more are refused.
    static constexpr std::size_t maxSources = 8;

    struct Packet {
        DmxSourceId source;
        std::string_view name;
        int priority = 100;
        std::optional<std::uint8_t> sequence; // none: the sender does not number
        std::span<const std::uint8_t> levels;
        std::uint32_t address = 0; // where it came from (IPv4, host byte order)
        // Staged under this sync address (0: shown at once).
        int syncAddress = 0;
    };
    enum class Outcome { shown, staged, stale, refused };

    Outcome receive(const Packet& packet, double now);
    // The source says it stops: it goes at once.
    void terminate(const DmxSourceId& source, double now);
    // Shows the staged levels of the protocol's sources staged under the
    // sync address, from the given sender only where one is given.
    void commit(DmxProtocol protocol, int syncAddress, const DmxSourceId* from, double now);
    // Loses the sources silent past their timeout. True when any went.
    bool expire(double now);

    // How many sources of the protocol are live (ArtSync holds only for one).
    std::size_t sourceCount(DmxProtocol protocol) const;
    const UniverseLevels& shown() const { return shown_; }
    void appendStatus(int universe, double now, std::vector<DmxSourceStatus>& out) const;

private:
    struct Source {
        DmxSourceId id;
        std::string name;
        int priority = 100;
        std::optional<std::uint8_t> sequence;
        double lastSeen = 0.0;
        std::size_t count = 0; // levels received
        std::array<std::uint8_t, dmxSlots> levels{};
        int stagedSync = 0; // nonzero: staged levels wait for this sync address
        std::size_t stagedCount = 0;
        std::array<std::uint8_t, dmxSlots> staged{};
        std::uint32_t address = 0;
        // Packets counted per whole second of the clock over the last
        // dmxRateSeconds, for the status.
        double firstSeen = 0.0;
        std::int64_t newestSecond = 0;
        std::array<std::uint32_t, dmxRateSeconds> perSecond{};
    };
    static double packetsPerSecond(const Source& source, double now);

    Source* find(const DmxSourceId& id);
    void remove(std::size_t index, double now);
    void merge();

    std::vector<Source> sources_;
    UniverseLevels shown_;
};

} // namespace prismeta
