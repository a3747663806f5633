// Fuzz target: bytes as a run of messages arriving on a show's topic from
// anyone on the broker, carried into a follower's copy of the show, the
// leader's node list and the clock answers. Each message is one byte that
// picks the topic, one that picks a record id among four, two bytes of
// length (little end first) and the payload. Whatever arrives, nothing
// crashes, every surface, output and cue the model ends with carries one of
// the ids its topic named, no id appears twice, and what the leader's cues make
// the follower draw is a finite opacity within 0..1.
#include "FuzzChecks.h"

#include "cluster/ClusterMessages.h"
#include "cluster/FollowedCues.h"
#include "cluster/NodeDirectory.h"
#include "cluster/ShowReplica.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace prismeta::fuzz {
namespace {

const std::array<Uuid, 4>& ids() {
    static const std::array<Uuid, 4> made = {
        Uuid::parse("00000000-0000-4000-8000-000000000001").value(),
        Uuid::parse("00000000-0000-4000-8000-000000000002").value(),
        Uuid::parse("00000000-0000-4000-8000-000000000003").value(),
        Uuid::parse("00000000-0000-4000-8000-000000000004").value()};
    return made;
}

} // namespace
} // namespace prismeta::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace prismeta;
    const ScopedLogSink quiet([](std::string_view) {});
    const ClusterTopics topics = ClusterTopics::make("show").value();
    ShowReplica replica(topics);
    NodeDirectory nodes;
    ProjectModel model;
    FollowedCues cues;
    const auto& known = fuzz::ids();

    std::size_t at = 0;
    while (at + 4 <= size) {
        const std::uint8_t kind = data[at];
        const Uuid& id = known[data[at + 1] % known.size()];
        const std::size_t length = data[at + 2] | (static_cast<std::size_t>(data[at + 3]) << 8);
        at += 4;
        const std::string_view payload(reinterpret_cast<const char*>(data + at),
                                       std::min(length, size - at));
        at += payload.size();
        std::string topic;
        switch (kind % 9) {
        case 0:
            topic = topics.surface(id);
            break;
        case 1:
            topic = topics.output(id);
            break;
        case 2:
            topic = topics.project();
            break;
        case 3:
            topic = topics.show();
            break;
        case 4:
            topic = topics.leader();
            break;
        case 5:
            (void)nodes.receive("node-" + std::to_string(data[at - payload.size() - 3] % 4),
                                payload);
            continue;
        case 6:
            (void)readClockProbe(payload, true);
            continue;
        case 8:
            topic = topics.cue(id);
            break;
        default: {
            // Apply midway too: a follower applies at every frame, then
            // follows the cues (its steady clock 1 s into the show clock).
            const SurfaceList before = model.surfaces();
            replica.applyTo(model);
            cues.update(
                replica.showState(), before, model.surfaces(),
                ClockReading{1.0 + static_cast<double>(at) * 0.01,
                             1'765'000'000'000'000 + static_cast<std::int64_t>(at) * 10'000});
            continue;
        }
        }
        (void)replica.receive(topic, payload);
    }
    replica.applyTo(model);

    std::set<Uuid> seen;
    for (const Surface& surface : model.surfaces()) {
        if (std::find(known.begin(), known.end(), surface.id) == known.end() ||
            !seen.insert(surface.id).second) {
            fuzz::fault("cluster", "a surface id that no topic named, or twice");
        }
    }
    seen.clear();
    for (const OutputConfig& output : model.outputs()) {
        if (std::find(known.begin(), known.end(), output.id) == known.end() ||
            !seen.insert(output.id).second) {
            fuzz::fault("cluster", "an output id that no topic named, or twice");
        }
    }
    seen.clear();
    for (const Cue& cue : model.cues()) {
        if (std::find(known.begin(), known.end(), cue.id) == known.end() ||
            !seen.insert(cue.id).second) {
            fuzz::fault("cluster", "a cue id that no topic named, or twice");
        }
    }
    for (const Surface& surface : model.surfaces()) {
        for (const double t : {0.0, 1.0, 1.5, 1e6}) {
            const double opacity =
                cues.crossfade() ? cues.crossfade()->onScreen(surface, t).opacity : surface.opacity;
            const double black = cues.state().blackout.level(t);
            if (!(std::isfinite(opacity) && std::isfinite(black) && black >= 0.0 && black <= 1.0)) {
                fuzz::fault("cluster", "a fade or blackout level that is not a number in range");
            }
        }
    }
    if (nodes.nodes().size() > 4) {
        fuzz::fault("cluster", "more nodes than names");
    }
    return 0;
}
