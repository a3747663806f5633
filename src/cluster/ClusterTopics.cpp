#include "cluster/ClusterTopics.h"

namespace prismeta {

Result<ClusterTopics> ClusterTopics::make(std::string_view showTopic) {
    const auto fail = [&showTopic](std::string_view why) {
        return Result<ClusterTopics>::failure("topic \"" + std::string(showTopic) +
                                              "\": " + std::string(why));
    };
    if (showTopic.empty()) {
        return fail("empty");
    }
    if (showTopic.size() > 200) {
        return fail("longer than 200 bytes");
    }
    if (showTopic.find_first_of(std::string_view("+#\0", 3)) != std::string_view::npos) {
        return fail("'+', '#' and NUL are not allowed in a topic");
    }
    if (showTopic.front() == '$') {
        return fail("a topic starting with '$' belongs to the broker");
    }
    if (showTopic.back() == '/') {
        return fail("a topic does not end with '/'");
    }
    return ClusterTopics(std::string(showTopic));
}

bool ClusterTopics::isNodeName(std::string_view name) {
    if (name.empty() || name.size() > 64) {
        return false;
    }
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string ClusterTopics::nodeStatus(std::string_view node) const {
    return root_ + "/node/" + std::string(node) + "/status";
}

std::string ClusterTopics::clockPing(std::string_view node) const {
    return root_ + "/clock/ping/" + std::string(node);
}

std::string ClusterTopics::clockPong(std::string_view node) const {
    return root_ + "/clock/pong/" + std::string(node);
}

std::optional<ClusterTopics::Parsed> ClusterTopics::parse(std::string_view topic) const {
    if (topic.size() <= root_.size() + 1 || topic.substr(0, root_.size()) != root_ ||
        topic[root_.size()] != '/') {
        return std::nullopt;
    }
    const std::string_view rest = topic.substr(root_.size() + 1);
    using Kind = Parsed::Kind;
    if (rest == "leader") {
        return Parsed{Kind::leader, {}, {}};
    }
    if (rest == "project") {
        return Parsed{Kind::project, {}, {}};
    }
    if (rest == "show") {
        return Parsed{Kind::show, {}, {}};
    }
    const auto record = [&rest](std::string_view prefix, Kind kind) -> std::optional<Parsed> {
        if (rest.substr(0, prefix.size()) != prefix) {
            return std::nullopt;
        }
        const auto id = Uuid::parse(rest.substr(prefix.size()));
        if (!id) {
            return std::nullopt;
        }
        return Parsed{kind, *id, {}};
    };
    const auto node = [&rest](std::string_view prefix, std::string_view suffix,
                              Kind kind) -> std::optional<Parsed> {
        if (rest.size() <= prefix.size() + suffix.size() ||
            rest.substr(0, prefix.size()) != prefix ||
            rest.substr(rest.size() - suffix.size()) != suffix) {
            return std::nullopt;
        }
        const std::string_view name =
            rest.substr(prefix.size(), rest.size() - prefix.size() - suffix.size());
        if (!isNodeName(name)) {
            return std::nullopt;
        }
        return Parsed{kind, {}, std::string(name)};
    };
    if (auto parsed = record("surface/", Kind::surface)) {
        return parsed;
    }
    if (auto parsed = record("output/", Kind::output)) {
        return parsed;
    }
    if (auto parsed = record("cue/", Kind::cue)) {
        return parsed;
    }
    if (auto parsed = node("node/", "/status", Kind::nodeStatus)) {
        return parsed;
    }
    if (auto parsed = node("clock/ping/", "", Kind::clockPing)) {
        return parsed;
    }
    return node("clock/pong/", "", Kind::clockPong);
}

} // namespace prismeta
