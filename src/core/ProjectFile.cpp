#include "core/ProjectFile.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
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
// text ("surfaces[1].mediaKind") is built only when an error needs it, so
// reading and writing pay nothing for it on success.
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

std::string describeNumber(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

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
    object["id"] = o.id.text();
    object["name"] = o.name;
    return object;
}

// ---------------------------------------------------------------- reading

struct ReadError {
    std::string description;
};

[[noreturn]] void fail(const KeyPath& path, const std::string& problem) {
    const std::string where = path.text();
    throw ReadError{where.empty() ? problem : where + ": " + problem};
}

std::string typeName(const json& value) {
    switch (value.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return "an array";
    case json::value_t::string:
        return "a string";
    case json::value_t::boolean:
        return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
        return "a number";
    case json::value_t::binary:
        return "binary data";
    case json::value_t::discarded:
        break;
    }
    return "nothing";
}

void expectType(const json& value, bool ok, const char* expected, const KeyPath& path) {
    if (!ok) {
        fail(path, std::string("expected ") + expected + ", found " + typeName(value));
    }
}

const json& objectAt(const json& value, const KeyPath& path) {
    expectType(value, value.is_object(), "an object", path);
    return value;
}

// The member for a required key; a missing key fails the read.
const json& required(const json& object, const char* key, const KeyPath& path) {
    const auto it = object.find(key);
    if (it == object.end()) {
        fail(path, std::string("missing required key \"") + key + "\"");
    }
    return *it;
}

// The member for an optional key, or null when it is absent or null.
const json* optionalMember(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

double readDouble(const json& value, const KeyPath& path) {
    expectType(value, value.is_number(), "a number", path);
    return value.get<double>();
}

// Halfway between the largest float and 2^128: every double below it in
// magnitude rounds to a finite float, every double from it up to infinity.
// Comparing against the largest float itself would refuse its own shortest
// text, 3.4028235e+38, which reads as a double just above it.
constexpr double kFloatOverflowThreshold = 3.4028235677973366e38;

float readFloat(const json& value, const KeyPath& path) {
    const double number = readDouble(value, path);
    if (!(std::fabs(number) < kFloatOverflowThreshold)) {
        fail(path, describeNumber(number) + " is outside the 32-bit float range");
    }
    return static_cast<float>(number);
}

std::int64_t readWholeNumber(const json& value, const KeyPath& path) {
    expectType(value, value.is_number(), "a whole number", path);
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(path, std::to_string(number) + " does not fit a 64-bit integer");
        }
        return static_cast<std::int64_t>(number);
    }
    const double number = value.get<double>();
    if (std::trunc(number) != number) {
        fail(path, describeNumber(number) + " is not a whole number");
    }
    // 2^63 is exactly representable; the valid range is [-2^63, 2^63).
    if (number < -9223372036854775808.0 || number >= 9223372036854775808.0) {
        fail(path, describeNumber(number) + " does not fit a 64-bit integer");
    }
    return static_cast<std::int64_t>(number);
}

std::string readString(const json& value, const KeyPath& path) {
    expectType(value, value.is_string(), "a string", path);
    return value.get<std::string>();
}

Uuid readUuid(const json& value, const KeyPath& path) {
    const std::string text = readString(value, path);
    const auto id = Uuid::parse(text);
    if (!id) {
        fail(path, json(text).dump() + " is not a UUID");
    }
    return *id;
}

Pt readPoint(const json& value, const KeyPath& path) {
    const json& object = objectAt(value, path);
    Pt p;
    p.x = readFloat(required(object, "x", path), KeyPath(path, "x"));
    p.y = readFloat(required(object, "y", path), KeyPath(path, "y"));
    return p;
}

std::vector<Pt> readPoints(const json& value, const KeyPath& path) {
    expectType(value, value.is_array(), "an array", path);
    std::vector<Pt> points;
    points.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        points.push_back(readPoint(value[i], KeyPath(path, i)));
    }
    return points;
}

RGBA readColor(const json& value, const KeyPath& path) {
    const json& object = objectAt(value, path);
    RGBA c;
    c.a = readFloat(required(object, "a", path), KeyPath(path, "a"));
    c.b = readFloat(required(object, "b", path), KeyPath(path, "b"));
    c.g = readFloat(required(object, "g", path), KeyPath(path, "g"));
    c.r = readFloat(required(object, "r", path), KeyPath(path, "r"));
    return c;
}

WarpMesh readMesh(const json& value, const KeyPath& path) {
    const json& object = objectAt(value, path);
    WarpMesh mesh;
    mesh.cols = readWholeNumber(required(object, "cols", path), KeyPath(path, "cols"));
    mesh.points = readPoints(required(object, "points", path), KeyPath(path, "points"));
    mesh.rows = readWholeNumber(required(object, "rows", path), KeyPath(path, "rows"));
    return mesh;
}

