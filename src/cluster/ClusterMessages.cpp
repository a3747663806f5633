#include "cluster/ClusterMessages.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <unordered_set>

namespace prismeta {

using nlohmann::json;

namespace {

constexpr std::size_t maxSmallMessage = 64 * 1024;
constexpr std::size_t maxTextLength = 4096;

// The object a message holds, or why there is none. The parser is iterative
// and the tree is freed iteratively, so nesting depth costs no stack.
Result<json> parseObject(std::string_view bytes, std::size_t limit) {
    if (bytes.size() > limit) {
        return Result<json>::failure("larger than " + std::to_string(limit) + " bytes");
    }
    json value = json::parse(bytes, nullptr, false);
    if (value.is_discarded()) {
        return Result<json>::failure("not JSON");
    }
    if (!value.is_object()) {
        return Result<json>::failure("not a JSON object");
    }
    return value;
}

std::optional<double> finiteNumber(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return std::nullopt;
    }
    const double number = it->get<double>();
    return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
}

std::optional<std::int64_t> wholeNumber(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    if (it->is_number_integer()) {
        if (it->is_number_unsigned() &&
            it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        return it->get<std::int64_t>();
    }
    return std::nullopt;
}

std::optional<std::string> shortText(const json& value) {
    if (!value.is_string() || value.get_ref<const std::string&>().size() > maxTextLength) {
        return std::nullopt;
    }
    return value.get<std::string>();
}

Result<std::vector<Uuid>> idList(const json& object, const char* key) {
    using Ids = Result<std::vector<Uuid>>;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array()) {
        return Ids::failure(std::string("\"") + key + "\" is not a list of ids");
    }
    if (it->size() > ProjectStateMessage::maxRecords) {
        return Ids::failure(std::string("\"") + key + "\" lists too many records");
    }
    std::vector<Uuid> ids;
    ids.reserve(it->size());
    std::unordered_set<Uuid> seen;
    seen.reserve(it->size());
    for (const json& entry : *it) {
        const std::optional<Uuid> id =
            entry.is_string() ? Uuid::parse(entry.get_ref<const std::string&>()) : std::nullopt;
        if (!id) {
            return Ids::failure(std::string("\"") + key + "\" holds something that is not an id");
        }
        if (seen.insert(*id).second) {
            ids.push_back(*id);
        }
    }
    return ids;
}

std::string dumped(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

// ------------------------------------------------------------ project state

Result<std::string> writeProjectState(const ProjectStateMessage& message) {
    if (!std::isfinite(message.canvasWidth) || !std::isfinite(message.canvasHeight) ||
        !std::isfinite(message.backgroundOpacity)) {
        return Result<std::string>::failure("a project-wide number is not finite");
    }
    try {
        json root = json::object();
        root["canvasWidth"] = message.canvasWidth;
        root["canvasHeight"] = message.canvasHeight;
        root["backgroundOpacity"] = message.backgroundOpacity;
        if (message.backgroundImagePath) {
            root["backgroundImagePath"] = *message.backgroundImagePath;
        }
        json& surfaces = root["surfaces"] = json::array();
        for (const Uuid& id : message.surfaces) {
            surfaces.push_back(id.text());
        }
        json& outputs = root["outputs"] = json::array();
        for (const Uuid& id : message.outputs) {
            outputs.push_back(id.text());
        }
        if (!message.cues.empty()) {
            json& cues = root["cues"] = json::array();
            for (const Uuid& id : message.cues) {
                cues.push_back(id.text());
            }
        }
        return root.dump(-1, ' ', false, json::error_handler_t::strict);
    } catch (const json::exception& error) {
        return Result<std::string>::failure(error.what());
    }
}

Result<ProjectStateMessage> readProjectState(std::string_view bytes) {
    using Out = Result<ProjectStateMessage>;
    const Result<json> parsed = parseObject(bytes, 64 * 1024 * 1024);
    if (!parsed) {
        return Out::failure(parsed.error());
    }
    const json& root = parsed.value();
    ProjectStateMessage message;
    const auto width = finiteNumber(root, "canvasWidth");
    const auto height = finiteNumber(root, "canvasHeight");
    const auto opacity = finiteNumber(root, "backgroundOpacity");
    if (!width || !height || !opacity) {
        return Out::failure("canvasWidth, canvasHeight or backgroundOpacity is not a number");
    }
    message.canvasWidth = *width;
    message.canvasHeight = *height;
    message.backgroundOpacity = *opacity;
    if (const auto it = root.find("backgroundImagePath"); it != root.end() && !it->is_null()) {
        if (!it->is_string()) {
            return Out::failure("backgroundImagePath is not a text");
        }
        message.backgroundImagePath = it->get<std::string>();
    }
    Result<std::vector<Uuid>> surfaces = idList(root, "surfaces");
    if (!surfaces) {
        return Out::failure(surfaces.error());
    }
    Result<std::vector<Uuid>> outputs = idList(root, "outputs");
    if (!outputs) {
        return Out::failure(outputs.error());
    }
    message.surfaces = std::move(surfaces.value());
    message.outputs = std::move(outputs.value());
    if (root.contains("cues")) {
        Result<std::vector<Uuid>> cues = idList(root, "cues");
        if (!cues) {
            return Out::failure(cues.error());
        }
        message.cues = std::move(cues.value());
    }
    return message;
}

// --------------------------------------------------------------- show state

std::string writeShowState(const ShowStateMessage& message) {
    json root = json::object();
    if (message.go) {
        root["cue"] = json{{"id", message.go->cue.text()},
                           {"go", message.go->atMicros},
                           {"fade", std::isfinite(message.go->fade) ? message.go->fade : 0.0}};
    }
    if (message.blackout) {
        const ShowStateMessage::BlackoutSwitch& blackout = *message.blackout;
        root["blackout"] =
            json{{"on", blackout.on},
                 {"at", blackout.atMicros},
                 {"fade", std::isfinite(blackout.fade) ? blackout.fade : 0.0},
                 {"from", std::isfinite(blackout.fromLevel) ? blackout.fromLevel : 0.0}};
    }
    json& starts = root["videoStarts"] = json::object();
    for (const auto& [id, start] : message.videoStarts) {
        starts[id.text()] = start;
    }
    if (!message.videoMedia.empty()) {
        json& media = root["videoMedia"] = json::object();
        for (const auto& [id, signature] : message.videoMedia) {
            media[id.text()] = signature;
        }
    }
    if (!message.shaderEvents.empty()) {
        json& events = root["shaderEvents"] = json::array();
        for (const ShowStateMessage::ShaderEvent& event : message.shaderEvents) {
            events.push_back(json{
                {"surface", event.surface.text()}, {"input", event.input}, {"at", event.atMicros}});
        }
    }
    return dumped(root);
}

namespace {

// A time on the show clock: whole microseconds within 0..2^53 (285 years),
// so differences of them never overflow.
std::optional<std::int64_t> showTime(const json& object, const char* key) {
    const auto value = wholeNumber(object, key);
    return value && *value >= 0 && *value <= (std::int64_t{1} << 53) ? value : std::nullopt;
}

std::optional<double> numberWithin(const json& object, const char* key, double low, double high) {
    const auto value = finiteNumber(object, key);
    return value && *value >= low && *value <= high ? value : std::nullopt;
}

} // namespace

Result<ShowStateMessage> readShowState(std::string_view bytes) {
    using Out = Result<ShowStateMessage>;
    const Result<json> parsed = parseObject(bytes, 16 * 1024 * 1024);
    if (!parsed) {
        return Out::failure(parsed.error());
    }
    ShowStateMessage message;
    const json& root = parsed.value();
    if (const auto it = root.find("cue"); it != root.end()) {
        const std::optional<Uuid> id =
            it->is_object() && it->contains("id") && (*it)["id"].is_string()
                ? Uuid::parse((*it)["id"].get_ref<const std::string&>())
                : std::nullopt;
        const auto at = id ? showTime(*it, "go") : std::nullopt;
        const auto fade =
            id ? numberWithin(*it, "fade", 0.0, ShowStateMessage::maxFade) : std::nullopt;
        if (!id || !at || !fade) {
            return Out::failure("cue is not {id, go (microseconds), fade (0..3600 s)}");
        }
        message.go = ShowStateMessage::Go{*id, *at, *fade};
    }
    if (const auto it = root.find("blackout"); it != root.end()) {
        const bool object = it->is_object();
        const bool hasOn = object && it->contains("on") && (*it)["on"].is_boolean();
        const auto at = object ? showTime(*it, "at") : std::nullopt;
        const auto fade =
            object ? numberWithin(*it, "fade", 0.0, ShowStateMessage::maxFade) : std::nullopt;
        const auto from = object ? numberWithin(*it, "from", 0.0, 1.0) : std::nullopt;
        if (!hasOn || !at || !fade || !from) {
            return Out::failure("blackout is not {on, at (microseconds), fade, from (0..1)}");
        }
        message.blackout =
            ShowStateMessage::BlackoutSwitch{(*it)["on"].get<bool>(), *at, *fade, *from};
    }
    if (const auto it = root.find("videoStarts"); it != root.end()) {
        if (!it->is_object() || it->size() > ShowStateMessage::maxVideos) {
            return Out::failure("videoStarts is not an object of at most 100000 starts");
        }
        for (const auto& [key, value] : it->items()) {
            const std::optional<Uuid> id = Uuid::parse(key);
            if (!id || !value.is_number_integer() ||
                (value.is_number_unsigned() &&
                 value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))) {
                return Out::failure("videoStarts holds an entry that is not id: microseconds");
            }
            message.videoStarts[*id] = value.get<std::int64_t>();
        }
    }
    if (const auto it = root.find("videoMedia"); it != root.end()) {
        if (!it->is_object() || it->size() > ShowStateMessage::maxVideos) {
            return Out::failure("videoMedia is not an object of at most 100000 signatures");
        }
        for (const auto& [key, value] : it->items()) {
            const std::optional<Uuid> id = Uuid::parse(key);
            std::optional<std::string> signature = shortText(value);
            if (!id || !signature) {
                return Out::failure("videoMedia holds an entry that is not id: text");
            }
            message.videoMedia[*id] = std::move(*signature);
        }
    }
    if (const auto it = root.find("shaderEvents"); it != root.end()) {
        if (!it->is_array() || it->size() > 4 * ShowStateMessage::maxShaderEvents) {
            return Out::failure("shaderEvents is not a list of at most 256 triggers");
        }
        for (const json& event : *it) {
            const bool object = event.is_object();
            const std::optional<Uuid> surface =
                object && event.contains("surface") && event["surface"].is_string()
                    ? Uuid::parse(event["surface"].get_ref<const std::string&>())
                    : std::nullopt;
            std::optional<std::string> input =
                object && event.contains("input") ? shortText(event["input"]) : std::nullopt;
            const auto at = object ? showTime(event, "at") : std::nullopt;
            if (!surface || !input || input->empty() || !at) {
                return Out::failure("shaderEvents holds a trigger that is not {surface, input, at "
                                    "(microseconds)}");
            }
            message.shaderEvents.push_back({*surface, std::move(*input), *at});
        }
    }
    return message;
}

// ------------------------------------------------------------- leader claim

std::string writeLeaderClaim(const LeaderClaim& claim) {
    return dumped(json{{"client", claim.client}, {"host", claim.host}, {"since", claim.since}});
}

Result<LeaderClaim> readLeaderClaim(std::string_view bytes) {
    using Out = Result<LeaderClaim>;
    const Result<json> parsed = parseObject(bytes, maxSmallMessage);
    if (!parsed) {
        return Out::failure(parsed.error());
    }
    const json& root = parsed.value();
    LeaderClaim claim;
    const auto client = root.contains("client") ? shortText(root["client"]) : std::nullopt;
    const auto since = wholeNumber(root, "since");
    if (!client || client->empty() || !since) {
        return Out::failure("a claim needs \"client\" and \"since\"");
    }
    claim.client = *client;
    claim.since = *since;
    if (root.contains("host")) {
        claim.host = shortText(root["host"]).value_or("");
    }
    return claim;
}

// -------------------------------------------------------------- node status

std::string writeNodeStatus(const NodeStatus& status) {
    json root = json::object();
    root["online"] = status.online;
    if (!status.online) {
        return dumped(root);
    }
    root["outputs"] = status.outputs;
    root["framesPerSecond"] = std::isfinite(status.framesPerSecond) ? status.framesPerSecond : 0.0;
    root["droppedFrames"] = status.droppedFrames;
    root["missingMedia"] = status.missingMedia;
    if (status.clockOffsetMillis && std::isfinite(*status.clockOffsetMillis)) {
        root["clockOffsetMillis"] = *status.clockOffsetMillis;
    }
    if (status.roundTripMillis && std::isfinite(*status.roundTripMillis)) {
        root["roundTripMillis"] = *status.roundTripMillis;
    }
    if (!status.screens.empty()) {
        json screens = json::array();
        for (const NodeScreen& screen : status.screens) {
            const ScreenRect& r = screen.geometry;
            screens.push_back(json{{"name", screen.name},
                                   {"x", r.x},
                                   {"y", r.y},
                                   {"width", r.width},
                                   {"height", r.height}});
        }
        root["screens"] = std::move(screens);
    }
    return dumped(root);
}

std::string offlineNodeStatus() {
    NodeStatus status;
    status.online = false;
    return writeNodeStatus(status);
}

namespace {

std::optional<NodeScreen> nodeScreen(const json& entry) {
    if (!entry.is_object()) {
        return std::nullopt;
    }
    const auto named = entry.find("name");
    if (named == entry.end()) {
        return std::nullopt;
    }
    const auto coordinate = [&entry](const char* key) -> std::optional<int> {
        const std::optional<std::int64_t> value = wholeNumber(entry, key);
        if (!value || *value < -maxDesktopCoordinate || *value > maxDesktopCoordinate) {
            return std::nullopt;
        }
        return static_cast<int>(*value);
    };
    const std::optional<std::string> name = shortText(*named);
    const std::optional<int> x = coordinate("x");
    const std::optional<int> y = coordinate("y");
    const std::optional<int> width = coordinate("width");
    const std::optional<int> height = coordinate("height");
    if (!name || !x || !y || !width || !height) {
        return std::nullopt;
    }
    NodeScreen screen{*name, ScreenRect{*x, *y, *width, *height}};
    if (!isPlausible(OutputDisplay{screen.name, screen.geometry, true})) {
        return std::nullopt;
    }
    return screen;
}

} // namespace

Result<NodeStatus> readNodeStatus(std::string_view bytes) {
    using Out = Result<NodeStatus>;
    const Result<json> parsed = parseObject(bytes, maxSmallMessage);
    if (!parsed) {
        return Out::failure(parsed.error());
    }
    const json& root = parsed.value();
    NodeStatus status;
    const auto online = root.find("online");
    if (online == root.end() || !online->is_boolean()) {
        return Out::failure("\"online\" is not true or false");
    }
    status.online = online->get<bool>();
    const auto texts = [&root](const char* key, std::vector<std::string>& into) {
        const auto it = root.find(key);
        if (it == root.end() || !it->is_array()) {
            return;
        }
        for (const json& entry : *it) {
            if (into.size() >= NodeStatus::maxListed) {
                break;
            }
            if (auto text = shortText(entry)) {
                into.push_back(std::move(*text));
            }
        }
    };
    texts("outputs", status.outputs);
    texts("missingMedia", status.missingMedia);
    status.framesPerSecond = finiteNumber(root, "framesPerSecond").value_or(0.0);
    const auto dropped = wholeNumber(root, "droppedFrames");
    status.droppedFrames = dropped && *dropped > 0 ? static_cast<std::uint64_t>(*dropped) : 0;
    status.clockOffsetMillis = finiteNumber(root, "clockOffsetMillis");
    status.roundTripMillis = finiteNumber(root, "roundTripMillis");
    if (const auto screens = root.find("screens"); screens != root.end() && screens->is_array()) {
        for (const json& entry : *screens) {
            if (status.screens.size() >= NodeStatus::maxListed) {
                break;
            }
            if (std::optional<NodeScreen> screen = nodeScreen(entry)) {
                status.screens.push_back(std::move(*screen));
            }
        }
    }
    return status;
}

// -------------------------------------------------------------------- clock

std::string writeClockPing(std::int64_t t1) {
    return dumped(json{{"t1", t1}});
}

std::string writeClockPong(const ClockProbe& probe) {
    return dumped(json{{"t1", probe.t1}, {"t2", probe.t2}, {"t3", probe.t3}});
}

Result<ClockProbe> readClockProbe(std::string_view bytes, bool answered) {
    using Out = Result<ClockProbe>;
    const Result<json> parsed = parseObject(bytes, maxSmallMessage);
    if (!parsed) {
        return Out::failure(parsed.error());
    }
    const json& root = parsed.value();
    ClockProbe probe;
    // Times within 0..2^53 µs (285 years): differences of them never overflow.
    const auto time = [&root](const char* key) -> std::optional<std::int64_t> {
        const auto value = wholeNumber(root, key);
        return value && *value >= 0 && *value <= (std::int64_t{1} << 53) ? value : std::nullopt;
    };
    const auto t1 = time("t1");
    if (!t1) {
        return Out::failure("no \"t1\"");
    }
    probe.t1 = *t1;
    if (answered) {
        const auto t2 = time("t2");
        const auto t3 = time("t3");
        if (!t2 || !t3) {
            return Out::failure("no \"t2\" or \"t3\"");
        }
        probe.t2 = *t2;
        probe.t3 = *t3;
    }
    return probe;
}

} // namespace prismeta
