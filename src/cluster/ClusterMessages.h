#pragma once

// The JSON of the cluster's own messages (surfaces and outputs travel as in
// the project file: core/RecordText.h). Every reader takes untrusted bytes
// (anyone on the topic may publish): it fails with a description, never
// throws, and bounds what it keeps. Unknown keys are ignored, so later
// versions can add fields that older nodes skip.

#include "core/Result.h"
#include "core/Uuid.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// T/project: the fields of the project file that are not records, and the
// order of the records (surfaces bottom to top, outputs as listed).
struct ProjectStateMessage {
    static constexpr std::size_t maxRecords = 1'000'000;

    double canvasWidth = 1920.0;
    double canvasHeight = 1080.0;
    std::optional<std::string> backgroundImagePath;
    double backgroundOpacity = 0.5;
    std::vector<Uuid> surfaces;
    std::vector<Uuid> outputs;

    friend bool operator==(const ProjectStateMessage&, const ProjectStateMessage&) = default;
};
Result<std::string> writeProjectState(const ProjectStateMessage& message);
// A repeated id keeps its first place.
Result<ProjectStateMessage> readProjectState(std::string_view bytes);

// T/show: what runs on the show clock, in microseconds of it. Today the start
// of every playing video (a video's picture at show time t is the picture at
// t - start into it); the live cue, its GO time and fade, and the blackout
// take their place beside these keys.
struct ShowStateMessage {
    static constexpr std::size_t maxVideos = 100'000;

    std::map<Uuid, std::int64_t> videoStarts;

    friend bool operator==(const ShowStateMessage&, const ShowStateMessage&) = default;
};
std::string writeShowState(const ShowStateMessage& message);
Result<ShowStateMessage> readShowState(std::string_view bytes);

// T/leader: who leads the show. `since` (show clock) breaks the tie when two
// machines claim at once: the earlier claim keeps the lead.
struct LeaderClaim {
    std::string client;
    std::string host;
    std::int64_t since = 0;

    friend bool operator==(const LeaderClaim&, const LeaderClaim&) = default;
};
std::string writeLeaderClaim(const LeaderClaim& claim);
Result<LeaderClaim> readLeaderClaim(std::string_view bytes);

// T/node/<name>/status: what one machine reports; its will sets "online"
// to false.
struct NodeStatus {
    static constexpr std::size_t maxListed = 1'000;

    bool online = true;
    std::vector<std::string> outputs; // names of the outputs it shows
    double framesPerSecond = 0.0;
    std::uint64_t droppedFrames = 0;
    std::vector<std::string> missingMedia; // paths
    // Its clock minus the leader's, once measured; the leader has none.
    std::optional<double> clockOffsetMillis;
    std::optional<double> roundTripMillis;

    friend bool operator==(const NodeStatus&, const NodeStatus&) = default;
};
std::string writeNodeStatus(const NodeStatus& status);
Result<NodeStatus> readNodeStatus(std::string_view bytes);
// The will: {"online":false}.
std::string offlineNodeStatus();

// T/clock/ping/<node> {"t1"} and T/clock/pong/<node> {"t1","t2","t3"}.
struct ClockProbe {
    std::int64_t t1 = 0;
    std::int64_t t2 = 0;
    std::int64_t t3 = 0;
};
std::string writeClockPing(std::int64_t t1);
std::string writeClockPong(const ClockProbe& probe);
Result<ClockProbe> readClockProbe(std::string_view bytes, bool answered);

} // namespace prismeta
