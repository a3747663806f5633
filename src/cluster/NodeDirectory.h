#pragma once

#include "cluster/ClusterMessages.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// The machines of a show as their retained status messages describe them,
// for the leader's Nodes panel: each with the warnings a person should see.
// One thread (the owner's).
class NodeDirectory {
public:
    // A node whose clock is further than this from the leader's is warned about.
    static constexpr double maxClockOffsetMillis = 2.0;
    static constexpr std::size_t maxNodes = 1'000;

    struct Entry {
        std::string name;
        NodeStatus status;
        // "offline", "drops pictures (12)", "misses media (3)",
        // "clock 3.1 ms off", "unknown (no broker)"; empty when all is well.
        std::vector<std::string> warnings;
        // False from the loss of the broker until its status comes again.
        bool known = true;
    };

    // A status message (an empty payload forgets the node). Returns why it
    // was ignored, or nothing.
    std::optional<std::string> receive(std::string_view node, std::string_view payload);

    // The broker is lost: nothing is known of any node until its status
    // comes again (the broker sends every retained one on reconnection).
    void markUnknown();

    const std::map<std::string, Entry, std::less<>>& nodes() const { return nodes_; }
    // Bumped on every change, so a panel redraws only when needed.
    std::uint64_t revision() const { return revision_; }

    static std::vector<std::string> warningsFor(const NodeStatus& status);

private:
    std::map<std::string, Entry, std::less<>> nodes_;
    std::uint64_t revision_ = 0;
};

} // namespace prismeta
