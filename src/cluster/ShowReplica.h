#pragma once

#include "cluster/ClusterMessages.h"
#include "cluster/ClusterTopics.h"
#include "core/Cue.h"
#include "core/OutputConfig.h"
#include "core/Surface.h"
#include "core/SurfaceList.h"
#include "core/Uuid.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace prismeta {

class ProjectModel;

// A follower's copy of the show its leader publishes, built from the
// retained messages (so a machine that joins late or restarts is complete as
// soon as they have arrived) and kept up by every later one. It holds every
// record it was sent, in the order the project message gives, and copies
// the whole into a ProjectModel on request.
//
// Anyone on the broker may publish under the topic: every message is checked
// and a bad one changes nothing. Memory is bounded: records over
// maxRecordBytes and more than ProjectStateMessage::maxRecords of each kind
// are refused.
//
// One thread (the owner's); no network here: the follower feeds it.
class ShowReplica {
public:
    static constexpr std::size_t maxRecordBytes = 4 * 1024 * 1024;

    explicit ShowReplica(ClusterTopics topics) : topics_(std::move(topics)) {}

    // One message from the broker. Returns why it was ignored, or nothing
    // when it was taken (or is none of the replica's business: node status,
    // clock probes, topics it does not know).
    std::optional<std::string> receive(std::string_view topic, std::string_view payload);

    // Whether every record the project message lists has arrived.
    bool complete() const { return missingRecords() == 0; }
    // How many records the project message lists that have not arrived (all
    // of them before it has come).
    std::size_t missingRecords() const;
    bool hasProject() const { return project_.has_value(); }
    // Whether anything changed since the last applyTo.
    bool pending() const {
        return surfacesRebuild_ || !changedSurfaces_.empty() || outputsChanged_ ||
               projectChanged_ || cuesChanged_ || cuesArrived_;
    }
    // Copies what changed into the model: canvas, background, and the lists
    // of surfaces, outputs and cues in their order (records not arrived yet
    // are left out until they come). Nothing before the first project
    // message. Cues that arrive while others the order lists are still
    // missing join the list once those have come too: a cue list is copied
    // whole, and may hold millions of looks, so a joining machine copies it
    // once rather than at every frame of its arrival.
    // When only some surfaces changed and the model still holds the list this
    // last set, only those are replaced (one copy of the list, no lookups).
    void applyTo(ProjectModel& model);

    const std::optional<LeaderClaim>& leader() const { return leader_; }
    const ShowStateMessage& showState() const { return show_; }
    std::size_t surfaceCount() const { return surfaces_.size(); }

private:
    std::optional<std::string> receiveSurface(const Uuid& id, std::string_view payload);
    std::optional<std::string> receiveOutput(const Uuid& id, std::string_view payload);
    std::optional<std::string> receiveCue(const Uuid& id, std::string_view payload);

    ClusterTopics topics_;
    std::optional<ProjectStateMessage> project_;
    std::unordered_map<Uuid, Surface> surfaces_;
    std::unordered_map<Uuid, OutputConfig> outputs_;
    std::optional<LeaderClaim> leader_;
    ShowStateMessage show_;
    // The surface list must be built again (order, additions, deletions).
    bool surfacesRebuild_ = false;
    // Surfaces whose record changed in place since the last applyTo.
    std::vector<Uuid> changedSurfaces_;
    // The list applyTo set last, and where each id sits in it.
    SurfaceList applied_;
    std::unordered_map<Uuid, std::size_t> positions_;
    bool outputsChanged_ = false;
    bool projectChanged_ = false;
    std::unordered_map<Uuid, Cue> cues_;
    // The cue list must be built again (order, edits, deletions).
    bool cuesChanged_ = false;
    // Cues the order lists came that the list does not hold yet (cues it
    // does not list, a stranger's say, change nothing until it does).
    bool cuesArrived_ = false;
    std::unordered_set<Uuid> listedCues_;
};

} // namespace prismeta
