#include "control/OscController.h"

#include "control/OscAddresses.h"
#include "control/OscMaskFields.h"
#include "control/OscPattern.h"
#include "control/OscServer.h"
#include "control/OscWarpFields.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace prismeta {

namespace {

// Kinds of problem, one log window each.
constexpr std::string_view unknownAddress = "unknown address";
constexpr std::string_view badPattern = "malformed pattern";
constexpr std::string_view noMatch = "no match";
constexpr std::string_view badArguments = "arguments";
constexpr std::string_view badValue = "value";
constexpr std::string_view refused = "refused";
constexpr std::string_view noSender = "no sender";
constexpr std::string_view subscriptions = "subscriptions";
constexpr std::string_view replies = "replies";
constexpr std::string_view noValue = "no value";

constexpr std::size_t maxLoggedAddressBytes = 200;
// Steps of pattern matching one message may take (a few milliseconds).
constexpr std::size_t patternBudget = 4'000'000;

// Log lines show printable ASCII only.
char printable(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 0x20 && code < 0x7F ? c : '?';
}

// An address or a name from the network as a log line shows it.
std::string shown(std::string_view text) {
    std::string line;
    for (std::size_t i = 0; i < text.size() && i < maxLoggedAddressBytes; ++i) {
        line.push_back(printable(text[i]));
    }
    if (text.size() > maxLoggedAddressBytes) {
        line += "...";
    }
    return line;
}

// The address and type tags.
std::string describe(const OscMessage& message) {
    std::string text = shown(message.address);
    if (!message.arguments.empty()) {
        text += ' ';
        for (const OscArgument& argument : message.arguments) {
            text.push_back(printable(argument.tag));
        }
    }
    return text;
}

std::string quoted(std::string_view text) {
    return "\"" + shown(text) + "\"";
}

// Matches one address component, literal or pattern, against a name.
class ComponentMatcher {
public:
    static std::optional<ComponentMatcher> make(std::string_view component) {
        ComponentMatcher matcher;
        matcher.text_ = component;
        if (OscPattern::hasWildcards(component)) {
            matcher.pattern_ = OscPattern::compile(component);
            if (!matcher.pattern_) {
                return std::nullopt;
            }
        }
        return matcher;
    }
    bool isPattern() const { return pattern_.has_value(); }
    bool matches(std::string_view name) const {
        return pattern_ ? pattern_->matches(name) : name == text_;
    }
    // The same, paying the pattern's cost out of `budget`; false without
    // trying once the budget cannot pay (and the budget is then 0).
    bool matches(std::string_view name, std::size_t& budget) const {
        if (pattern_) {
            const std::size_t cost = pattern_->cost(name);
            if (cost > budget) {
                budget = 0;
                return false;
            }
            budget -= cost;
        }
        return matches(name);
    }

private:
    std::string_view text_;
    std::optional<OscPattern> pattern_;
};

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The records a target names, in list order: a pattern matches names; a
// plain target is an id, else a 0-based index, else a name (every record of
// that name). An error when the pattern is malformed, or when matching it
// against every name would hold the interface up (a long pattern of stars
// against thousands of long names).
template <typename Records>
Result<std::vector<std::size_t>> resolveTargets(const Records& records, std::string_view target) {
    using Found = Result<std::vector<std::size_t>>;
    const std::optional<ComponentMatcher> matcher = ComponentMatcher::make(target);
    if (!matcher) {
        return Found::failure("malformed pattern " + quoted(target));
    }
    std::vector<std::size_t> found;
    if (!matcher->isPattern()) {
        if (const std::optional<Uuid> id = Uuid::parse(target)) {
            for (std::size_t i = 0; i < records.size(); ++i) {
                if (records[i].id == *id) {
                    found.push_back(i); // the first of the id, as the inspector edits it
                    return found;
                }
            }
        }
        if (allDigits(target)) {
            std::size_t index = 0;
            const auto [end, error] =
                std::from_chars(target.data(), target.data() + target.size(), index);
            if (error == std::errc() && end == target.data() + target.size() &&
                index < records.size()) {
                found.push_back(index);
                return found;
            }
        }
    }
    std::size_t budget = patternBudget;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (matcher->matches(records[i].name, budget)) {
            found.push_back(i);
        } else if (budget == 0) {
            return Found::failure("pattern " + quoted(target) +
                                  " too costly to match against every name of this show");
        }
    }
    return found;
}

