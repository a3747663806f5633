#include "core/ProjectFile.h"

#include "core/JsonMessages.h"
#include "core/JsonTextWriter.h"
#include "core/RecordText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace prismeta {

using nlohmann::json;

namespace {

// ---------------------------------------------------------------- writing

struct WriteError {
    std::string description;
};

// Where a value sits in the document: a chain of frames on the stack whose
// text ("surfaces[1].color.r") is built only when an error needs it, so
// writing pays nothing for it on success.
class KeyPath {
public:
    KeyPath() = default;
    KeyPath(const KeyPath& parent, const char* key) : parent_(&parent), key_(key) {}
    KeyPath(const KeyPath& parent, std::size_t index) : parent_(&parent), index_(index) {}

    std::string text() const {
        if (!parent_) {
            return {};
        }
        std::string prefix = parent_->text();
        if (key_) {
            return prefix.empty() ? std::string(key_) : prefix + "." + key_;
        }
        return prefix + "[" + std::to_string(index_) + "]";
    }

private:
    const KeyPath* parent_ = nullptr;
    const char* key_ = nullptr;
    std::size_t index_ = 0;
};

const KeyPath kRoot;

// The double whose shortest text equals the float's shortest text, so that
// 0.2f is written as 0.2 and not as 0.20000000298023224.
double floatValue(float value, const KeyPath& path) {
    if (!std::isfinite(value)) {
        throw WriteError{path.text() + ": " + describeNumber(value) + " is not a finite number"};
    }
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    double widened = 0.0;
    std::from_chars(buffer, written.ptr, widened);
    return widened;
}

// Writes the records as text in one pass, in the keys' sorted order. Numbers
// are checked as they come (in the order of the fields, colour channels r, g,
// b, a); a text that is not valid UTF-8 fails the write once every number has
// been checked, as the JSON library's dump did.
class ProjectWriter {
public:
    explicit ProjectWriter(std::string& out,
                           JsonTextWriter::Layout layout = JsonTextWriter::Layout::indented)
        : json_(out, layout) {}

    void project(const ProjectFile& file) {
        json_.beginObject();
        if (file.backgroundImagePath) {
            json_.key("backgroundImagePath");
            text(*file.backgroundImagePath);
        }
        doubleMember("backgroundOpacity", file.backgroundOpacity, kRoot);
        doubleMember("canvasHeight", file.canvasHeight, kRoot);
        doubleMember("canvasWidth", file.canvasWidth, kRoot);
        if (file.cluster) {
            json_.key("cluster");
            json_.beginObject();
            json_.key("broker");
            text(file.cluster->broker);
            json_.key("topic");
            text(file.cluster->topic);
            json_.endObject();
        }
        if (!file.cues.empty()) {
            list("cues", file.cues, kRoot, &ProjectWriter::cue);
        }
        if (file.dmx) {
            dmxSettings(*file.dmx);
        }
        list("outputs", file.outputs, kRoot, &ProjectWriter::output);
        list("surfaces", file.surfaces, kRoot, &ProjectWriter::surface);
        json_.endObject();
    }

    // One record as a document of its own.
    void record(const Surface& s) { surface(s, kRoot); }
    void record(const OutputConfig& o) { output(o, kRoot); }
    void record(const Cue& c) { cue(c, kRoot); }

    // The first text that is not valid UTF-8, if any.
    const std::optional<std::string>& invalidText() const { return invalidText_; }

private:
    void text(std::string_view value) {
        if (!json_.text(value) && !invalidText_) {
            invalidText_ = std::string(value);
        }
    }

    // An array of records under `key`, each written by `write`.
    template <class R>
    void list(const char* key, const std::vector<R>& records, const KeyPath& parent,
              void (ProjectWriter::*write)(const R&, const KeyPath&)) {
        json_.key(key);
        json_.beginArray();
        const KeyPath path(parent, key);
        for (std::size_t i = 0; i < records.size(); ++i) {
            json_.element();
            (this->*write)(records[i], KeyPath(path, i));
        }
        json_.endArray();
    }

