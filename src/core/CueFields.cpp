// Reading the "cues" key. Every field is read leniently (RecordFields.h):
// a value of no use only means "not set".
#include "core/CueFields.h"

#include "core/LenientCapture.h"
#include "core/Log.h"
#include "core/RecordFields.h"
#include "core/RecordText.h"
#include "core/ShaderInputFields.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace prismeta::reading {

namespace {

// A cue as it is read, with what its reading found wrong.
struct CueEntry {
    Cue cue{Uuid()};
    bool badSchedule = false;
};

// A look as it is read; one without a usable surface id is dropped.
struct LookEntry {
    CueLook look;
    bool hasSurface = false;
};

// An array of entries, each an object read by Schema<Entry> into one pending
// entry and then handed to Keep, which moves what it keeps into the output.
// Elements that are not objects are skipped; nothing fails.
template <class Entry, class Out, void (*Keep)(Entry&, std::vector<Out>&)>
class LenientListFrame final : public Frame {
public:
    LenientListFrame(std::vector<Out>& target, const Frame& parent, std::string_view key)
        : Frame(&parent, key), target_(target) {}

    void scalar(Scalar&) override { ++next_; }
    std::unique_ptr<Frame> open(Container kind) override {
        const std::size_t index = next_++;
        if (kind != Container::object) {
            return nullptr;
        }
        pending_ = defaults<Entry>();
        return std::make_unique<RecordFrame<Entry>>(pending_, this, index);
    }
    void settle(Outcome outcome) override {
        if (!outcome) {
            Keep(pending_, target_);
        }
    }
    Outcome close() override { return std::nullopt; }

private:
    std::vector<Out>& target_;
    Entry pending_;
    std::size_t next_ = 0;
};

std::optional<double> finiteNumber(const json& value) {
    if (!value.is_number()) {
        return std::nullopt;
    }
    const double number = value.get<double>();
    if (!std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<Uuid> uuidValue(const json& value) {
    return value.is_string() ? Uuid::parse(value.get<std::string>()) : std::nullopt;
}

// ---------------------------------------------------------------- looks

void readLookSurface(LookEntry& entry, const json& value) {
    const std::optional<Uuid> id = uuidValue(value);
    entry.hasSurface = id.has_value();
    entry.look.surface = id.value_or(Uuid());
}

void readLookOpacity(LookEntry& entry, const json& value) {
    entry.look.opacity = finiteNumber(value);
}

void readLookColor(LookEntry& entry, const json& value) {
    entry.look.color.reset();
    if (!value.is_object()) {
        return;
    }
    float channels[4] = {};
    const char* names[4] = {"r", "g", "b", "a"};
    for (int i = 0; i < 4; ++i) {
        const auto found = value.find(names[i]);
        const std::optional<double> number =
            found == value.end() ? std::nullopt : finiteNumber(*found);
        if (!number || std::fabs(*number) > 3.4e38) {
            return;
        }
        channels[i] = static_cast<float>(*number);
    }
    entry.look.color = RGBA{channels[0], channels[1], channels[2], channels[3]};
}

void readLookMediaKind(LookEntry& entry, const json& value) {
    entry.look.mediaKind =
        value.is_string() ? mediaKindFromText(value.get<std::string>()) : std::nullopt;
}

void readLookMediaPath(LookEntry& entry, const json& value) {
    entry.look.mediaPath =
        value.is_string() ? std::optional<std::string>(value.get<std::string>()) : std::nullopt;
}

void readLookRestart(LookEntry& entry, const json& value) {
    entry.look.restart = value.is_boolean() ? value.get<bool>() : true;
}

void readLookShaderInputs(LookEntry& entry, const json& value) {
    entry.look.shaderInputs.reset();
    if (value.is_object()) {
        entry.look.shaderInputs = shaderInputsFrom(value);
    }
}

void keepLook(LookEntry& entry, std::vector<CueLook>& looks) {
    if (entry.hasSurface) {
        looks.push_back(std::move(entry.look));
    }
}

// ----------------------------------------------------------------- cues

void readCueId(CueEntry& entry, const json& value) {
    entry.cue.id = uuidValue(value).value_or(Uuid());
}

void readCueName(CueEntry& entry, const json& value) {
    entry.cue.name = value.is_string() ? value.get<std::string>() : std::string();
}

void readCueFade(CueEntry& entry, const json& value) {
    const std::optional<double> fade = finiteNumber(value);
    entry.cue.fade = fade ? std::clamp(*fade, 0.0, maxCueFade) : 0.0;
}

void readCueFollow(CueEntry& entry, const json& value) {
    entry.cue.follow.reset();
    if (value.is_string() && value.get<std::string>() == "end") {
        entry.cue.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    } else if (const std::optional<double> seconds = finiteNumber(value)) {
        entry.cue.follow =
            CueFollow{CueFollow::Kind::seconds, std::clamp(*seconds, 0.0, maxCueFollowSeconds)};
    }
}

std::optional<std::uint8_t> weekdays(const json& days) {
    if (!days.is_array() || days.empty()) {
        return std::nullopt;
    }
    std::uint8_t mask = 0;
    for (const json& day : days) {
        if (!day.is_string()) {
            return std::nullopt;
        }
        const auto name = day.get<std::string>();
        const auto found = std::find(std::begin(weekdayNames), std::end(weekdayNames), name);
        if (found == std::end(weekdayNames)) {
            return std::nullopt;
        }
        mask |= static_cast<std::uint8_t>(1u << (found - std::begin(weekdayNames)));
    }
    return mask;
}

void readCueSchedule(CueEntry& entry, const json& value) {
    entry.cue.schedule.reset();
    entry.badSchedule = false;
    if (value.is_null()) {
        return;
    }
    entry.badSchedule = true;
    if (!value.is_object()) {
        return;
    }
    const auto at = value.find("at");
    if (at == value.end() || !at->is_string()) {
        return;
    }
    const std::optional<int> second = parseScheduleTime(at->get<std::string>());
    if (!second) {
        return;
    }
    CueSchedule schedule{*second, CueSchedule::everyDay};
    if (const auto days = value.find("days"); days != value.end() && !days->is_null()) {
        const std::optional<std::uint8_t> mask = weekdays(*days);
        if (!mask) {
            return;
        }
        schedule.days = *mask;
    }
    entry.cue.schedule = schedule;
    entry.badSchedule = false;
}

void readCueTimecode(CueEntry& entry, const json& value) {
    entry.cue.timecode = value.is_string() ? parseTimecode(value.get<std::string>()) : std::nullopt;
}

// The looks of a cue, read entry by entry (a cue may hold thousands).
std::unique_ptr<Frame> openLooks(CueEntry& entry, Container kind, const Frame& parent,
                                 std::string_view key) {
    std::vector<CueLook>().swap(entry.cue.looks);
    if (kind != Container::array) {
        return std::make_unique<SkipFrame>(parent, key);
    }
    using Frame = LenientListFrame<LookEntry, CueLook, keepLook>;
    return std::make_unique<Frame>(entry.cue.looks, parent, key);
}

Problem ignoreLooksScalar(CueEntry& entry, Scalar&) {
    std::vector<CueLook>().swap(entry.cue.looks);
    return std::nullopt;
}

void resetLooks(CueEntry& entry) {
    std::vector<CueLook>().swap(entry.cue.looks);
}

void keepCue(CueEntry& entry, std::vector<Cue>& cues) {
    if (entry.badSchedule) {
        logLine("Prismeta: cue \"" + entry.cue.name + "\" (" + std::to_string(cues.size() + 1) +
                "): its schedule is not {\"at\": \"HH:MM[:SS]\", \"days\": [\"mon\", ...]} "
                "and is ignored");
    }
    if (entry.cue.id == Uuid()) {
        entry.cue.id = Uuid::random();
    }
    // The list grew by doubling while it was read: give back the slack, so a
    // show of many cues needs what its looks hold and no more.
    entry.cue.looks.shrink_to_fit();
    cues.push_back(std::move(entry.cue));
}

} // namespace

template <> struct Schema<LookEntry> {
    static constexpr std::array fields{
        lenient<LookEntry, readLookSurface>("surface"),
        lenient<LookEntry, readLookColor>("color"),
        lenient<LookEntry, readLookMediaKind>("mediaKind"),
        lenient<LookEntry, readLookMediaPath>("mediaPath"),
        lenient<LookEntry, readLookOpacity>("opacity"),
        lenient<LookEntry, readLookRestart>("restart"),
        lenient<LookEntry, readLookShaderInputs>("shaderInputs"),
    };
};

template <> struct Schema<CueEntry> {
    static constexpr std::array fields{
        lenient<CueEntry, readCueId>("id"),
        lenient<CueEntry, readCueName>("name"),
        lenient<CueEntry, readCueFade>("fade"),
        lenient<CueEntry, readCueFollow>("follow"),
        lenient<CueEntry, readCueSchedule>("schedule"),
        lenient<CueEntry, readCueTimecode>("timecode"),
        Field<CueEntry>{"looks", Presence::optional, "an array", &ignoreLooksScalar, &openLooks,
                        &resetLooks},
    };
};

std::unique_ptr<Frame> openCueList(std::vector<Cue>& cues, Container kind, const Frame& parent,
                                   std::string_view key) {
    std::vector<Cue>().swap(cues);
    if (kind != Container::array) {
        logLine("Prismeta: \"cues\" is not a list and is ignored");
        return std::make_unique<SkipFrame>(parent, key);
    }
    return std::make_unique<LenientListFrame<CueEntry, Cue, keepCue>>(cues, parent, key);
}

void skipCueScalar(std::vector<Cue>& cues, const Scalar& value) {
    std::vector<Cue>().swap(cues);
    if (value.type != Scalar::Type::null) {
        logLine("Prismeta: \"cues\" is not a list and is ignored");
    }
}

} // namespace prismeta::reading

namespace prismeta {

Result<Cue> readCueText(std::string_view bytes) {
    try {
        Result<reading::CueEntry> entry = reading::readRecordDocument<reading::CueEntry>(bytes);
        if (!entry) {
            return Result<Cue>::failure(entry.error());
        }
        if (entry->cue.id == Uuid()) {
            return Result<Cue>::failure("a cue without an id");
        }
        if (entry->badSchedule) {
            return Result<Cue>::failure("its schedule is not {\"at\": \"HH:MM[:SS]\", ...}");
        }
        entry->cue.looks.shrink_to_fit();
        return Result<Cue>(std::move(entry->cue));
    } catch (const std::bad_alloc&) {
        return Result<Cue>::failure("out of memory while reading a cue");
    }
}

} // namespace prismeta
