#pragma once

#include "core/Result.h"
#include "core/Uuid.h"

#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// Where each message of a show lives on the broker, under the show's topic T:
//
//   T/leader              retained: who leads (cleared by the leader's will)
//   T/project             retained: project-wide fields and the order of
//                         the surfaces, outputs and cues
//   T/surface/<id>        retained: one surface as in the project file
//   T/output/<id>         retained: one output as in the project file
//   T/cue/<id>            retained: one cue as in the project file
//   T/show                retained: the show clock's state (video starts...)
//   T/node/<name>/status  retained: one machine's status (will: offline)
//   T/clock/ping/<name>   a machine's clock probe, answered by the leader on
//   T/clock/pong/<name>
//
// An empty retained message clears a record (MQTT deletes it).
class ClusterTopics {
public:
    // The show's topic: not empty, no wildcards ('+', '#'), no leading '$'
    // (broker-internal), no NUL, at most 200 bytes; inner '/' are allowed.
    static Result<ClusterTopics> make(std::string_view showTopic);

    // A node name: 1..64 bytes of letters, digits, '-', '_' and '.'.
    static bool isNodeName(std::string_view name);

    const std::string& root() const { return root_; }
    std::string leader() const { return root_ + "/leader"; }
    std::string project() const { return root_ + "/project"; }
    std::string surface(const Uuid& id) const { return root_ + "/surface/" + id.text(); }
    std::string output(const Uuid& id) const { return root_ + "/output/" + id.text(); }
    std::string cue(const Uuid& id) const { return root_ + "/cue/" + id.text(); }
    std::string show() const { return root_ + "/show"; }
    std::string nodeStatus(std::string_view node) const;
    std::string clockPing(std::string_view node) const;
    std::string clockPong(std::string_view node) const;
    // Everything of the show.
    std::string all() const { return root_ + "/#"; }
    std::string allNodeStatus() const { return root_ + "/node/+/status"; }
    std::string allClockPings() const { return root_ + "/clock/ping/+"; }

    // What a topic under the root names.
    struct Parsed {
        enum class Kind {
            leader,
            project,
            surface,
            output,
            cue,
            show,
            nodeStatus,
            clockPing,
            clockPong
        };
        Kind kind;
        Uuid id;          // surface, output, cue
        std::string node; // nodeStatus, clockPing, clockPong
    };
    // Nothing for a topic outside the show or one it does not know.
    std::optional<Parsed> parse(std::string_view topic) const;

private:
    explicit ClusterTopics(std::string root) : root_(std::move(root)) {}
    std::string root_;
};

} // namespace prismeta
