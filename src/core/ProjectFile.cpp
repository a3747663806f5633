#include "core/ProjectFile.h"

#include "core/JsonMessages.h"
#include "core/JsonTeardown.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <string>
#include <utility>

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
json floatValue(float value, const KeyPath& path) {
    if (!std::isfinite(value)) {
        throw WriteError{path.text() + ": " + describeNumber(value) + " is not a finite number"};
    }
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    double widened = 0.0;
    std::from_chars(buffer, written.ptr, widened);
    return json(widened);
}

json doubleValue(double value, const KeyPath& path) {
    if (!std::isfinite(value)) {
        throw WriteError{path.text() + ": " + describeNumber(value) + " is not a finite number"};
    }
    return json(value);
}

// The tree is built in place, every value inside the one root, which is
// dismantled whatever happens: a tree destroyed whole allocates a work list,
// and out of memory that would end the process instead of failing the write.
// Nested objects are made where they go (into["mesh"] = json::object(), then
// filled), never as separate trees moved in.

void writePoint(json& into, const Pt& p, const KeyPath& path) {
    into = json::object();
    into["x"] = floatValue(p.x, KeyPath(path, "x"));
    into["y"] = floatValue(p.y, KeyPath(path, "y"));
}

void writePoints(json& into, const std::vector<Pt>& points, const KeyPath& path) {
    into = json::array();
    auto& array = into.get_ref<json::array_t&>();
    array.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        writePoint(array.emplace_back(), points[i], KeyPath(path, i));
    }
}

void writeSurface(json& object, const Surface& s, const KeyPath& path) {
    object = json::object();
    json& color = object["color"] = json::object();
    color["r"] = floatValue(s.color.r, KeyPath(path, "color.r"));
    color["g"] = floatValue(s.color.g, KeyPath(path, "color.g"));
    color["b"] = floatValue(s.color.b, KeyPath(path, "color.b"));
    color["a"] = floatValue(s.color.a, KeyPath(path, "color.a"));
    writePoints(object["corners"], s.corners, KeyPath(path, "corners"));
    object["feather"] = floatValue(s.feather, KeyPath(path, "feather"));
    object["id"] = s.id.text();
    object["mediaKind"] = std::string(mediaKindText(s.mediaKind));
    if (s.mediaPath) {
        object["mediaPath"] = *s.mediaPath;
    }
    if (s.mesh) {
        json& mesh = object["mesh"] = json::object();
        mesh["cols"] = s.mesh->cols;
        mesh["rows"] = s.mesh->rows;
        writePoints(mesh["points"], s.mesh->points, KeyPath(path, "mesh.points"));
    }
    object["name"] = s.name;
    object["opacity"] = doubleValue(s.opacity, KeyPath(path, "opacity"));
}

// The blend curve keys, each only when it differs from its default, so a
// project that uses none is written as it was before they existed. The
// values are written as they are drawn: within their ranges. Built in place,
// as every object of the tree.
void writeBlendCurve(const OutputConfig& o, json& object, const KeyPath& path) {
    if (const float curve = blendCurveInRange(o.blendCurve); curve != defaultBlendCurve) {
        object["blendCurve"] = floatValue(curve, KeyPath(path, "blendCurve"));
    }
    if (const float gamma = blendGammaInRange(o.blendGamma); gamma != defaultBlendGamma) {
        object["blendGamma"] = floatValue(gamma, KeyPath(path, "blendGamma"));
    }
    if (const BlackLevel level = blackLevelInRange(o.blackLevel); !level.isZero()) {
        json& channels = object["blackLevel"];
        channels = json::object();
        channels["b"] = floatValue(level.b, KeyPath(path, "blackLevel.b"));
        channels["g"] = floatValue(level.g, KeyPath(path, "blackLevel.g"));
        channels["r"] = floatValue(level.r, KeyPath(path, "blackLevel.r"));
    }
}