    // A key that comes from the file (an input's name), escaped as texts are.
    void textKey(std::string_view name) {
        if (!json_.textKey(name) && !invalidText_) {
            invalidText_ = std::string(name);
        }
    }

    void floatMember(const char* key, float value, const KeyPath& path) {
        const double widened = floatValue(value, KeyPath(path, key));
        json_.key(key);
        json_.number(widened);
    }

    static void finiteOrThrow(double value, const KeyPath& path) {
        if (!std::isfinite(value)) {
            throw WriteError{path.text() + ": " + describeNumber(value) +
                             " is not a finite number"};
        }
    }

    void doubleMember(const char* key, double value, const KeyPath& path) {
        finiteOrThrow(value, KeyPath(path, key));
        json_.key(key);
        json_.number(value);
    }

    void wholeMember(const char* key, std::int64_t value) {
        json_.key(key);
        json_.number(value);
    }

    void points(const char* key, std::span<const Pt> list, const KeyPath& path) {
        json_.key(key);
        json_.beginArray();
        for (std::size_t i = 0; i < list.size(); ++i) {
            const KeyPath pointPath(path, i);
            json_.element();
            json_.beginObject();
            floatMember("x", list[i].x, pointPath);
            floatMember("y", list[i].y, pointPath);
            json_.endObject();
        }
        json_.endArray();
    }

    void point(const Pt& p, const KeyPath& path) {
        json_.beginObject();
        floatMember("x", p.x, path);
        floatMember("y", p.y, path);
        json_.endObject();
    }

    // Masks only when a record has any, so a project without them keeps its
    // bytes.
    void masks(const std::vector<Mask>& list, const KeyPath& path) {
        if (list.empty()) {
            return;
        }
        json_.key("masks");
        json_.beginArray();
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Mask& m = list[i];
            const KeyPath maskPath(path, i);
            json_.element();
            json_.beginObject();
            json_.key("enabled");
            json_.boolean(m.enabled);
            floatMember("feather", m.feather, maskPath);
            json_.key("invert");
            json_.boolean(m.invert);
            json_.key("name");
            text(m.name);
            json_.key("points");
            json_.beginArray();
            const KeyPath pointsPath(maskPath, "points");
            for (std::size_t k = 0; k < m.points.size(); ++k) {
                const MaskPoint& p = m.points[k];
                const KeyPath pointPath(pointsPath, k);
                json_.element();
                json_.beginObject();
                if (p.in) {
                    json_.key("in");
                    point(*p.in, KeyPath(pointPath, "in"));
                }
                if (p.out) {
                    json_.key("out");
                    point(*p.out, KeyPath(pointPath, "out"));
                }
                floatMember("x", p.x, pointPath);
                floatMember("y", p.y, pointPath);
                json_.endObject();
            }
            json_.endArray();
            json_.endObject();
        }
        json_.endArray();
    }

    // Checked in the order r, g, b, a; written in the sorted one.
    void color(const RGBA& c, const KeyPath& path) {
        const double r = floatValue(c.r, KeyPath(path, "color.r"));
        const double g = floatValue(c.g, KeyPath(path, "color.g"));
        const double b = floatValue(c.b, KeyPath(path, "color.b"));
        const double a = floatValue(c.a, KeyPath(path, "color.a"));
        json_.key("color");
        json_.beginObject();
        json_.key("a");
        json_.number(a);
        json_.key("b");
        json_.number(b);
        json_.key("g");
        json_.number(g);
        json_.key("r");
        json_.number(r);
        json_.endObject();
    }

