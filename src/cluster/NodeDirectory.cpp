#include "cluster/NodeDirectory.h"

#include <cmath>
#include <cstdio>

namespace prismeta {

std::vector<std::string> NodeDirectory::warningsFor(const NodeStatus& status) {
    std::vector<std::string> warnings;
    if (!status.online) {
        warnings.emplace_back("offline");
        return warnings;
    }
    if (status.droppedFrames > 0) {
        warnings.push_back("drops pictures (" + std::to_string(status.droppedFrames) + ")");
    }
    if (!status.missingMedia.empty()) {
        warnings.push_back("misses media (" + std::to_string(status.missingMedia.size()) + ")");
    }
    if (status.clockOffsetMillis && std::fabs(*status.clockOffsetMillis) > maxClockOffsetMillis) {
        char text[64];
        std::snprintf(text, sizeof text, "clock %.1f ms off", *status.clockOffsetMillis);
        warnings.emplace_back(text);
    }
    return warnings;
}

std::optional<std::string> NodeDirectory::receive(std::string_view node, std::string_view payload) {
    if (payload.empty()) {
        if (const auto found = nodes_.find(node); found != nodes_.end()) {
            nodes_.erase(found);
            ++revision_;
        }
        return std::nullopt;
    }
    Result<NodeStatus> status = readNodeStatus(payload);
    if (!status) {
        return "status of node " + std::string(node) + ": " + status.error();
    }
    auto found = nodes_.find(node);
    if (found == nodes_.end()) {
        if (nodes_.size() >= maxNodes) {
            return "status of node " + std::string(node) + ": too many nodes";
        }
        found = nodes_.emplace(std::string(node), Entry{std::string(node), {}, {}}).first;
    } else if (found->second.known && found->second.status == status.value()) {
        return std::nullopt;
    }
    found->second.known = true;
    found->second.warnings = warningsFor(status.value());
    found->second.status = std::move(status.value());
    ++revision_;
    return std::nullopt;
}

void NodeDirectory::markUnknown() {
    bool changed = false;
    for (auto& [name, entry] : nodes_) {
        if (entry.known) {
            entry.known = false;
            entry.warnings = {"unknown (no broker)"};
            changed = true;
        }
    }
    if (changed) {
        ++revision_;
    }
}

} // namespace prismeta