Surface readSurface(const json& value, const KeyPath& path) {
    const json& object = objectAt(value, path);
    Surface s(readUuid(required(object, "id", path), KeyPath(path, "id")));
    s.color = readColor(required(object, "color", path), KeyPath(path, "color"));
    s.corners = readPoints(required(object, "corners", path), KeyPath(path, "corners"));
    s.feather = readFloat(required(object, "feather", path), KeyPath(path, "feather"));
    const KeyPath kindPath(path, "mediaKind");
    const std::string kindText = readString(required(object, "mediaKind", path), kindPath);
    const auto kind = mediaKindFromText(kindText);
    if (!kind) {
        fail(kindPath, json(kindText).dump() + " is not a media kind");
    }
    s.mediaKind = *kind;
    if (const json* mediaPath = optionalMember(object, "mediaPath")) {
        s.mediaPath = readString(*mediaPath, KeyPath(path, "mediaPath"));
    }
    if (const json* mesh = optionalMember(object, "mesh")) {
        s.mesh = readMesh(*mesh, KeyPath(path, "mesh"));
    }
    s.name = readString(required(object, "name", path), KeyPath(path, "name"));
    s.opacity = readDouble(required(object, "opacity", path), KeyPath(path, "opacity"));
    return s;
}

OutputConfig readOutput(const json& value, const KeyPath& path) {
    const json& object = objectAt(value, path);
    OutputConfig o(readUuid(required(object, "id", path), KeyPath(path, "id")));
    o.blendBottom = readFloat(required(object, "blendBottom", path), KeyPath(path, "blendBottom"));
    o.blendLeft = readFloat(required(object, "blendLeft", path), KeyPath(path, "blendLeft"));
    o.blendRight = readFloat(required(object, "blendRight", path), KeyPath(path, "blendRight"));
    o.blendTop = readFloat(required(object, "blendTop", path), KeyPath(path, "blendTop"));
    o.cropHeight = readFloat(required(object, "cropHeight", path), KeyPath(path, "cropHeight"));
    o.cropWidth = readFloat(required(object, "cropWidth", path), KeyPath(path, "cropWidth"));
    o.cropX = readFloat(required(object, "cropX", path), KeyPath(path, "cropX"));
    o.cropY = readFloat(required(object, "cropY", path), KeyPath(path, "cropY"));
    o.name = readString(required(object, "name", path), KeyPath(path, "name"));
    return o;
}

ProjectFile readDocument(const json& root) {
    if (!root.is_object()) {
        fail(kRoot, "the document is " + typeName(root) + ", not a JSON object");
    }
    ProjectFile file;
    if (const json* background = optionalMember(root, "backgroundImagePath")) {
        file.backgroundImagePath = readString(*background, KeyPath(kRoot, "backgroundImagePath"));
    }
    file.backgroundOpacity =
        readDouble(required(root, "backgroundOpacity", kRoot), KeyPath(kRoot, "backgroundOpacity"));
    file.canvasHeight =
        readDouble(required(root, "canvasHeight", kRoot), KeyPath(kRoot, "canvasHeight"));
    file.canvasWidth =
        readDouble(required(root, "canvasWidth", kRoot), KeyPath(kRoot, "canvasWidth"));

    const json& outputs = required(root, "outputs", kRoot);
    expectType(outputs, outputs.is_array(), "an array", KeyPath(kRoot, "outputs"));
    file.outputs.reserve(outputs.size());
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        file.outputs.push_back(readOutput(outputs[i], KeyPath(KeyPath(kRoot, "outputs"), i)));
    }

    const json& surfaces = required(root, "surfaces", kRoot);
    expectType(surfaces, surfaces.is_array(), "an array", KeyPath(kRoot, "surfaces"));
    file.surfaces.reserve(surfaces.size());
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        file.surfaces.push_back(readSurface(surfaces[i], KeyPath(KeyPath(kRoot, "surfaces"), i)));
    }
    return file;
}

// nlohmann's messages start with "[json.exception.parse_error.101] ".
std::string withoutExceptionTag(const char* what) {
    std::string text(what);
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("] ");
        if (close != std::string::npos) {
            text.erase(0, close + 2);
        }
    }
    return text;
}

// Line and column (1-based) of a byte offset.
std::string lineAndColumn(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The overflow error of a number like 1e400 names the token but not where it
// is; find the token to say where.
std::string describeOutOfRange(std::string_view bytes, const std::string& message) {
    const auto open = message.find('\'');
    const auto close = message.rfind('\'');
    if (open != std::string::npos && close != std::string::npos && close > open + 1) {
        const std::string token = message.substr(open + 1, close - open - 1);
        std::size_t at = bytes.find(token);
        while (at != std::string_view::npos) {
            const bool startsToken =
                at == 0 ||
                std::string_view("-+.0123456789eE").find(bytes[at - 1]) == std::string_view::npos;
            if (startsToken) {
                return "not valid JSON at " + lineAndColumn(bytes, at) + ": the number " + token +
                       " is out of range";
            }
            at = bytes.find(token, at + 1);
        }
    }
    return "not valid JSON: " + message;
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

Result<ProjectFile> readProjectFile(std::string_view bytes) {
    try {
        const json root = json::parse(bytes.begin(), bytes.end());
        return readDocument(root);
    } catch (const ReadError& error) {
        return Result<ProjectFile>::failure(error.description);
    } catch (const json::parse_error& error) {
        return Result<ProjectFile>::failure("not valid JSON: " + withoutExceptionTag(error.what()));
    } catch (const json::out_of_range& error) {
        return Result<ProjectFile>::failure(
            describeOutOfRange(bytes, withoutExceptionTag(error.what())));
    } catch (const json::exception& error) {
        return Result<ProjectFile>::failure("not valid JSON: " + withoutExceptionTag(error.what()));
    } catch (const std::bad_alloc&) {
        return Result<ProjectFile>::failure("out of memory while reading the project");
    }
}

} // namespace prismeta