    // A surface's or an output warp's "mesh"; "interpolation" only when
    // smooth, so a mesh of cells is written as it always was.
    void mesh(const WarpMesh& m, const KeyPath& pointsPath) {
        json_.key("mesh");
        json_.beginObject();
        wholeMember("cols", m.cols);
        if (m.interpolation == WarpMesh::Interpolation::smooth) {
            json_.key("interpolation");
            text("smooth");
        }
        points("points", m.points, pointsPath);
        wholeMember("rows", m.rows);
        json_.endObject();
    }

    void surface(const Surface& s, const KeyPath& path) {
        json_.beginObject();
        color(s.color, path);
        points("corners", s.corners, KeyPath(path, "corners"));
        if (s.dmx) {
            json_.key("dmx");
            patch(*s.dmx);
        }
        floatMember("feather", s.feather, path);
        json_.key("id");
        text(s.id.text());
        if (!s.liveOptions.empty()) {
            liveOptions(s.liveOptions, KeyPath(path, "liveOptions"));
        }
        masks(s.masks, KeyPath(path, "masks"));
        json_.key("mediaKind");
        text(mediaKindText(s.mediaKind));
        if (s.mediaPath) {
            json_.key("mediaPath");
            text(*s.mediaPath);
        }
        if (s.mesh) {
            mesh(*s.mesh, KeyPath(path, "mesh.points"));
        }
        json_.key("name");
        text(s.name);
        doubleMember("opacity", s.opacity, path);
        if (s.playback == VideoPlayback::once) {
            json_.key("playback");
            text("once");
        }
        if (!s.shaderInputs.empty()) {
            shaderInputs(s.shaderInputs, KeyPath(path, "shaderInputs"));
        }
        json_.endObject();
    }

    void patch(const DmxPatch& p) {
        json_.beginObject();
        wholeMember("address", p.address);
        wholeMember("universe", p.universe);
        json_.endObject();
    }

    // Only what the settings hold: a file that has no "loss" keeps having none.
    void dmxSettings(const DmxSettings& dmx) {
        json_.key("dmx");
        json_.beginObject();
        if (dmx.loss) {
            json_.key("loss");
            text(*dmx.loss == DmxLoss::release ? "release" : "hold");
        }
        if (dmx.lossFade) {
            doubleMember("lossFade", *dmx.lossFade, KeyPath(kRoot, "dmx"));
        }
        if (dmx.master) {
            json_.key("master");
            patch(*dmx.master);
        }
        if (!dmx.media.empty()) {
            json_.key("media");
            json_.beginArray();
            for (const DmxMedia& media : dmx.media) {
                json_.element();
                json_.beginObject();
                if (media.mediaKind) {
                    json_.key("mediaKind");
                    text(mediaKindText(*media.mediaKind));
                }
                if (media.mediaPath) {
                    json_.key("mediaPath");
                    text(*media.mediaPath);
                }
                json_.endObject();
            }
            json_.endArray();
        }
        json_.endObject();
    }

    // Only the options set, in the sorted order of their keys.
    void liveOptions(const LiveOptions& options, const KeyPath& path) {
        json_.key("liveOptions");
        json_.beginObject();
        if (options.format) {
            json_.key("format");
            text(*options.format);
        }
        if (options.fps) {
            doubleMember("fps", *options.fps, path);
        }
        if (options.latencyMs) {
            wholeMember("latency", *options.latencyMs);
        }
        if (options.width && options.height) {
            json_.key("size");
            text(liveSizeText(*options.width, *options.height));
        }
        json_.endObject();
    }

