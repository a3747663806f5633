// Reading a project file: the keys of every record in the file, in the order
// their problems are reported. See RecordFields.h for how a key is added.
#include "core/CueFields.h"
#include "core/MaskLimits.h"
#include "core/ProjectFile.h"
#include "core/RecordFields.h"
#include "core/RecordText.h"
#include "core/ShaderInputFields.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

namespace prismeta {
namespace reading {

namespace {

Problem parseId(Scalar& value, Uuid& id) {
    if (value.type != Scalar::Type::string) {
        return wrongType("a string", typeName(value.type));
    }
    const auto parsedId = Uuid::parse(*value.text);
    if (!parsedId) {
        return json(*value.text).dump() + " is not a UUID";
    }
    id = *parsedId;
    return std::nullopt;
}

Problem parseMediaKind(Scalar& value, MediaKind& kind) {
    if (value.type != Scalar::Type::string) {
        return wrongType("a string", typeName(value.type));
    }
    const auto parsedKind = mediaKindFromText(*value.text);
    if (!parsedKind) {
        return json(*value.text).dump() + " is not a media kind";
    }
    kind = *parsedKind;
    return std::nullopt;
}

// The blend curve keys are hand-edited in the field: a value that is not a
// number (a string, true, an object) reads as the default, a number outside
// its range as the nearest end of the range (BlendCurve.h), and neither
// fails the load of the rest of the project.
float numberInFloatRange(double number) {
    constexpr double largest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(number, -largest, largest));
}

void readBlendCurve(OutputConfig& output, const json& value) {
    output.blendCurve = value.is_number()
                            ? blendCurveInRange(numberInFloatRange(value.get<double>()))
                            : defaultBlendCurve;
}

void readBlendGamma(OutputConfig& output, const json& value) {
    output.blendGamma = value.is_number()
                            ? blendGammaInRange(numberInFloatRange(value.get<double>()))
                            : defaultBlendGamma;
}

// An object of "r", "g" and "b"; a channel that is missing or not a number
// has no lift.
void readBlackLevel(OutputConfig& output, const json& value) {
    const auto channel = [&value](const char* key) {
        if (!value.is_object()) {
            return 0.0f;
        }
        const auto it = value.find(key);
        return it != value.end() && it->is_number()
                   ? blackLevelInRange(numberInFloatRange(it->get<double>()))
                   : 0.0f;
    };
    output.blackLevel = {channel("r"), channel("g"), channel("b")};
}

// A whole number stored as any JSON number ("1920" or "1920.0") that an int
// holds; nothing for anything else.
std::optional<int> wholeInt(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number()) {
        return std::nullopt;
    }
    const double number = found->get<double>();
    if (!(std::trunc(number) == number) || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

// Where an output's window goes is a convenience: a display that is not an
// object, lacks a key, has a value of the wrong type or an absurd rectangle
// leaves the output unplaced and never fails the load. "fullScreen" may be
// left out (full screen); keys it does not know are ignored.
void applyDisplay(OutputConfig& output, const json& value) {
    output.display.reset();
    if (!value.is_object()) {
        return;
    }
    OutputDisplay display;
    const auto screen = value.find("screen");
    const auto fullScreen = value.find("fullScreen");
    const std::optional<int> x = wholeInt(value, "x");
    const std::optional<int> y = wholeInt(value, "y");
    const std::optional<int> width = wholeInt(value, "width");
    const std::optional<int> height = wholeInt(value, "height");
    if (screen == value.end() || !screen->is_string() || !x || !y || !width || !height) {
        return;
    }
    if (fullScreen != value.end() && !fullScreen->is_null()) {
        if (!fullScreen->is_boolean()) {
            return;
        }
        display.fullScreen = fullScreen->get<bool>();
    }
    display.screen = screen->get<std::string>();
    display.geometry = ScreenRect{*x, *y, *width, *height};
    if (isPlausible(display)) {
        output.display = std::move(display);
    }
}

// A shader surface's input values by name (ShaderInputFields.h).
void readShaderInputs(Surface& surface, const json& value) {
    surface.shaderInputs = shaderInputsFrom(value);
}

// "once" plays a video once; anything else (the default "loop" included)
// loops, so a value a newer version writes never fails the load.
void readPlayback(Surface& surface, const json& value) {
    surface.playback = value.is_string() && value.get<std::string>() == "once"
                           ? VideoPlayback::once
                           : VideoPlayback::loop;
}

// A live surface's options: an object whose members each count only when
// they are of their type and in their range ("size" "WxH", "fps" a number,
// "format" a name, "latency" whole milliseconds); anything else leaves that
// option unset and never fails the load.
void readLiveOptions(Surface& surface, const json& value) {
    surface.liveOptions = LiveOptions{};
    if (!value.is_object()) {
        return;
    }
    LiveOptions& options = surface.liveOptions;
    if (const auto size = value.find("size"); size != value.end() && size->is_string()) {
        if (const auto parsed = parseLiveSize(size->get<std::string>())) {
            options.width = parsed->first;
            options.height = parsed->second;
        }
    }
    if (const auto fps = value.find("fps"); fps != value.end() && fps->is_number()) {
        const double rate = fps->get<double>();
        if (rate > 0.0 && rate <= maxLiveFps) {
            options.fps = rate;
        }
    }
    if (const auto format = value.find("format"); format != value.end() && format->is_string()) {
        if (std::string name = format->get<std::string>(); validLiveFormat(name)) {
            options.format = std::move(name);
        }
    }
    if (const auto latency = value.find("latency");
        latency != value.end() && latency->is_number()) {
        const double ms = latency->get<double>();
        if (std::trunc(ms) == ms && ms >= 0.0 && ms <= maxLiveLatencyMs) {
            options.latencyMs = static_cast<int>(ms);
        }
    }
}

// A mask's flags: true or false.
Problem parseFlag(Scalar& value, bool& flag) {
    if (value.type != Scalar::Type::boolean) {
        return wrongType("a boolean", typeName(value.type));
    }
    flag = value.boolean;
    return std::nullopt;
}

// A mask's feather: any number, brought into 0..0.5.
Problem parseMaskFeather(Scalar& value, float& feather) {
    if (!value.isNumber()) {
        return wrongType("a number", typeName(value.type));
    }
    feather = maskFeatherInRange(numberInFloatRange(value.number()));
    return std::nullopt;
}

Problem readCues(ProjectFile& file, Scalar& value) {
    skipCueScalar(file.cues, value);
    return std::nullopt;
}

std::unique_ptr<Frame> openCues(ProjectFile& file, Container kind, const Frame& parent,
                                std::string_view key) {
    return openCueList(file.cues, kind, parent, key);
}

void resetCues(ProjectFile& file) {
    std::vector<Cue>().swap(file.cues);
}

// Where the show meets, when it runs on several machines: an object with the
// texts "broker" and "topic". Anything else leaves the project on one machine
// and never fails the load; a missing or non-text member reads as empty.
void applyCluster(ProjectFile& file, const json& value) {
    file.cluster.reset();
    if (!value.is_object()) {
        return;
    }
    const auto member = [&value](const char* key) {
        const auto it = value.find(key);
        return it != value.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    file.cluster = ClusterSettings{member("broker"), member("topic")};
}

} // namespace

template <> struct Schema<Pt> {
    static constexpr std::array fields{number<&Pt::x>("x"), number<&Pt::y>("y")};
};

template <> struct Schema<RGBA> {
    static constexpr std::array fields{number<&RGBA::a>("a"), number<&RGBA::b>("b"),
                                       number<&RGBA::g>("g"), number<&RGBA::r>("r")};
};

template <> struct Schema<WarpMesh> {
    static constexpr std::array fields{wholeNumber<&WarpMesh::cols>("cols"),
                                       list<&WarpMesh::points>("points"),
                                       wholeNumber<&WarpMesh::rows>("rows")};
};

template <> struct Schema<MaskPoint> {
    static constexpr std::array fields{
        record<&MaskPoint::in>("in", Presence::optional),
        record<&MaskPoint::out>("out", Presence::optional),
        number<&MaskPoint::x>("x"),
        number<&MaskPoint::y>("y"),
    };
};

template <> struct Schema<Mask> {
    static constexpr std::array fields{
        parsed<&Mask::enabled, parseFlag>("enabled", "a boolean", Presence::optional),
        parsed<&Mask::feather, parseMaskFeather>("feather", "a number", Presence::optional),
        parsed<&Mask::invert, parseFlag>("invert", "a boolean", Presence::optional),
        text<&Mask::name>("name", Presence::optional),
        list<&Mask::points>("points", Presence::optional),
    };
};

template <> struct Schema<Surface> {
    static Surface blank() { return Surface(Uuid()); }
    static constexpr std::array fields{
        parsed<&Surface::id, parseId>("id", "a string"),
        record<&Surface::color>("color"),
        list<&Surface::corners>("corners"),
        number<&Surface::feather>("feather"),
        parsed<&Surface::mediaKind, parseMediaKind>("mediaKind", "a string"),
        text<&Surface::mediaPath>("mediaPath", Presence::optional),
        record<&Surface::mesh>("mesh", Presence::optional),
        text<&Surface::name>("name"),
        number<&Surface::opacity>("opacity"),
        list<&Surface::masks>("masks", Presence::optional),
        lenient<Surface, readPlayback>("playback"),
        lenient<Surface, readShaderInputs>("shaderInputs"),
        lenient<Surface, readLiveOptions>("liveOptions"),
    };
};

template <> struct Schema<OutputConfig> {
    static OutputConfig blank() { return OutputConfig(Uuid()); }
    static constexpr std::array fields{
        parsed<&OutputConfig::id, parseId>("id", "a string"),
        number<&OutputConfig::blendBottom>("blendBottom"),
        number<&OutputConfig::blendLeft>("blendLeft"),
        number<&OutputConfig::blendRight>("blendRight"),
        number<&OutputConfig::blendTop>("blendTop"),
        number<&OutputConfig::cropHeight>("cropHeight"),
        number<&OutputConfig::cropWidth>("cropWidth"),
        number<&OutputConfig::cropX>("cropX"),
        number<&OutputConfig::cropY>("cropY"),
        text<&OutputConfig::name>("name"),
        lenient<OutputConfig, readBlackLevel>("blackLevel"),
        lenient<OutputConfig, readBlendCurve>("blendCurve"),
        lenient<OutputConfig, readBlendGamma>("blendGamma"),
        lenient<OutputConfig, applyDisplay>("display"),
        list<&OutputConfig::masks>("masks", Presence::optional),
        text<&OutputConfig::node>("node", Presence::optional),
    };
};

template <> struct Schema<ProjectFile> {
    static constexpr std::array fields{
        text<&ProjectFile::backgroundImagePath>("backgroundImagePath", Presence::optional),
        number<&ProjectFile::backgroundOpacity>("backgroundOpacity"),
        number<&ProjectFile::canvasHeight>("canvasHeight"),
        number<&ProjectFile::canvasWidth>("canvasWidth"),
        list<&ProjectFile::outputs>("outputs"),
        list<&ProjectFile::surfaces>("surfaces"),
        lenient<ProjectFile, applyCluster>("cluster"),
        Field<ProjectFile>{"cues", Presence::optional, "an array", &readCues, &openCues,
                           &resetCues},
    };
};

} // namespace reading

Result<ProjectFile> readProjectFile(std::string_view bytes) {
    try {
        Result<ProjectFile> file = reading::readRecordDocument<ProjectFile>(bytes);
        if (file) {
            logUndrawnMasks(file.value());
        }
        return file;
    } catch (const std::bad_alloc&) {
        return Result<ProjectFile>::failure("out of memory while reading the project");
    }
}

Result<Surface> readSurfaceText(std::string_view bytes) {
    try {
        return reading::readRecordDocument<Surface>(bytes);
    } catch (const std::bad_alloc&) {
        return Result<Surface>::failure("out of memory while reading a surface");
    }
}

Result<OutputConfig> readOutputText(std::string_view bytes) {
    try {
        return reading::readRecordDocument<OutputConfig>(bytes);
    } catch (const std::bad_alloc&) {
        return Result<OutputConfig>::failure("out of memory while reading an output");
    }
}

} // namespace prismeta
