// Reading a project file: the keys of every record in the file, in the order
// their problems are reported. See RecordFields.h for how a key is added.
#include "core/CueFields.h"
#include "core/DmxFields.h"
#include "core/Log.h"
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
#include <string>
#include <vector>

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

namespace {

// ------------------------------------------------------------ notes

// Lines a reading notes about values it drops, logged once the whole
// document has been read (a document that fails says only why). The parser
// may read a text twice; each reading starts from an empty list.
thread_local std::vector<std::string>* readNotes = nullptr;

void note(std::string line) {
    if (readNotes != nullptr) {
        readNotes->push_back("Prismeta: " + std::move(line));
    } else {
        logLine("Prismeta: " + line);
    }
}

// A mesh's "interpolation": "smooth", or "cells" (the default, also what an
// absent key means). Any other value keeps the cells with a note, so a value
// a newer version writes never fails the load.
void readMeshInterpolation(WarpMesh& mesh, const json& value) {
    mesh.interpolation = WarpMesh::Interpolation::cells;
    if (value.is_null()) {
        return;
    }
    if (value.is_string() && value.get<std::string>() == "smooth") {
        mesh.interpolation = WarpMesh::Interpolation::smooth;
    } else if (!value.is_string() || value.get<std::string>() != "cells") {
        note("mesh interpolation " + value.dump() +
             " is neither \"cells\" nor \"smooth\"; the mesh keeps its cells");
    }
}

} // namespace

template <> struct Schema<WarpMesh> {
    static constexpr std::array fields{wholeNumber<&WarpMesh::cols>("cols"),
                                       list<&WarpMesh::points>("points"),
                                       wholeNumber<&WarpMesh::rows>("rows"),
                                       lenient<WarpMesh, readMeshInterpolation>("interpolation")};
};

namespace {

// An optional key whose object or array is of no use: skipped, with a note.
class DroppedValue final : public Frame {
public:
    DroppedValue(const Frame& parent, std::string_view key, std::string line)
        : Frame(&parent, key), line_(std::move(line)) {}
    void scalar(Scalar&) override {}
    std::unique_ptr<Frame> open(Container) override { return nullptr; }
    Outcome close() override {
        note(std::move(line_));
        return std::nullopt;
    }

private:
    std::string line_;
};

// ------------------------------------------------------------ output warps

// An output's "warp": {"corners": [4 points], "mesh": {...}}, read
// leniently. A warp that is not an object or lacks four sound corners is
// dropped with a note; a mesh that does not read, or whose point count is
// not its grid's, is dropped with a note and the corners kept. Numbers may
// lie anywhere (outside 0..1 too).
class WarpFrame final : public Frame {
public:
    WarpFrame(OutputConfig& output, const Frame& parent, std::string_view key)
        : Frame(&parent, key), output_(output) {}

    void key(std::string& name) override {
        pending_ = name == "corners" ? Key::corners : name == "mesh" ? Key::mesh : Key::none;
    }

    void scalar(Scalar& value) override {
        const bool null = value.type == Scalar::Type::null;
        if (pending_ == Key::corners) {
            corners_.reset();
            cornersProblem_.reset();
            if (!null) {
                cornersProblem_ =
                    Frame::describe(path("corners"), wrongType("an array", typeName(value.type)));
            }
        } else if (pending_ == Key::mesh) {
            mesh_.reset();
            meshProblem_.reset();
            if (!null) {
                meshProblem_ =
                    Frame::describe(path("mesh"), wrongType("an object", typeName(value.type)));
            }
        }
    }

    std::unique_ptr<Frame> open(Container kind) override {
        if (pending_ == Key::corners) {
            cornersProblem_.reset();
            if (kind != Container::array) {
                corners_.reset();
                cornersProblem_ =
                    Frame::describe(path("corners"), wrongType("an array", typeName(kind)));
                return nullptr;
            }
            corners_.emplace();
            return std::make_unique<ListFrame<Pt>>(*corners_, *this, "corners");
        }
        if (pending_ == Key::mesh) {
            meshProblem_.reset();
            if (kind != Container::object) {
                mesh_.reset();
                meshProblem_ =
                    Frame::describe(path("mesh"), wrongType("an object", typeName(kind)));
                return nullptr;
            }
            mesh_.emplace();
            return std::make_unique<RecordFrame<WarpMesh>>(*mesh_, this, std::string_view("mesh"));
        }
        return nullptr;
    }

    void settle(Outcome outcome) override {
        if (pending_ == Key::corners) {
            cornersProblem_ = std::move(outcome);
        } else if (pending_ == Key::mesh) {
            meshProblem_ = std::move(outcome);
        }
    }