// The fields whose path matches the address components below the target.
template <typename Record>
std::optional<std::vector<const OscField<Record>*>>
matchFields(std::span<const OscField<Record>> fields, std::span<const std::string_view> parts) {
    std::vector<ComponentMatcher> matchers;
    for (std::string_view part : parts) {
        std::optional<ComponentMatcher> matcher = ComponentMatcher::make(part);
        if (!matcher) {
            return std::nullopt;
        }
        matchers.push_back(std::move(*matcher));
    }
    std::vector<const OscField<Record>*> found;
    for (const OscField<Record>& field : fields) {
        const std::string full = "/" + std::string(field.path);
        const std::optional<std::vector<std::string_view>> path = splitAddress(full);
        if (!path || path->size() != matchers.size()) {
            continue;
        }
        bool all = true;
        for (std::size_t i = 0; i < matchers.size() && all; ++i) {
            all = matchers[i].matches((*path)[i]);
        }
        if (all) {
            found.push_back(&field);
        }
    }
    return found;
}

// Applies every matched field to every target of a copy of the list. Sets
// `changed` when any record differs afterwards; the first problem, if no
// field could take the arguments or no record the value, in `why`.
template <typename Record>
std::vector<Record>
applyFields(std::vector<Record> records, const std::vector<const OscField<Record>*>& fields,
            const std::vector<std::size_t>& targets, const OscMessage& message, bool& changed,
            std::optional<std::pair<std::string_view, std::string>>& why) {
    bool parsedAny = false;
    bool wroteAny = false;
    std::optional<std::string> parseError;
    std::optional<std::string> writeError;
    for (const OscField<Record>* field : fields) {
        Result<FieldValue> value = field->parse(message);
        if (!value) {
            if (!parseError) {
                parseError = fields.size() == 1 ? value.error()
                                                : std::string(field->path) + " " + value.error();
            }
            continue;
        }
        parsedAny = true;
        for (std::size_t index : targets) {
            Record record = records[index];
            const Status status = field->write(record, value.value());
            if (!status) {
                if (!writeError) {
                    writeError = status.error;
                }
                continue;
            }
            wroteAny = true;
            if (!(record == records[index])) {
                records[index] = std::move(record);
                changed = true;
            }
        }
    }
    if (!parsedAny && parseError) {
        // Wrong type tags or counts, or values refused (not finite, not a
        // media kind, not a file): two kinds of problem for the log.
        const bool tags = parseError->find("takes ") != std::string::npos;
        why.emplace(tags ? badArguments : badValue, *parseError);
    } else if (!wroteAny && writeError) {
        why.emplace(refused, *writeError);
    }
    return records;
}

std::string joinedIds(const auto& records, const std::vector<std::size_t>& targets) {
    std::string ids;
    for (std::size_t index : targets) {
        ids += records[index].id.text();
        ids += ',';
    }
    return ids;
}

} // namespace

OscController::OscController(ProjectModel& model, Send send,
                             RateLimitedLog::Clock::duration logWindow)
    : model_(model), send_(std::move(send)), log_(logWindow),
      throttle_([this](const OscOutgoing& message) {
          if (spend(message.to, lastUpdate_)) {
              send_(message);
          }
      }) {
    feed_.reset(model_);
}

void OscController::ignore(std::string_view kind, const OscMessage& message, const std::string& why,
                           Clock::time_point now) {
    log_.report(kind, describe(message) + ": " + why, now);
}

bool OscController::spend(const OscEndpoint& to, Clock::time_point now) {
    if (budgets_.size() > 1024) {
        budgets_.clear(); // a flood from a crowd of senders: start counting again
    }
    Budget& budget = budgets_[to];
    if (now - budget.opened >= std::chrono::seconds(1)) {
        budget = Budget{now, 0};
    }
    if (budget.sent >= replyBudget) {
        log_.report(replies,
                    "messages to " + to.text() + ": more than " + std::to_string(replyBudget) +
                        " a second",
                    now);
        return false;
    }
    ++budget.sent;
    return true;
}

void OscController::reply(const OscEndpoint& to, std::string address, OscArguments arguments,
                          Clock::time_point now) {
    if (spend(to, now)) {
        send_(OscOutgoing{to, std::move(address), std::move(arguments)});
    }
}

template <typename Records, typename Record, typename More>
void OscController::answer(const OscMessage& message, std::string_view kind,
                           std::string_view target, const Records& records,
                           const std::vector<std::size_t>& targets,
                           const std::vector<const OscField<Record>*>& fields,
                           Clock::time_point now, More more) {
    if (!message.sender) {
        ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
        return;
    }
    // Answers go under the target as sent when it names one record, else
    // under each record's id, so that a pattern's answers tell them apart.
    const bool asSent = targets.size() == 1 && !OscPattern::hasWildcards(target);
    for (std::size_t index : targets) {
        const Record& record = records[index];
        const std::string name = asSent ? std::string(target) : record.id.text();
        for (const OscField<Record>* field : fields) {
            OscArguments value = field->read(record);
            if (value.empty()) { // a corner a surface lacks, or of a broken mesh
                ignore(noValue, message,
                       "the " + std::string(kind) + " " + name + " has no " +
                           std::string(field->path),
                       now);
                continue;
            }
            reply(*message.sender, recordAddress(kind, name, field->path), std::move(value), now);
        }
        more(record, name);
    }
}

