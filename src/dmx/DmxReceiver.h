#pragma once

#include "core/Result.h"
#include "core/Timecode.h"
#include "dmx/ArtNetPacket.h"
#include "dmx/SacnPacket.h"
#include "dmx/TimecodeRate.h"
#include "dmx/UniverseMerge.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct sockaddr_in;

namespace prismeta {

struct DmxReceiverConfig {
    // The local IPv4 address to listen on: "127.0.0.1" (this computer only,
    // the default), an address of one interface, or "0.0.0.0" for every
    // interface.
    std::string address = "127.0.0.1";
    bool artNet = true;
    bool sacn = true;
    // 0 takes any free port (tests).
    std::uint16_t artNetPort = prismeta::artNetPort;
    std::uint16_t sacnPort = prismeta::sacnPort;
    // The machine's name, for the long name desks discover.
    std::string machineName;
};

// Receives Art-Net and sACN on a thread of its own. Both ports are opened on
// every IPv4 interface with address reuse, so other DMX software on the
// machine can listen beside it (broadcast and multicast reach every
// listener; a unicast packet reaches one of them); packets that did not
// arrive on the chosen interface are ignored. sACN joins the multicast group
// of each universe in use on that interface (on every interface when all are
// chosen).
//
// The thread parses each packet, answers ArtPoll with one ArtPollReply per
// Art-Net universe in use, and merges levels into the universes in use
// (UniverseMerge; others are ignored). ArtSync is honoured while a single
// Art-Net sender feeds a universe: after a sync its levels wait for the next
// one, until no sync came for 4 s. sACN levels carrying a synchronization
// address wait for a sync packet of that address while such packets come.
// The latest ArtTimeCode is kept. Packets that are not Art-Net or sACN,
// malformed, truncated, oversized or out of range are counted by kind for
// the log and dropped.
//
// Whenever what a universe shows changes (a packet, a source lost), `wake`
// is called on the receiving thread, once until the reader calls rearm().
//
// Made and destroyed on one thread (the interface's); read(), status(),
// takeTimecode() and takeDrops() may be called from any thread. The
// destructor stops the thread.
class DmxReceiver final : public UniverseSource {
public:
    static constexpr std::size_t maxPacketBytes = 1500;

    // Listens as configured. A protocol whose port cannot be opened is one
    // log line and the other one runs; fails only when neither runs (or the
    // address is not this computer's), with every reason in the error and
    // nothing logged.
    static Result<std::unique_ptr<DmxReceiver>> start(const DmxReceiverConfig& config,
                                                      std::function<void()> wake);
    // No sockets and no thread: packets arrive through deliver() (the fuzz
    // targets, benchmarks of the parsing alone).
    static std::unique_ptr<DmxReceiver> detached();

    ~DmxReceiver() override;
    DmxReceiver(const DmxReceiver&) = delete;
    DmxReceiver& operator=(const DmxReceiver&) = delete;

    // The universes the show uses: their levels are kept, their sACN groups
    // joined, and ArtPoll answered with them.
    void setUniverses(std::span<const int> universes);

    bool read(int universe, UniverseLevels& out) const override;
    // Every source seen in the universes in use.
    std::vector<DmxSourceStatus> status(double now) const;
    // The newest ArtTimeCode since the last call.
    std::optional<TimecodeReading> takeTimecode();

    struct Drop {
        std::string kind;
        std::string details; // of the last one
        std::uint64_t count = 0;
    };
    std::vector<Drop> takeDrops();

    // The reader is about to read: the next change wakes it again.
    void rearm() { wakePending_.store(false); }

    // Ports listened on; 0 for a protocol that does not run.
    std::uint16_t artNetPort() const { return artNetPort_; }
    std::uint16_t sacnPort() const { return sacnPort_; }
    const std::string& address() const { return config_.address; }

    // Handles one packet as if it had arrived from `from` (IPv4, host byte
    // order address) on the chosen interface at time now.
    void deliver(DmxProtocol protocol, std::span<const std::uint8_t> bytes, std::uint32_t from,
                 std::uint16_t fromPort, double now);

    // Seconds on the clock packets are stamped with (steady_clock).
    static double now();

private:
    explicit DmxReceiver(DmxReceiverConfig config, std::function<void()> wake);
    void run();
    void receiveFrom(int socket, DmxProtocol protocol);
    void handleArtNet(std::span<const std::uint8_t> bytes, std::uint32_t from,
                      std::uint16_t fromPort, std::uint32_t localAddress, double now);
    void handleSacn(std::span<const std::uint8_t> bytes, std::uint32_t from, double now);
    void drop(std::string_view kind, std::string details);
    void changed();
    void joinGroupsLocked();
    void answerPoll(std::uint32_t to, std::uint16_t toPort, std::uint32_t localAddress);

    DmxReceiverConfig config_;
    std::function<void()> wake_;
    std::atomic<bool> wakePending_{false};
    int artNetSocket_ = -1;
    int sacnSocket_ = -1;
    int stopEvent_ = -1;
    std::uint16_t artNetPort_ = 0;
    std::uint16_t sacnPort_ = 0;
    // Where packets must arrive (0: anywhere) and where groups are joined.
    int interfaceIndex_ = 0;
    std::vector<std::uint32_t> joinAddresses_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::map<int, UniverseMerge> universes_;
    std::vector<int> joined_;            // sACN groups joined
    std::vector<int> membershipSockets_; // more sockets once one holds its maximum
    double lastArtSync_ = -1e9;
    std::optional<DmxSourceId> artSyncSender_;
    std::map<int, double> sacnSyncSeen_; // sync address: last sync packet
    std::optional<TimecodeReading> timecode_;
    std::map<std::string, Drop, std::less<>> drops_;
    std::uint32_t pollReplies_ = 0;
};

} // namespace prismeta