    // Only the values a surface holds (those differing from the shader's
    // defaults), in the shapes the reader takes back; the map keeps the
    // names in the sorted order.
    void shaderInputs(const ShaderInputs& inputs, const KeyPath& path) {
        json_.key("shaderInputs");
        json_.beginObject();
        for (const auto& [name, value] : inputs) {
            switch (value.kind) {
            case ShaderInputValue::Kind::flag:
                textKey(name);
                json_.boolean(value.flag);
                break;
            case ShaderInputValue::Kind::number:
                finiteOrThrow(value.numbers[0], KeyPath(path, name.c_str()));
                textKey(name);
                json_.number(value.numbers[0]);
                break;
            case ShaderInputValue::Kind::numbers: {
                const int count = std::clamp(value.count, 1, 4);
                for (int i = 0; i < count; ++i) {
                    finiteOrThrow(value.numbers[static_cast<std::size_t>(i)],
                                  KeyPath(path, name.c_str()));
                }
                textKey(name);
                json_.beginArray();
                for (int i = 0; i < count; ++i) {
                    json_.element();
                    json_.number(value.numbers[static_cast<std::size_t>(i)]);
                }
                json_.endArray();
                break;
            }
            case ShaderInputValue::Kind::text:
                textKey(name);
                text(value.text);
                break;
            }
        }
        json_.endObject();
    }

    // The blend curve keys only where they differ from their defaults, so a
    // project that uses none is written as it was before they existed; and
    // as they are drawn, within their ranges (they never fail the write).
    void output(const OutputConfig& o, const KeyPath& path) {
        json_.beginObject();
        if (const BlackLevel level = blackLevelInRange(o.blackLevel); !level.isZero()) {
            json_.key("blackLevel");
            json_.beginObject();
            floatMember("b", level.b, KeyPath(path, "blackLevel"));
            floatMember("g", level.g, KeyPath(path, "blackLevel"));
            floatMember("r", level.r, KeyPath(path, "blackLevel"));
            json_.endObject();
        }
        floatMember("blendBottom", o.blendBottom, path);
        if (const float curve = blendCurveInRange(o.blendCurve); curve != defaultBlendCurve) {
            floatMember("blendCurve", curve, path);
        }
        if (const float gamma = blendGammaInRange(o.blendGamma); gamma != defaultBlendGamma) {
            floatMember("blendGamma", gamma, path);
        }
        floatMember("blendLeft", o.blendLeft, path);
        if (o.blendMap) {
            json_.key("blendMap");
            text(*o.blendMap);
        }
        floatMember("blendRight", o.blendRight, path);
        floatMember("blendTop", o.blendTop, path);
        floatMember("cropHeight", o.cropHeight, path);
        floatMember("cropWidth", o.cropWidth, path);
        floatMember("cropX", o.cropX, path);
        floatMember("cropY", o.cropY, path);
        // Only once the output has been placed: a project that never was
        // keeps the very bytes it had.
        if (o.display) {
            const OutputDisplay& d = *o.display;
            json_.key("display");
            json_.beginObject();
            json_.key("fullScreen");
            json_.boolean(d.fullScreen);
            wholeMember("height", d.geometry.height);
            json_.key("screen");
            text(d.screen);
            wholeMember("width", d.geometry.width);
            wholeMember("x", d.geometry.x);
            wholeMember("y", d.geometry.y);
            json_.endObject();
        }
        json_.key("id");
        text(o.id.text());
        masks(o.masks, KeyPath(path, "masks"));
        json_.key("name");
        text(o.name);
        if (o.node) {
            json_.key("node");
            text(*o.node);
        }
        if (o.warp) {
            const KeyPath warpPath(path, "warp");
            json_.key("warp");
            json_.beginObject();
            points("corners", o.warp->corners, KeyPath(warpPath, "corners"));
            if (o.warp->mesh) {
                mesh(*o.warp->mesh, KeyPath(warpPath, "mesh.points"));
            }
            json_.endObject();
        }
        json_.endObject();
    }

    // Only the fields a look sets, so a cue tracks everything else.
    void cueLook(const CueLook& look, const KeyPath& path) {
        json_.beginObject();
        if (look.color) {
            color(*look.color, path);
        }
        if (look.mediaKind) {
            json_.key("mediaKind");
            text(mediaKindText(*look.mediaKind));
        }
        if (look.mediaPath) {
            json_.key("mediaPath");
            text(*look.mediaPath);
        }
        if (look.opacity) {
            doubleMember("opacity", *look.opacity, path);
        }
        if (!look.restart) {
            json_.key("restart");
            json_.boolean(false);
        }
        if (look.shaderInputs) {
            shaderInputs(*look.shaderInputs, KeyPath(path, "shaderInputs"));
        }
        json_.key("surface");
        text(look.surface.text());
        json_.endObject();
    }