void OscController::handle(const OscMessage& message, Clock::time_point now) {
    handleOne(message, now, std::nullopt);
}

void OscController::handleOne(const OscMessage& message, Clock::time_point now,
                              std::optional<Clock::time_point> runStart) {
    runStart_ = runStart;
    const std::optional<std::vector<std::string_view>> parts = splitAddress(message.address);
    if (!parts || parts->size() < 2 || parts->front() != oscRoot) {
        ignore(unknownAddress, message, "no such address", now);
        return;
    }
    const std::string_view command = (*parts)[1];
    const Parts rest = Parts(*parts).subspan(2);
    if (editsRefused_ && (message.isEdit() || command == "undo" || command == "redo")) {
        ignore(refused, message, *editsRefused_, now);
        return;
    }
    if (command == "surface") {
        handleSurface(message, rest, now);
    } else if (command == "output") {
        handleOutput(message, rest, now);
    } else if (command == "snap" && rest.empty()) {
        handleSnap(message, now);
    } else if ((command == "undo" || command == "redo") && rest.empty()) {
        handleHistory(message, command == "undo", now);
    } else if (command == "query" && rest.empty()) {
        handleQuery(message, now);
    } else if (command == "cue") {
        handleCue(message, rest, now);
    } else if (command == "blackout" && rest.empty()) {
        handleBlackout(message, now);
    } else if ((command == "dmx" && rest.size() == 1 && rest[0] == "status") ||
               (command == "timecode" && rest.empty())) {
        handleInputStatus(message, command == "dmx", now);
    } else if (command == "list" && rest.size() == 1 &&
               (rest[0] == "surfaces" || rest[0] == "outputs" || rest[0] == "cues")) {
        handleList(message, rest[0], now);
    } else if ((command == "subscribe" || command == "unsubscribe") && rest.empty()) {
        handleSubscription(message, command == "subscribe", now);
    } else {
        ignore(unknownAddress, message, "no such address", now);
    }
}

std::size_t OscController::handleBatch(std::span<const OscMessage> messages,
                                       Clock::time_point now) {
    const auto certain = [](const OscMessage& message) {
        return std::all_of(message.arguments.begin(), message.arguments.end(),
                           [](const OscArgument& argument) {
                               const std::optional<double> number = argument.number();
                               return number && std::fabs(*number) <= static_cast<double>(FLT_MAX);
                           });
    };
    const auto arrived = [now](const OscMessage& message) {
        return message.received == OscMessage::Clock::time_point{} ? now : message.received;
    };
    std::size_t skipped = 0;
    std::optional<Clock::time_point> runStart;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const OscMessage& message = messages[i];
        const OscMessage* next = i + 1 < messages.size() ? &messages[i + 1] : nullptr;
        // Overwritten by the very next message, which is sure to be taken and
        // comes soon enough to continue the same undo step.
        const bool overwritten =
            next != nullptr && message.isEdit() && next->address == message.address &&
            typeTags(next->arguments) == typeTags(message.arguments) && certain(*next) &&
            arrived(*next) - arrived(message) < UndoBursts::pause;
        if (overwritten) {
            if (!runStart) {
                runStart = arrived(message);
            }
            ++skipped;
            continue;
        }
        handleOne(message, now, runStart);
        runStart.reset();
    }
    return skipped;
}

template <typename Records>
std::optional<std::vector<std::size_t>>
OscController::findTargets(const Records& records, std::string_view target, std::string_view kind,
                           const OscMessage& message, Clock::time_point now) {
    Result<std::vector<std::size_t>> targets = resolveTargets(records, target);
    if (!targets) {
        ignore(badPattern, message, targets.error(), now);
        return std::nullopt;
    }
    if (targets->empty()) {
        ignore(noMatch, message, "no " + std::string(kind) + " matches " + quoted(target), now);
        return std::nullopt;
    }
    return std::move(targets.value());
}

void OscController::commitSurfaces(std::vector<Surface> edited, const std::string& undoKey,
                                   const OscMessage& message, Clock::time_point now) {
    const Clock::time_point arrived =
        message.received == OscMessage::Clock::time_point{} ? now : message.received;
    // A run of edits carried out as its last one is timed from its first.
    undoBursts_.beforeEdit(model_, undoKey, runStart_.value_or(arrived), arrived);
    model_.setSurfaces(std::move(edited));
    undoBursts_.afterEdit(model_);
}