void writeOutput(json& object, const OutputConfig& o, const KeyPath& path) {
    object = json::object();
    object["blendBottom"] = floatValue(o.blendBottom, KeyPath(path, "blendBottom"));
    object["blendLeft"] = floatValue(o.blendLeft, KeyPath(path, "blendLeft"));
    object["blendRight"] = floatValue(o.blendRight, KeyPath(path, "blendRight"));
    object["blendTop"] = floatValue(o.blendTop, KeyPath(path, "blendTop"));
    object["cropHeight"] = floatValue(o.cropHeight, KeyPath(path, "cropHeight"));
    object["cropWidth"] = floatValue(o.cropWidth, KeyPath(path, "cropWidth"));
    object["cropX"] = floatValue(o.cropX, KeyPath(path, "cropX"));
    object["cropY"] = floatValue(o.cropY, KeyPath(path, "cropY"));
    // Only once the output has been placed: a project that never was keeps
    // the very bytes it had.
    if (o.display) {
        const OutputDisplay& d = *o.display;
        json& display = object["display"] = json::object();
        display["fullScreen"] = d.fullScreen;
        display["height"] = d.geometry.height;
        display["screen"] = d.screen;
        display["width"] = d.geometry.width;
        display["x"] = d.geometry.x;
        display["y"] = d.geometry.y;
    }
    object["id"] = o.id.text();
    object["name"] = o.name;
    if (o.node) {
        object["node"] = *o.node;
    }
    writeBlendCurve(o, object, path);
}

// The text of one record written by `write` into a root of its own, on one line.
template <class R, class Write> Result<std::string> writeRecordText(const R& record, Write write) {
    json root;
    const DismantleOnExit dismantleRoot(root);
    try {
        write(root, record, kRoot);
        return root.dump(-1, ' ', false, json::error_handler_t::strict);
    } catch (const WriteError& error) {
        return Result<std::string>::failure(error.description);
    } catch (const json::type_error& error) {
        return Result<std::string>::failure("a text is not valid UTF-8 (" +
                                            withoutExceptionTag(error.what()) + ")");
    } catch (const json::exception& error) {
        return Result<std::string>::failure(withoutExceptionTag(error.what()));
    } catch (const std::bad_alloc&) {
        return Result<std::string>::failure("out of memory while writing a record");
    }
}

} // namespace

Result<std::string> writeProjectFile(const ProjectFile& file) {
    json root;
    const DismantleOnExit dismantleRoot(root);
    try {
        root = json::object();
        if (file.backgroundImagePath) {
            root["backgroundImagePath"] = *file.backgroundImagePath;
        }
        root["backgroundOpacity"] =
            doubleValue(file.backgroundOpacity, KeyPath(kRoot, "backgroundOpacity"));
        root["canvasHeight"] = doubleValue(file.canvasHeight, KeyPath(kRoot, "canvasHeight"));
        root["canvasWidth"] = doubleValue(file.canvasWidth, KeyPath(kRoot, "canvasWidth"));
        if (file.cluster) {
            json& cluster = root["cluster"] = json::object();
            cluster["broker"] = file.cluster->broker;
            cluster["topic"] = file.cluster->topic;
        }
        auto& outputs = (root["outputs"] = json::array()).get_ref<json::array_t&>();
        outputs.reserve(file.outputs.size());
        for (std::size_t i = 0; i < file.outputs.size(); ++i) {
            writeOutput(outputs.emplace_back(), file.outputs[i],
                        KeyPath(KeyPath(kRoot, "outputs"), i));
        }
        auto& surfaces = (root["surfaces"] = json::array()).get_ref<json::array_t&>();
        surfaces.reserve(file.surfaces.size());
        for (std::size_t i = 0; i < file.surfaces.size(); ++i) {
            writeSurface(surfaces.emplace_back(), file.surfaces[i],
                         KeyPath(KeyPath(kRoot, "surfaces"), i));
        }

        std::string text = root.dump(2, ' ', false, json::error_handler_t::strict);
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

Result<std::string> writeSurfaceText(const Surface& surface) {
    return writeRecordText(surface, [](json& into, const Surface& s, const KeyPath& path) {
        writeSurface(into, s, path);
    });
}

Result<std::string> writeOutputText(const OutputConfig& output) {
    return writeRecordText(output, [](json& into, const OutputConfig& o, const KeyPath& path) {
        writeOutput(into, o, path);
    });
}

} // namespace prismeta
