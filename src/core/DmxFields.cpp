#include "core/DmxFields.h"

#include "core/LenientCapture.h"
#include "core/Log.h"
#include "core/RecordFields.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace prismeta::reading {

namespace {

std::optional<int> wholeNumberIn(const json& object, const char* key, int low, int high) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number()) {
        return std::nullopt;
    }
    const double number = found->get<double>();
    if (!(std::trunc(number) == number) || number < low || number > high) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

void logBadPatch(std::string_view what) {
    logLine("Prismeta: " + std::string(what) +
            " \"dmx\" is not {\"universe\": 0..63999, \"address\": 1..512} and is ignored");
}

void readMediaKind(DmxMedia& media, const json& value) {
    media.mediaKind =
        value.is_string() ? mediaKindFromText(value.get<std::string>()) : std::nullopt;
}

void readMediaPath(DmxMedia& media, const json& value) {
    media.mediaPath =
        value.is_string() ? std::optional<std::string>(value.get<std::string>()) : std::nullopt;
}

} // namespace

template <> struct Schema<DmxMedia> {
    static constexpr std::array fields{
        lenient<DmxMedia, readMediaKind>("mediaKind"),
        lenient<DmxMedia, readMediaPath>("mediaPath"),
    };
};

namespace {

// The media list: every element is an entry, whatever it holds, so the
// numbers a desk's media channel sends keep meaning what the file says.
class MediaListFrame final : public Frame {
public:
    MediaListFrame(std::vector<DmxMedia>& target, const Frame& parent, std::string_view key)
        : Frame(&parent, key), target_(target) {}

    void scalar(Scalar&) override { target_.emplace_back(); }
    std::unique_ptr<Frame> open(Container kind) override {
        target_.emplace_back();
        if (kind != Container::object) {
            return nullptr;
        }
        return std::make_unique<RecordFrame<DmxMedia>>(target_.back(), this, target_.size() - 1);
    }
    void settle(Outcome outcome) override {
        if (outcome) {
            target_.back() = DmxMedia{};
        }
    }
    Outcome close() override { return std::nullopt; }

private:
    std::vector<DmxMedia>& target_;
};

void readMaster(DmxSettings& settings, const json& value) {
    settings.master.reset();
    if (value.is_null()) {
        return;
    }
    settings.master = dmxPatchFrom(value);
    if (!settings.master) {
        logBadPatch("the show fixture's");
    }
}

void readLoss(DmxSettings& settings, const json& value) {
    settings.loss.reset();
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (text == "hold") {
            settings.loss = DmxLoss::hold;
        } else if (text == "release") {
            settings.loss = DmxLoss::release;
        }
    }
}

void readLossFade(DmxSettings& settings, const json& value) {
    settings.lossFade.reset();
    if (value.is_number()) {
        const double seconds = value.get<double>();
        if (!std::isnan(seconds)) {
            settings.lossFade = std::clamp(seconds, 0.0, maxDmxLossFade);
        }
    }
}

Problem ignoreMediaScalar(DmxSettings& settings, Scalar&) {
    std::vector<DmxMedia>().swap(settings.media);
    return std::nullopt;
}

std::unique_ptr<Frame> openMedia(DmxSettings& settings, Container kind, const Frame& parent,
                                 std::string_view key) {
    std::vector<DmxMedia>().swap(settings.media);
    if (kind != Container::array) {
        return std::make_unique<SkipFrame>(parent, key);
    }
    return std::make_unique<MediaListFrame>(settings.media, parent, key);
}

void resetMedia(DmxSettings& settings) {
    std::vector<DmxMedia>().swap(settings.media);
}

} // namespace

template <> struct Schema<DmxSettings> {
    static constexpr std::array fields{
        lenient<DmxSettings, readMaster>("master"),
        Field<DmxSettings>{"media", Presence::optional, "an array", &ignoreMediaScalar, &openMedia,
                           &resetMedia},
        lenient<DmxSettings, readLoss>("loss"),
        lenient<DmxSettings, readLossFade>("lossFade"),
    };
};

std::optional<DmxPatch> dmxPatchFrom(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    const std::optional<int> universe = wholeNumberIn(value, "universe", 0, maxDmxUniverse);
    const std::optional<int> address = wholeNumberIn(value, "address", 1, dmxSlots);
    if (!universe || !address) {
        return std::nullopt;
    }
    return DmxPatch{*universe, *address};
}

void readSurfaceDmx(Surface& surface, const json& value) {
    surface.dmx.reset();
    if (value.is_null()) {
        return;
    }
    surface.dmx = dmxPatchFrom(value);
    if (!surface.dmx) {
        logBadPatch("a surface's");
    }
}

std::unique_ptr<Frame> openDmxSettings(ProjectFile& file, Container kind, const Frame& parent,
                                       std::string_view key) {
    file.dmx.reset();
    if (kind != Container::object) {
        logLine("Prismeta: \"dmx\" is not an object and is ignored");
        return std::make_unique<SkipFrame>(parent, key);
    }
    return std::make_unique<RecordFrame<DmxSettings>>(file.dmx.emplace(), &parent, key);
}

Problem readDmxScalar(ProjectFile& file, Scalar& value) {
    file.dmx.reset();
    if (value.type != Scalar::Type::null) {
        logLine("Prismeta: \"dmx\" is not an object and is ignored");
    }
    return std::nullopt;
}

void resetDmx(ProjectFile& file) {
    file.dmx.reset();
}

} // namespace prismeta::reading