void OscController::handleSurface(const OscMessage& message, Parts parts, Clock::time_point now) {
    if (parts.size() < 2) {
        ignore(unknownAddress, message, "no such address", now);
        return;
    }
    if (isMaskAddress(parts.subspan(1))) {
        handleMask(message, parts, false, now);
        return;
    }
    const std::string_view target = parts[0];
    if (parts.size() == 3 && parts[1] == "input") {
        handleShaderInput(message, target, parts[2], now);
        return;
    }
    if (parts.size() == 3 && parts[1] == "live" && parts[2] == "status") {
        handleLiveStatus(message, target, now);
        return;
    }
    const Parts fieldParts = parts.subspan(1);
    const auto fields = matchFields(surfaceFields(), fieldParts);
    const std::optional<ComponentMatcher> selectMatcher =
        fieldParts.size() == 1 ? ComponentMatcher::make(fieldParts[0]) : std::nullopt;
    const bool select = selectMatcher && selectMatcher->matches("select");
    if (!fields) {
        ignore(badPattern, message, "malformed pattern", now);
        return;
    }
    if (fields->empty() && !select) {
        ignore(unknownAddress, message, "no such field", now);
        return;
    }
    const SurfaceList& surfaces = model_.surfaces();
    const std::optional<std::vector<std::size_t>> targets =
        findTargets(surfaces, target, "surface", message, now);
    if (!targets) {
        return;
    }

    if (message.isQuery()) {
        answer(message, "surface", target, surfaces, targets.value(), *fields, now,
               [&](const Surface& surface, const std::string& name) {
                   if (select) {
                       const bool selected = model_.selectedID() == surface.id;
                       reply(*message.sender, recordAddress("surface", name, "select"),
                             {OscArgument::int32(selected ? 1 : 0)}, now);
                   }
               });
        return;
    }

    if (select && message.arguments.empty()) {
        // The first match, as a click on the canvas selects one surface.
        model_.setSelectedID(surfaces[targets->front()].id);
        return;
    }
    if (fields->empty()) {
        ignore(badArguments, message, "select takes no arguments", now);
        return;
    }

    bool changed = false;
    std::optional<std::pair<std::string_view, std::string>> why;
    std::vector<Surface> edited =
        applyFields(surfaces.copy(), *fields, targets.value(), message, changed, why);
    if (why) {
        ignore(why->first, message, why->second, now);
    }
    if (!changed) {
        return;
    }
    std::string key = "surface|";
    for (const OscField<Surface>* field : *fields) {
        key += field->path;
        key += '|';
    }
    key += joinedIds(surfaces, targets.value());
    commitSurfaces(std::move(edited), key, message, now);
}

void OscController::handleLiveStatus(const OscMessage& message, std::string_view target,
                                     Clock::time_point now) {
    if (!message.arguments.empty() && !message.isQuery()) {
        ignore(badArguments, message, "live/status is only answered (no arguments, or s ?)", now);
        return;
    }
    if (!message.sender) {
        ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
        return;
    }
    const SurfaceList& surfaces = model_.surfaces();
    const std::optional<std::vector<std::size_t>> targets =
        findTargets(surfaces, target, "surface", message, now);
    if (!targets) {
        return;
    }
    const bool asSent = targets->size() == 1 && !OscPattern::hasWildcards(target);
    bool answered = false;
    for (std::size_t index : targets.value()) {
        const Surface& surface = surfaces[index];
        if (surface.mediaKind != MediaKind::live) {
            continue;
        }
        const LiveStatus status =
            liveStatus_ ? liveStatus_(surface).value_or(LiveStatus{}) : LiveStatus{};
        const auto count = [](std::uint64_t n) {
            return OscArgument::int32(static_cast<std::int32_t>(
                std::min<std::uint64_t>(n, std::numeric_limits<std::int32_t>::max())));
        };
        reply(*message.sender,
              recordAddress("surface", asSent ? std::string(target) : surface.id.text(),
                            "live/status"),
              {OscArgument::text(std::string(liveStateText(status.state))),
               OscArgument::float32(static_cast<float>(status.fps)), count(status.notShown),
               count(status.lost)},
              now);
        answered = true;
    }
    if (!answered) {
        ignore(badArguments, message, "the surface shows no live source", now);
    }
}