    Outcome close() override {
        output_.warp.reset();
        if (!cornersProblem_ && !corners_) {
            cornersProblem_ = Frame::describe(path(), "missing required key \"corners\"");
        } else if (!cornersProblem_ && corners_->size() != 4) {
            cornersProblem_ = Frame::describe(
                path("corners"), "expected 4 points, found " + std::to_string(corners_->size()));
        }
        if (cornersProblem_) {
            note(*cornersProblem_ + "; the output's warp is dropped");
            return std::nullopt;
        }
        OutputWarp warp;
        std::copy(corners_->begin(), corners_->end(), warp.corners.begin());
        if (meshProblem_) {
            note(*meshProblem_ + "; the warp's mesh is dropped");
        } else if (mesh_) {
            const std::optional<std::int64_t> needed =
                WarpMesh::gridPointCount(mesh_->cols, mesh_->rows);
            if (!needed || mesh_->points.size() != static_cast<std::size_t>(*needed)) {
                note(path("mesh") + ": " + std::to_string(mesh_->points.size()) +
                     " points, where a grid of " + std::to_string(mesh_->cols) + " x " +
                     std::to_string(mesh_->rows) + " cells " +
                     (needed ? "needs " + std::to_string(*needed) : std::string("is refused")) +
                     "; the warp's mesh is dropped");
            } else {
                warp.mesh = std::move(*mesh_);
            }
        }
        output_.warp = std::move(warp);
        return std::nullopt;
    }

private:
    enum class Key { none, corners, mesh };

    OutputConfig& output_;
    Key pending_ = Key::none;
    std::optional<std::vector<Pt>> corners_;
    Outcome cornersProblem_;
    std::optional<WarpMesh> mesh_;
    Outcome meshProblem_;
};

Problem readWarpScalar(OutputConfig& output, Scalar& value, const Frame& frame) {
    output.warp.reset();
    note(Frame::describe(frame.path("warp"), wrongType("an object", typeName(value.type))) +
         "; the output's warp is dropped");
    return std::nullopt;
}

std::unique_ptr<Frame> openWarp(OutputConfig& output, Container kind, const Frame& parent,
                                std::string_view key) {
    output.warp.reset();
    if (kind != Container::object) {
        return std::make_unique<DroppedValue>(
            parent, key,
            Frame::describe(parent.path(key), wrongType("an object", typeName(kind))) +
                "; the output's warp is dropped");
    }
    return std::make_unique<WarpFrame>(output, parent, key);
}

void resetWarp(OutputConfig& output) {
    output.warp.reset();
}

// An output's "blendMap": the path of an image. Anything but a text is
// dropped with a note (the output then has no blend map).
Problem readBlendMapScalar(OutputConfig& output, Scalar& value, const Frame& frame) {
    if (value.type == Scalar::Type::string) {
        output.blendMap = std::move(*value.text);
        return std::nullopt;
    }
    output.blendMap.reset();
    note(Frame::describe(frame.path("blendMap"), wrongType("a string", typeName(value.type))) +
         "; the output's blend map is dropped");
    return std::nullopt;
}

std::unique_ptr<Frame> openBlendMap(OutputConfig& output, Container kind, const Frame& parent,
                                    std::string_view key) {
    output.blendMap.reset();
    return std::make_unique<DroppedValue>(
        parent, key,
        Frame::describe(parent.path(key), wrongType("a string", typeName(kind))) +
            "; the output's blend map is dropped");
}

void resetBlendMap(OutputConfig& output) {
    output.blendMap.reset();
}

} // namespace

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
        lenient<Surface, readSurfaceDmx>("dmx"),
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
        Field<OutputConfig>{"warp", Presence::optional, "an object", nullptr, &openWarp, &resetWarp,
                            false, &readWarpScalar},
        Field<OutputConfig>{"blendMap", Presence::optional, "a string", nullptr, &openBlendMap,
                            &resetBlendMap, false, &readBlendMapScalar},
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
        Field<ProjectFile>{"dmx", Presence::optional, "an object", &readDmxScalar, &openDmxSettings,
                           &resetDmx},
    };
};

// A whole document read as one record, its notes logged once it has read.
template <class R> Result<R> readNoting(std::string_view bytes) {
    std::vector<std::string> notes;
    struct Scope {
        std::vector<std::string>* before;
        explicit Scope(std::vector<std::string>& notes) : before(readNotes) { readNotes = &notes; }
        ~Scope() { readNotes = before; }
    } scope(notes);
    R result = defaults<R>();
    Outcome outcome = parseDocument(bytes, [&result, &notes]() -> std::unique_ptr<Frame> {
        notes.clear();
        result = defaults<R>();
        return std::make_unique<RecordFrame<R>>(result, nullptr, std::string_view());
    });
    if (outcome) {
        return Result<R>::failure(std::move(*outcome));
    }
    for (const std::string& line : notes) {
        logLine(line);
    }
    return Result<R>(std::move(result));
}

} // namespace reading

Result<ProjectFile> readProjectFile(std::string_view bytes) {
    try {
        Result<ProjectFile> file = reading::readNoting<ProjectFile>(bytes);
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
        return reading::readNoting<OutputConfig>(bytes);
    } catch (const std::bad_alloc&) {
        return Result<OutputConfig>::failure("out of memory while reading an output");
    }
}

} // namespace prismeta
