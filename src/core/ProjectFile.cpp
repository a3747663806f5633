#include "core/ProjectFile.h"

#include "core/JsonMessages.h"

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

json pointValue(const Pt& p, const KeyPath& path) {
    json object = json::object();
    object["x"] = floatValue(p.x, KeyPath(path, "x"));
    object["y"] = floatValue(p.y, KeyPath(path, "y"));
    return object;
}

json pointsValue(const std::vector<Pt>& points, const KeyPath& path) {
    json array = json::array();
    array.get_ref<json::array_t&>().reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        array.push_back(pointValue(points[i], KeyPath(path, i)));
    }
    return array;
}

json surfaceValue(const Surface& s, const KeyPath& path) {
    json object = json::object();
    json color = json::object();
    color["r"] = floatValue(s.color.r, KeyPath(path, "color.r"));
    color["g"] = floatValue(s.color.g, KeyPath(path, "color.g"));
    color["b"] = floatValue(s.color.b, KeyPath(path, "color.b"));
    color["a"] = floatValue(s.color.a, KeyPath(path, "color.a"));
    object["color"] = std::move(color);
    object["corners"] = pointsValue(s.corners, KeyPath(path, "corners"));
    object["feather"] = floatValue(s.feather, KeyPath(path, "feather"));
    object["id"] = s.id.text();
    object["mediaKind"] = std::string(mediaKindText(s.mediaKind));
    if (s.mediaPath) {
        object["mediaPath"] = *s.mediaPath;
    }
    if (s.mesh) {
        json mesh = json::object();
        mesh["cols"] = s.mesh->cols;
        mesh["rows"] = s.mesh->rows;
        mesh["points"] = pointsValue(s.mesh->points, KeyPath(path, "mesh.points"));
        object["mesh"] = std::move(mesh);
    }
    object["name"] = s.name;
    object["opacity"] = doubleValue(s.opacity, KeyPath(path, "opacity"));
    return object;
}

json outputValue(const OutputConfig& o, const KeyPath& path) {
    json object = json::object();
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
        object["display"] =
            json{{"fullScreen", d.fullScreen}, {"height", d.geometry.height}, {"screen", d.screen},
                 {"width", d.geometry.width},  {"x", d.geometry.x},           {"y", d.geometry.y}};
    }
    object["id"] = o.id.text();
    object["name"] = o.name;
    return object;
}

} // namespace

Result<std::string> writeProjectFile(const ProjectFile& file) {
    try {
        json root = json::object();
        if (file.backgroundImagePath) {
            root["backgroundImagePath"] = *file.backgroundImagePath;
        }
        root["backgroundOpacity"] =
            doubleValue(file.backgroundOpacity, KeyPath(kRoot, "backgroundOpacity"));
        root["canvasHeight"] = doubleValue(file.canvasHeight, KeyPath(kRoot, "canvasHeight"));
        root["canvasWidth"] = doubleValue(file.canvasWidth, KeyPath(kRoot, "canvasWidth"));
        json outputs = json::array();
        for (std::size_t i = 0; i < file.outputs.size(); ++i) {
            outputs.push_back(outputValue(file.outputs[i], KeyPath(KeyPath(kRoot, "outputs"), i)));
        }
        root["outputs"] = std::move(outputs);
        json surfaces = json::array();
        surfaces.get_ref<json::array_t&>().reserve(file.surfaces.size());
        for (std::size_t i = 0; i < file.surfaces.size(); ++i) {
            surfaces.push_back(
                surfaceValue(file.surfaces[i], KeyPath(KeyPath(kRoot, "surfaces"), i)));
        }
        root["surfaces"] = std::move(surfaces);

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

} // namespace prismeta