void OscController::handleShaderInput(const OscMessage& message, std::string_view target,
                                      std::string_view input, Clock::time_point now) {
    if (OscPattern::hasWildcards(input)) {
        ignore(badPattern, message, "an input is named without a pattern", now);
        return;
    }
    const SurfaceList& surfaces = model_.surfaces();
    const std::optional<std::vector<std::size_t>> targets =
        findTargets(surfaces, target, "surface", message, now);
    if (!targets) {
        return;
    }
    if (message.isQuery() && !message.sender) {
        ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
        return;
    }
    const bool asSent = targets->size() == 1 && !OscPattern::hasWildcards(target);
    const std::string path = "input/" + std::string(input);
    std::vector<Surface> edited;
    std::optional<std::string> why;
    for (std::size_t index : targets.value()) {
        const Surface& surface = surfaces[index];
        if (surface.mediaKind != MediaKind::shader || !surface.mediaPath) {
            why = "the surface shows no shader";
            continue;
        }
        std::string error;
        const std::shared_ptr<const IsfShader> header =
            shaderHeaders_.find(*surface.mediaPath, error);
        const IsfInput* declared = header ? header->input(input) : nullptr;
        if (declared == nullptr) {
            why = header ? "the shader has no input " + quoted(input) : error;
            continue;
        }
        if (message.isQuery()) {
            reply(*message.sender,
                  recordAddress("surface", asSent ? std::string(target) : surface.id.text(), path),
                  shaderInputAnswer(*declared, surface.shaderInputs), now);
            continue;
        }
        if (declared->type == IsfInputType::event) {
            if (shaderEventFires(message)) {
                model_.shaderEvents().trigger(surface.id, declared->name);
            }
            continue;
        }
        Result<std::optional<ShaderInputValue>> value = shaderInputEdit(*declared, message);
        if (!value) {
            why = value.error();
            continue;
        }
        ShaderInputs inputs = surface.shaderInputs;
        if (value.value()) {
            inputs.insert_or_assign(std::string(input), *value.value());
        } else if (const auto stored = inputs.find(input); stored != inputs.end()) {
            inputs.erase(stored);
        }
        if (inputs != surface.shaderInputs) {
            if (edited.empty()) {
                edited = surfaces.copy();
            }
            edited[index].shaderInputs = std::move(inputs);
        }
    }
    if (why) {
        ignore(badArguments, message, path + " " + *why, now);
    }
    if (edited.empty()) {
        return;
    }
    commitSurfaces(std::move(edited),
                   "surface|" + path + "|" + joinedIds(surfaces, targets.value()), message, now);
}

void OscController::handleOutput(const OscMessage& message, Parts parts, Clock::time_point now) {
    if (parts.size() < 2) {
        ignore(unknownAddress, message, "no such address", now);
        return;
    }
    if (isMaskAddress(parts.subspan(1))) {
        handleMask(message, parts, true, now);
        return;
    }
    std::size_t point = 0;
    if (const WarpAddress warp = warpAddress(parts.subspan(1), point); warp != WarpAddress::none) {
        handleWarp(message, parts[0], warp, point, now);
        return;
    }
    const std::string_view target = parts[0];
    const auto fields = matchFields(outputFields(), parts.subspan(1));
    if (!fields) {
        ignore(badPattern, message, "malformed pattern", now);
        return;
    }
    if (fields->empty()) {
        ignore(unknownAddress, message, "no such field", now);
        return;
    }
    const std::vector<OutputConfig>& outputs = model_.outputs();
    const std::optional<std::vector<std::size_t>> targets =
        findTargets(outputs, target, "output", message, now);
    if (!targets) {
        return;
    }
    if (message.isQuery()) {
        answer(message, "output", target, outputs, targets.value(), *fields, now,
               [](const OutputConfig&, const std::string&) {});
        return;
    }
    // Outputs are not in the undo history: an edit is written as the
    // inspector's blend fields write, and stays through undo and redo.
    bool changed = false;
    std::optional<std::pair<std::string_view, std::string>> why;
    std::vector<OutputConfig> edited =
        applyFields(outputs, *fields, targets.value(), message, changed, why);
    if (why) {
        ignore(why->first, message, why->second, now);
    }
    if (changed) {
        model_.setOutputs(std::move(edited));
    }
}

void OscController::handleWarp(const OscMessage& message, std::string_view target,
                               WarpAddress address, std::size_t point, Clock::time_point now) {
    const std::vector<OutputConfig>& outputs = model_.outputs();
    const std::optional<std::vector<std::size_t>> targets =
        findTargets(outputs, target, "output", message, now);
    if (!targets) {
        return;
    }
    const std::string path =
        address == WarpAddress::reset ? "warp/reset" : "warp/point/" + std::to_string(point);
    if (message.isQuery()) {
        if (address == WarpAddress::reset) {
            ignore(badArguments, message, "warp/reset holds no value", now);
            return;
        }
        if (!message.sender) {
            ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
            return;
        }
        const bool asSent = targets->size() == 1 && !OscPattern::hasWildcards(target);
        for (std::size_t index : targets.value()) {
            const std::string name = asSent ? std::string(target) : outputs[index].id.text();
            OscArguments value = readWarpPoint(outputs[index], point);
            if (value.empty()) {
                ignore(noValue, message, "the output " + name + " has no " + path, now);
                continue;
            }
            reply(*message.sender, recordAddress("output", name, path), std::move(value), now);
        }
        return;
    }
    if (address == WarpAddress::reset && !message.arguments.empty()) {
        ignore(badArguments, message, "warp/reset takes no arguments", now);
        return;
    }
    // As the other output fields over OSC: no undo step.
    std::vector<OutputConfig> edited = outputs;
    std::optional<std::string> why;
    for (std::size_t index : targets.value()) {
        if (address == WarpAddress::reset) {
            edited[index].warp.reset();
        } else if (const Status status = writeWarpPoint(edited[index], point, message.arguments);
                   !status) {
            why = why.value_or(status.error);
        }
    }
    if (why) {
        const bool tags = why->find("takes ") != std::string::npos;
        ignore(tags ? badArguments : refused, message, *why, now);
    }
    if (edited != outputs) {
        model_.setOutputs(std::move(edited));
    }
}

