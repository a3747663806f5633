#pragma once

// The JSON of the cluster's own messages (surfaces and outputs travel as in
// the project file: core/RecordText.h). Every reader takes untrusted bytes
// (anyone on the topic may publish): it fails with a description, never
// throws, and bounds what it keeps. Unknown keys are ignored, so later
// versions can add fields that older nodes skip.

#include "core/OutputDisplay.h"
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
// order of the records (surfaces bottom to top, outputs and cues as listed).
// "cues" is written only when the show has any; none reads as no cues.
struct ProjectStateMessage {
    static constexpr std::size_t maxRecords = 1'000'000;

    double canvasWidth = 1920.0;
    double canvasHeight = 1080.0;
    std::optional<std::string> backgroundImagePath;
    double backgroundOpacity = 0.5;
    std::vector<Uuid> surfaces;
    std::vector<Uuid> outputs;
    std::vector<Uuid> cues;

    friend bool operator==(const ProjectStateMessage&, const ProjectStateMessage&) = default;
};
Result<std::string> writeProjectState(const ProjectStateMessage& message);
// A repeated id keeps its first place.
Result<ProjectStateMessage> readProjectState(std::string_view bytes);

// T/show: what runs on the show clock, in microseconds of it: the live cue
// with its GO time and fade, the blackout's last switch, the start of
// every playing video (a video's picture at show time t is the picture at
// t - start into it) and the latest triggers of shader events. Every machine
// starts each of them on its frame for that time.
struct ShowStateMessage {
    static constexpr std::size_t maxVideos = 100'000;
    static constexpr double maxFade = 3600.0;
    static constexpr std::size_t maxShaderEvents = 64;
    // How long a trigger stays in the message after a later one.
    static constexpr std::int64_t shaderEventMemoryMicros = 2'000'000;

    // The live cue: GO at `atMicros`, fading over `fade` seconds.
    struct Go {
        Uuid cue;
        std::int64_t atMicros = 0;
        double fade = 0.0;

        friend bool operator==(const Go&, const Go&) = default;
    };
    // The blackout switched on or off at `atMicros`, fading over `fade`
    // seconds from `fromLevel` (0 shows the picture, 1 is black).
    struct BlackoutSwitch {
        bool on = false;
        std::int64_t atMicros = 0;
        double fade = 0.0;
        double fromLevel = 0.0;

        friend bool operator==(const BlackoutSwitch&, const BlackoutSwitch&) = default;
    };

    std::optional<Go> go;                   // none before the first GO
    std::optional<BlackoutSwitch> blackout; // none before the first switch
    std::map<Uuid, std::int64_t> videoStarts;
    // The media signature (core/Surface.h) each start is for, where known:
    // a surface fading from one video to another plays both.
    std::map<Uuid, std::string> videoMedia;
    // A shader surface's event input fired at `atMicros`.
    struct ShaderEvent {
        Uuid surface;
        std::string input;
        std::int64_t atMicros = 0;

        friend bool operator==(const ShaderEvent&, const ShaderEvent&) = default;
    };
    // The latest triggers, oldest first; written only when there are any.
    std::vector<ShaderEvent> shaderEvents;

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

// A screen of a machine: its name there ("HDMI-1") and where it lies on
// that machine's desktop, so that the leader can give an output to it.
struct NodeScreen {
    std::string name;
    ScreenRect geometry;

    friend bool operator==(const NodeScreen&, const NodeScreen&) = default;
};

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
    // The screens it has, in its window system's order ("screens", written
    // when there are any; a screen whose name or rectangle is not plausible
    // is left out when read).
    std::vector<NodeScreen> screens;

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
