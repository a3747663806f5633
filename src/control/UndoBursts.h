#pragma once

#include "core/SurfaceList.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

namespace prismeta {

class ProjectModel;

// Remote edits of the surface list become undo steps by bursts: the first
// edit of a field takes one undo snapshot, and further edits of the same
// field (same targets) join that step while they keep coming less than
// `pause` apart. A fader swept from a desk is so undone in one step, not in
// fifty. A burst ends after a pause, and also as soon as anything else
// changes the surface list (a drag in the editor, an undo): the next remote
// edit then takes a fresh snapshot, so no other change is ever folded into a
// remote step.
//
// Interface thread only; holds no reference to the model between calls.
class UndoBursts {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration pause = std::chrono::milliseconds(500);
    // More open bursts than this (a flood of distinct fields) close them all.
    static constexpr std::size_t maxOpen = 256;

    // Before an edit of `key` that changes the surface list: takes the undo
    // snapshot unless the edit continues an open burst of the same key.
    // Returns whether it took one. An edit standing for a run of edits of
    // the key (the ones before it overwritten unseen) is judged by when the
    // run began, and keeps the burst open from when it ended.
    bool beforeEdit(ProjectModel& model, const std::string& key, Clock::time_point began,
                    Clock::time_point ended);
    bool beforeEdit(ProjectModel& model, const std::string& key, Clock::time_point now) {
        return beforeEdit(model, key, now, now);
    }
    // After the edit: the list it left, to tell later whether anything else
    // changed it.
    void afterEdit(const ProjectModel& model);

private:
    std::unordered_map<std::string, Clock::time_point> open_;
    std::optional<SurfaceList> left_;
};

} // namespace prismeta