void OscController::handleMask(const OscMessage& message, Parts parts, bool isOutput,
                               Clock::time_point now) {
    const Result<MaskField> field = parseMaskField(parts.subspan(1));
    if (!field) {
        ignore(unknownAddress, message, field.error(), now);
        return;
    }
    const std::string_view target = parts[0];
    const std::string_view kind = isOutput ? "output" : "surface";
    // Both lists as plain records; only the one addressed is used.
    const auto edit = [&](auto records, auto store) {
        const std::optional<std::vector<std::size_t>> targets =
            findTargets(records, target, kind, message, now);
        if (!targets) {
            return;
        }
        if (message.isQuery()) {
            if (!message.sender) {
                ignore(noSender, message, "the sender is unknown, so there is no one to answer",
                       now);
                return;
            }
            const bool asSent = targets->size() == 1 && !OscPattern::hasWildcards(target);
            for (std::size_t index : targets.value()) {
                OscArguments value = readMaskField(records[index].masks, field.value());
                if (!value.empty()) {
                    const std::string name =
                        asSent ? std::string(target) : records[index].id.text();
                    reply(*message.sender, recordAddress(kind, name, field->path()),
                          std::move(value), now);
                }
            }
            return;
        }
        bool changed = false;
        std::optional<std::string> why;
        for (std::size_t index : targets.value()) {
            std::vector<Mask> masks = records[index].masks;
            const Status status = writeMaskField(masks, field.value(), message.arguments);
            if (!status) {
                why = why.value_or(status.error);
                continue;
            }
            if (masks != records[index].masks) {
                records[index].masks = std::move(masks);
                changed = true;
            }
        }
        if (why) {
            const bool tags = why->find("takes ") != std::string::npos;
            ignore(tags ? badArguments : refused, message, *why, now);
        }
        if (changed) {
            store(std::move(records), targets.value());
        }
    };
    if (isOutput) {
        // As the other output fields: no undo step.
        edit(model_.outputs(), [this](std::vector<OutputConfig> edited, const auto&) {
            model_.setOutputs(std::move(edited));
        });
        return;
    }
    const SurfaceList& surfaces = model_.surfaces();
    edit(surfaces.copy(),
         [&](std::vector<Surface> edited, const std::vector<std::size_t>& targets) {
             commitSurfaces(std::move(edited),
                            "surface|" + field->path() + "|" + joinedIds(surfaces, targets),
                            message, now);
         });
}

void OscController::handleSnap(const OscMessage& message, Clock::time_point now) {
    if (message.isQuery()) {
        if (!message.sender) {
            ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
            return;
        }
        reply(*message.sender, "/prismeta/snap", {OscArgument::int32(model_.snapEnabled() ? 1 : 0)},
              now);
        return;
    }
    if (message.arguments.size() != 1) {
        ignore(badArguments, message, "takes i (0 off, 1 on), T or F", now);
        return;
    }
    const OscArgument& argument = message.arguments.front();
    bool on = false;
    if (argument.tag == 'T' || argument.tag == 'F') {
        on = argument.tag == 'T';
    } else if (const std::optional<double> number = argument.number()) {
        if (!std::isfinite(*number)) {
            ignore(badArguments, message, "not a finite number", now);
            return;
        }
        on = *number != 0.0;
    } else {
        ignore(badArguments, message, "takes i (0 off, 1 on), T or F", now);
        return;
    }
    if (on != model_.snapEnabled()) {
        model_.setSnapEnabled(on);
    }
}

void OscController::handleHistory(const OscMessage& message, bool undo, Clock::time_point now) {
    if (!message.arguments.empty()) {
        ignore(badArguments, message, "takes no arguments", now);
        return;
    }
    if (undo) {
        model_.undo();
    } else {
        model_.redo();
    }
}

void OscController::handleQuery(const OscMessage& message, Clock::time_point now) {
    const std::string* address =
        message.arguments.size() == 1 ? message.arguments.front().string() : nullptr;
    if (address == nullptr) {
        ignore(badArguments, message, "takes s (the address to ask about)", now);
        return;
    }
    if (address->starts_with("/prismeta/query")) {
        ignore(badArguments, message, "a query cannot ask about queries", now);
        return;
    }
    OscMessage asked;
    asked.address = *address;
    asked.arguments = {OscArgument::text("?")};
    asked.sender = message.sender;
    asked.received = message.received;
    handle(asked, now);
}

