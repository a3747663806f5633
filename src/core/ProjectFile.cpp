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

std::string join(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string indexed(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

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
json floatValue(float value, const std::string& path) {
    if (!std::isfinite(value)) {
        throw WriteError{path + ": " + describeNumber(value) + " is not a finite number"};
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
    *result.ptr = '\0';
    return json(std::strtod(buffer, nullptr));
}

json doubleValue(double value, const std::string& path) {
    if (!std::isfinite(value)) {
        throw WriteError{path + ": " + describeNumber(value) + " is not a finite number"};
    }
    return json(value);
}

json pointValue(const Pt& p, const std::string& path) {
    json object = json::object();
    object["x"] = floatValue(p.x, join(path, "x"));
    object["y"] = floatValue(p.y, join(path, "y"));
    return object;
}

json pointsValue(const std::vector<Pt>& points, const std::string& path) {
    json array = json::array();
    array.get_ref<json::array_t&>().reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        array.push_back(pointValue(points[i], indexed(path, i)));
    }
    return array;
}

json surfaceValue(const Surface& s, const std::string& path) {
    json object = json::object();
    json color = json::object();
    color["r"] = floatValue(s.color.r, join(path, "color.r"));
    color["g"] = floatValue(s.color.g, join(path, "color.g"));
    color["b"] = floatValue(s.color.b, join(path, "color.b"));
    color["a"] = floatValue(s.color.a, join(path, "color.a"));
    object["color"] = std::move(color);
    object["corners"] = pointsValue(s.corners, join(path, "corners"));
    object["feather"] = floatValue(s.feather, join(path, "feather"));
    object["id"] = s.id.text();
    object["mediaKind"] = std::string(mediaKindText(s.mediaKind));
    if (s.mediaPath) {
        object["mediaPath"] = *s.mediaPath;
    }
    if (s.mesh) {
        json mesh = json::object();
        mesh["cols"] = s.mesh->cols;
        mesh["rows"] = s.mesh->rows;
        mesh["points"] = pointsValue(s.mesh->points, join(path, "mesh.points"));
        object["mesh"] = std::move(mesh);
    }
    object["name"] = s.name;
    object["opacity"] = doubleValue(s.opacity, join(path, "opacity"));
    return object;
}

json outputValue(const OutputConfig& o, const std::string& path) {
    json object = json::object();
    object["blendBottom"] = floatValue(o.blendBottom, join(path, "blendBottom"));
    object["blendLeft"] = floatValue(o.blendLeft, join(path, "blendLeft"));
    object["blendRight"] = floatValue(o.blendRight, join(path, "blendRight"));
    object["blendTop"] = floatValue(o.blendTop, join(path, "blendTop"));
    object["cropHeight"] = floatValue(o.cropHeight, join(path, "cropHeight"));
    object["cropWidth"] = floatValue(o.cropWidth, join(path, "cropWidth"));
    object["cropX"] = floatValue(o.cropX, join(path, "cropX"));
    object["cropY"] = floatValue(o.cropY, join(path, "cropY"));
    object["id"] = o.id.text();
    object["name"] = o.name;
    return object;
}

// ---------------------------------------------------------------- reading

struct ReadError {
    std::string description;
};

[[noreturn]] void fail(const std::string& path, const std::string& problem) {
    throw ReadError{path.empty() ? problem : path + ": " + problem};
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

void expectType(const json& value, bool ok, const char* expected, const std::string& path) {
    if (!ok) {
        fail(path, std::string("expected ") + expected + ", found " + typeName(value));
    }
}

const json& objectAt(const json& value, const std::string& path) {
    expectType(value, value.is_object(), "an object", path);
    return value;
}

// The member for a required key; a missing key fails the read.
const json& required(const json& object, const char* key, const std::string& path) {
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

double readDouble(const json& value, const std::string& path) {
    expectType(value, value.is_number(), "a number", path);
    return value.get<double>();
}

// Halfway between the largest float and 2^128: every double below it in
// magnitude rounds to a finite float, every double from it up to infinity.
// Comparing against the largest float itself would refuse its own shortest
// text, 3.4028235e+38, which reads as a double just above it.
constexpr double kFloatOverflowThreshold = 3.4028235677973366e38;

float readFloat(const json& value, const std::string& path) {
    const double number = readDouble(value, path);
    if (!(std::fabs(number) < kFloatOverflowThreshold)) {
        fail(path, describeNumber(number) + " is outside the 32-bit float range");
    }
    return static_cast<float>(number);
}

std::int64_t readWholeNumber(const json& value, const std::string& path) {
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

std::string readString(const json& value, const std::string& path) {
    expectType(value, value.is_string(), "a string", path);
    return value.get<std::string>();
}

Uuid readUuid(const json& value, const std::string& path) {
    const std::string text = readString(value, path);
    const auto id = Uuid::parse(text);
    if (!id) {
        fail(path, json(text).dump() + " is not a UUID");
    }
    return *id;
}

Pt readPoint(const json& value, const std::string& path) {
    const json& object = objectAt(value, path);
    Pt p;
    p.x = readFloat(required(object, "x", path), join(path, "x"));
    p.y = readFloat(required(object, "y", path), join(path, "y"));
    return p;
}

std::vector<Pt> readPoints(const json& value, const std::string& path) {
    expectType(value, value.is_array(), "an array", path);
    std::vector<Pt> points;
    points.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        points.push_back(readPoint(value[i], indexed(path, i)));
    }
    return points;
}

RGBA readColor(const json& value, const std::string& path) {
    const json& object = objectAt(value, path);
    RGBA c;
    c.a = readFloat(required(object, "a", path), join(path, "a"));
    c.b = readFloat(required(object, "b", path), join(path, "b"));
    c.g = readFloat(required(object, "g", path), join(path, "g"));
    c.r = readFloat(required(object, "r", path), join(path, "r"));
    return c;
}

WarpMesh readMesh(const json& value, const std::string& path) {
    const json& object = objectAt(value, path);
    WarpMesh mesh;
    mesh.cols = readWholeNumber(required(object, "cols", path), join(path, "cols"));
    mesh.points = readPoints(required(object, "points", path), join(path, "points"));
    mesh.rows = readWholeNumber(required(object, "rows", path), join(path, "rows"));
    return mesh;
}

Surface readSurface(const json& value, const std::string& path) {
    const json& object = objectAt(value, path);
    Surface s(readUuid(required(object, "id", path), join(path, "id")));
    s.color = readColor(required(object, "color", path), join(path, "color"));
    s.corners = readPoints(required(object, "corners", path), join(path, "corners"));
    s.feather = readFloat(required(object, "feather", path), join(path, "feather"));
    const std::string kindPath = join(path, "mediaKind");
    const std::string kindText = readString(required(object, "mediaKind", path), kindPath);
    const auto kind = mediaKindFromText(kindText);
    if (!kind) {
        fail(kindPath, json(kindText).dump() + " is not a media kind");
    }
    s.mediaKind = *kind;
    if (const json* mediaPath = optionalMember(object, "mediaPath")) {
        s.mediaPath = readString(*mediaPath, join(path, "mediaPath"));
    }
    if (const json* mesh = optionalMember(object, "mesh")) {
        s.mesh = readMesh(*mesh, join(path, "mesh"));
    }
    s.name = readString(required(object, "name", path), join(path, "name"));
    s.opacity = readDouble(required(object, "opacity", path), join(path, "opacity"));
    return s;
}

OutputConfig readOutput(const json& value, const std::string& path) {
    const json& object = objectAt(value, path);
    OutputConfig o(readUuid(required(object, "id", path), join(path, "id")));
    o.blendBottom = readFloat(required(object, "blendBottom", path), join(path, "blendBottom"));
    o.blendLeft = readFloat(required(object, "blendLeft", path), join(path, "blendLeft"));
    o.blendRight = readFloat(required(object, "blendRight", path), join(path, "blendRight"));
    o.blendTop = readFloat(required(object, "blendTop", path), join(path, "blendTop"));
    o.cropHeight = readFloat(required(object, "cropHeight", path), join(path, "cropHeight"));
    o.cropWidth = readFloat(required(object, "cropWidth", path), join(path, "cropWidth"));
    o.cropX = readFloat(required(object, "cropX", path), join(path, "cropX"));
    o.cropY = readFloat(required(object, "cropY", path), join(path, "cropY"));
    o.name = readString(required(object, "name", path), join(path, "name"));
    return o;
}

ProjectFile readDocument(const json& root) {
    if (!root.is_object()) {
        fail("", "the document is " + typeName(root) + ", not a JSON object");
    }
    ProjectFile file;
    if (const json* background = optionalMember(root, "backgroundImagePath")) {
        file.backgroundImagePath = readString(*background, "backgroundImagePath");
    }
    file.backgroundOpacity =
        readDouble(required(root, "backgroundOpacity", ""), "backgroundOpacity");
    file.canvasHeight = readDouble(required(root, "canvasHeight", ""), "canvasHeight");
    file.canvasWidth = readDouble(required(root, "canvasWidth", ""), "canvasWidth");

    const json& outputs = required(root, "outputs", "");
    expectType(outputs, outputs.is_array(), "an array", "outputs");
    file.outputs.reserve(outputs.size());
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        file.outputs.push_back(readOutput(outputs[i], indexed("outputs", i)));
    }

    const json& surfaces = required(root, "surfaces", "");
    expectType(surfaces, surfaces.is_array(), "an array", "surfaces");
    file.surfaces.reserve(surfaces.size());
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        file.surfaces.push_back(readSurface(surfaces[i], indexed("surfaces", i)));
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
        root["backgroundOpacity"] = doubleValue(file.backgroundOpacity, "backgroundOpacity");
        root["canvasHeight"] = doubleValue(file.canvasHeight, "canvasHeight");
        root["canvasWidth"] = doubleValue(file.canvasWidth, "canvasWidth");
        json outputs = json::array();
        for (std::size_t i = 0; i < file.outputs.size(); ++i) {
            outputs.push_back(outputValue(file.outputs[i], indexed("outputs", i)));
        }
        root["outputs"] = std::move(outputs);
        json surfaces = json::array();
        surfaces.get_ref<json::array_t&>().reserve(file.surfaces.size());
        for (std::size_t i = 0; i < file.surfaces.size(); ++i) {
            surfaces.push_back(surfaceValue(file.surfaces[i], indexed("surfaces", i)));
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