    void cue(const Cue& c, const KeyPath& path) {
        json_.beginObject();
        doubleMember("fade", c.fade, path);
        if (c.follow) {
            if (c.follow->kind == CueFollow::Kind::videoEnd) {
                json_.key("follow");
                text("end");
            } else {
                doubleMember("follow", c.follow->seconds, path);
            }
        }
        json_.key("id");
        text(c.id.text());
        list("looks", c.looks, path, &ProjectWriter::cueLook);
        json_.key("name");
        text(c.name);
        if (c.schedule) {
            json_.key("schedule");
            json_.beginObject();
            json_.key("at");
            text(scheduleTimeText(c.schedule->secondOfDay));
            if (c.schedule->days != CueSchedule::everyDay) {
                json_.key("days");
                json_.beginArray();
                for (int day = 0; day < 7; ++day) {
                    if (c.schedule->onWeekday(day)) {
                        json_.element();
                        text(weekdayNames[day]);
                    }
                }
                json_.endArray();
            }
            json_.endObject();
        }
        if (c.timecode) {
            json_.key("timecode");
            text(timecodeText(*c.timecode));
        }
        json_.endObject();
    }

    JsonTextWriter json_;
    std::optional<std::string> invalidText_;
};

} // namespace

Result<std::string> writeProjectFile(const ProjectFile& file) {
    try {
        std::string text;
        ProjectWriter writer(text);
        writer.project(file);
        if (const auto& invalid = writer.invalidText()) {
            // The library words the problem (which byte, where) as users
            // have always seen it.
            (void)json(*invalid).dump(-1, ' ', false, json::error_handler_t::strict);
            return Result<std::string>::failure("a text is not valid UTF-8");
        }
        text.push_back('\n');
        return text;
    } catch (const WriteError& error) {
        return Result<std::string>::failure(error.description);
    } catch (const json::type_error& error) {
        // Raised for text that is not valid UTF-8 (a name, a path).
        return Result<std::string>::failure("a text is not valid UTF-8 (" +
                                            withoutExceptionTag(error.what()) + ")");
    } catch (const json::exception& error) {
        return Result<std::string>::failure(withoutExceptionTag(error.what()));
    } catch (const std::bad_alloc&) {
        return Result<std::string>::failure("out of memory while writing the project");
    }
}

namespace {

// The text of one record on one line, with exactly the keys and numbers it
// has inside a project file.
template <class R> Result<std::string> writeRecordText(const R& record) {
    try {
        std::string text;
        ProjectWriter writer(text, JsonTextWriter::Layout::compact);
        writer.record(record);
        if (const auto& invalid = writer.invalidText()) {
            (void)json(*invalid).dump(-1, ' ', false, json::error_handler_t::strict);
            return Result<std::string>::failure("a text is not valid UTF-8");
        }
        return text;
    } catch (const WriteError& error) {
        return Result<std::string>::failure(error.description);
    } catch (const json::type_error& error) {
        return Result<std::string>::failure("a text is not valid UTF-8 (" +
                                            withoutExceptionTag(error.what()) + ")");
    } catch (const std::bad_alloc&) {
        return Result<std::string>::failure("out of memory while writing a record");
    }
}

} // namespace

Result<std::string> writeSurfaceText(const Surface& surface) {
    return writeRecordText(surface);
}

Result<std::string> writeOutputText(const OutputConfig& output) {
    return writeRecordText(output);
}

Result<std::string> writeCueText(const Cue& cue) {
    return writeRecordText(cue);
}

} // namespace prismeta