void OscController::handleList(const OscMessage& message, std::string_view what,
                               Clock::time_point now) {
    if (!message.arguments.empty() && !message.isQuery()) {
        ignore(badArguments, message, "takes no arguments", now);
        return;
    }
    if (!message.sender) {
        ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
        return;
    }
    std::vector<OscOutgoing> answer = what == "surfaces" ? surfaceListMessages(model_.surfaces())
                                      : what == "cues"   ? cueListMessages(model_.cues())
                                                         : outputListMessages(model_.outputs());
    for (OscOutgoing& item : answer) {
        reply(*message.sender, std::move(item.address), std::move(item.arguments), now);
    }
}

void OscController::handleInputStatus(const OscMessage& message, bool dmx, Clock::time_point now) {
    if (!message.arguments.empty() && !message.isQuery()) {
        ignore(badArguments, message, "takes no arguments, or s ?", now);
        return;
    }
    if (!message.sender) {
        ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
        return;
    }
    if (dmx) {
        const std::vector<OscArguments> sources =
            showInputs_.dmxSources ? showInputs_.dmxSources() : std::vector<OscArguments>{};
        reply(*message.sender, "/prismeta/dmx/status/count",
              {OscArgument::int32(static_cast<std::int32_t>(sources.size()))}, now);
        for (const OscArguments& source : sources) {
            reply(*message.sender, "/prismeta/dmx/status", source, now);
        }
        return;
    }
    std::optional<OscArguments> time =
        showInputs_.timecode ? showInputs_.timecode() : std::optional<OscArguments>{};
    reply(
        *message.sender, "/prismeta/timecode",
        time ? std::move(*time)
             : OscArguments{OscArgument::text(""), OscArgument::text(""), OscArgument::text("off")},
        now);
}

void OscController::handleSubscription(const OscMessage& message, bool subscribe,
                                       Clock::time_point now) {
    if (!message.sender) {
        ignore(noSender, message, "the sender is unknown", now);
        return;
    }
    OscEndpoint endpoint = *message.sender;
    if (message.arguments.size() == 1 && message.arguments.front().tag == 'i') {
        const std::optional<double> port = message.arguments.front().number();
        if (!port || *port < 1 || *port > 65535) {
            ignore(badArguments, message, "the port must be 1 to 65535", now);
            return;
        }
        endpoint.port = static_cast<std::uint16_t>(*port);
    } else if (!message.arguments.empty()) {
        ignore(badArguments, message, "takes no arguments, or i (the port to send to)", now);
        return;
    }
    const auto found = std::find(subscribers_.begin(), subscribers_.end(), endpoint);
    if (!subscribe) {
        if (found != subscribers_.end()) {
            subscribers_.erase(found);
            throttle_.forget(endpoint);
        }
        return;
    }
    if (found != subscribers_.end()) {
        return;
    }
    if (subscribers_.size() >= maxSubscribers) {
        log_.report(subscriptions,
                    describe(message) + ": already " + std::to_string(maxSubscribers) +
                        " subscribers; " + endpoint.text() + " was not added",
                    now);
        return;
    }
    if (subscribers_.empty()) {
        feed_.reset(model_); // changes from now on
    }
    subscribers_.push_back(endpoint);
}

void OscController::update(Clock::time_point now) {
    lastUpdate_ = now;
    if (subscribers_.empty()) {
        feed_.reset(model_);
    } else {
        for (FeedUnit& unit : feed_.collect(model_)) {
            for (const OscEndpoint& subscriber : subscribers_) {
                std::vector<OscOutgoing> addressed = unit.messages;
                for (OscOutgoing& message : addressed) {
                    message.to = subscriber;
                }
                throttle_.offer(subscriber, unit.key, std::move(addressed), now);
            }
        }
    }
    feedCue(now);
    throttle_.update(now);
    log_.update(now);
    std::erase_if(budgets_, [now](const auto& budget) {
        return now - budget.second.opened >= std::chrono::seconds(1);
    });
}

std::optional<OscController::Clock::time_point> OscController::nextDue() const {
    const std::optional<Clock::time_point> feedback = throttle_.nextDue();
    const std::optional<Clock::time_point> summary = log_.nextDue();
    if (feedback && summary) {
        return std::min(*feedback, *summary);
    }
    return feedback ? feedback : summary;
}

void OscController::reportUnreadable(std::uint64_t packets, Clock::time_point now) {
    log_.report("unreadable",
                std::to_string(packets) + " packet(s) that are not OSC or larger than " +
                    std::to_string(OscServer::maxPacketBytes) + " bytes",
                now, packets);
}

void OscController::reportOversize(std::uint64_t messages, Clock::time_point now) {
    log_.report("oversize",
                std::to_string(messages) + " message(s) over the limits (an address of " +
                    std::to_string(OscServer::maxAddressBytes) + " bytes, " +
                    std::to_string(OscServer::maxArguments) + " arguments, texts of " +
                    std::to_string(OscServer::maxTextBytes) + " bytes)",
                now, messages);
}

void OscController::reportDropped(const OscInbox::Drops& drops, Clock::time_point now) {
    if (drops.superseded > 0) {
        log_.report("superseded",
                    std::to_string(drops.superseded) +
                        " edit(s) replaced by newer values of the same field while messages "
                        "arrived faster than they could be carried out",
                    now, drops.superseded);
    }
    if (drops.refused > 0) {
        log_.report("queue full",
                    std::to_string(drops.refused) +
                        " message(s): too many waiting to be carried out",
                    now, drops.refused);
    }
}

// ------------------------------------------------------------------ cues

void OscController::setCueRunner(CueRunner* runner) {
    cueRunner_ = runner;
    fedCue_ = runner ? runner->state().liveCue : std::nullopt;
}

namespace {

// An optional fade replacing the cue's: nothing, or one number of 0 or more.
std::optional<std::optional<double>> fadeArgument(const OscArguments& arguments) {
    if (arguments.empty()) {
        return std::optional<double>();
    }
    const std::optional<double> fade = arguments.front().number();
    if (arguments.size() != 1 || !fade || !std::isfinite(*fade) || *fade < 0.0) {
        return std::nullopt;
    }
    return std::optional<double>(std::min(*fade, maxCueFade));
}

} // namespace

// "/prismeta/cue/go", "/prismeta/cue/back", "/prismeta/cue/current" and
// "/prismeta/cue/<target>/go".
void OscController::handleCue(const OscMessage& message, Parts parts, Clock::time_point now) {
    const bool known =
        (parts.size() == 1 && (parts[0] == "go" || parts[0] == "back" || parts[0] == "current")) ||
        (parts.size() == 2 && parts[1] == "go");
    if (!known) {
        ignore(unknownAddress, message, "no such address", now);
        return;
    }
    if (cueRunner_ == nullptr) {
        ignore(refused, message, "no show is running here", now);
        return;
    }
    if (parts[0] == "current" && parts.size() == 1) {
        if (!message.arguments.empty() && !message.isQuery()) {
            ignore(badArguments, message, "takes no arguments", now);
        } else if (!message.sender) {
            ignore(noSender, message, "the sender is unknown, so there is no one to answer", now);
        } else {
            OscOutgoing current = cueCurrentMessage(model_.cues(), cueRunner_->liveIndex());
            reply(*message.sender, std::move(current.address), std::move(current.arguments), now);
        }
        return;
    }
    if (cueRunner_->adopted()) {
        ignore(refused, message, "this machine shows the cues of the show's leader", now);
        return;
    }
    if (parts[0] == "back" && parts.size() == 1) {
        if (!message.arguments.empty()) {
            ignore(badArguments, message, "takes no arguments", now);
        } else if (!cueRunner_->back()) {
            ignore(noMatch, message, "there is no cue before the live one", now);
        }
        return;
    }
    const std::optional<std::optional<double>> fade = fadeArgument(message.arguments);
    if (!fade) {
        ignore(badArguments, message, "takes nothing, or f (a fade of 0 seconds or more)", now);
        return;
    }
    if (parts.size() == 1) {
        if (!cueRunner_->go(*fade)) {
            ignore(noMatch, message, "there is no next cue", now);
        }
        return;
    }
    if (const auto targets = findTargets(model_.cues(), parts[0], "cue", message, now)) {
        cueRunner_->goTo(targets->front(), *fade);
    }
}

// "/prismeta/blackout" with i (0 or 1), T or F.
void OscController::handleBlackout(const OscMessage& message, Clock::time_point now) {
    std::optional<bool> on;
    if (message.arguments.size() == 1) {
        const OscArgument& argument = message.arguments.front();
        if (argument.tag == 'T' || argument.tag == 'F') {
            on = argument.tag == 'T';
        } else if (argument.tag == 'i') {
            const std::optional<double> value = argument.number();
            if (value && (*value == 0.0 || *value == 1.0)) {
                on = *value == 1.0;
            }
        }
    }
    if (!on) {
        ignore(badArguments, message, "takes i (0 or 1), T or F", now);
        return;
    }
    if (cueRunner_ == nullptr) {
        ignore(refused, message, "no show is running here", now);
        return;
    }
    if (cueRunner_->adopted()) {
        ignore(refused, message, "this machine shows the cues of the show's leader", now);
        return;
    }
    cueRunner_->setBlackout(*on);
}

void OscController::feedCue(Clock::time_point now) {
    if (cueRunner_ == nullptr) {
        return;
    }
    const std::optional<Uuid>& live = cueRunner_->state().liveCue;
    if (live == fedCue_) {
        return;
    }
    fedCue_ = live;
    const OscOutgoing current = cueCurrentMessage(model_.cues(), cueRunner_->liveIndex());
    for (const OscEndpoint& subscriber : subscribers_) {
        OscOutgoing addressed = current;
        addressed.to = subscriber;
        throttle_.offer(subscriber, "cue/current", {std::move(addressed)}, now);
    }
}

} // namespace prismeta
