#include "HostileProjects.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>

namespace prismeta::testing {

using nlohmann::json;

namespace {

json point(double x, double y) {
    return {{"x", x}, {"y", y}};
}

json corners(int count) {
    const double xs[] = {0.25, 0.75, 0.75, 0.25, 0.5, 0.1};
    const double ys[] = {0.25, 0.25, 0.75, 0.75, 0.9, 0.1};
    json list = json::array();
    for (int i = 0; i < count; ++i) {
        list.push_back(point(xs[i % 6], ys[i % 6]));
    }
    return list;
}

json surface(const char* id, json cornerList = corners(4)) {
    return {{"color", {{"a", 1}, {"b", 1}, {"g", 0.6}, {"r", 0.2}}},
            {"corners", std::move(cornerList)},
            {"feather", 0},
            {"id", id},
            {"mediaKind", "testPattern"},
            {"name", "Surface"},
            {"opacity", 1}};
}

json meshed(json cols, json rows, std::size_t points) {
    json s = surface("8E5B3C3A-6C6E-4A63-9A57-2C2B8F3C7D01");
    json list = json::array();
    for (std::size_t i = 0; i < points; ++i) {
        list.push_back(point(0.25 + 0.01 * static_cast<double>(i % 50), 0.5));
    }
    s["mesh"] = {{"cols", std::move(cols)}, {"rows", std::move(rows)}, {"points", std::move(list)}};
    return s;
}

json document(json surfaces, json outputs = json::array()) {
    return {{"backgroundOpacity", 0.5},
            {"canvasHeight", 1080.0},
            {"canvasWidth", 1920.0},
            {"outputs", std::move(outputs)},
            {"surfaces", std::move(surfaces)}};
}

json output(double cropWidth, double blend) {
    return {{"blendBottom", blend},
            {"blendLeft", blend},
            {"blendRight", blend},
            {"blendTop", blend},
            {"cropHeight", 1},
            {"cropWidth", cropWidth},
            {"cropX", 0},
            {"cropY", 0},
            {"id", "0E984725-C51C-4BF4-9960-E1C80E27ABA0"},
            {"name", "Out"}};
}

} // namespace

std::vector<HostileProject> hostileProjects() {
    std::vector<HostileProject> list;
    auto add = [&](std::string name, const json& doc) {
        list.push_back({std::move(name), doc.dump(), true});
    };
    auto addText = [&](std::string name, std::string bytes, bool mustLoad) {
        list.push_back({std::move(name), std::move(bytes), mustLoad});
    };

    // Meshes whose counts and points disagree, or whose counts are absurd.
    const std::int64_t big = std::int64_t{1} << 40;
    add("huge mesh counts", document(json::array({meshed(big, big, 4)})));
    add("max mesh counts", document(json::array({meshed(INT64_MAX, INT64_MAX, 1)})));
    add("counts overflowing 6*cols*rows",
        document(json::array({meshed(std::int64_t{1} << 31, std::int64_t{1} << 31, 16)})));
    add("negative mesh counts", document(json::array({meshed(-3, -7, 16)})));
    add("minimum mesh counts", document(json::array({meshed(INT64_MIN, 1, 0)})));
    add("zero mesh counts", document(json::array({meshed(0, 0, 1)})));
    add("too few mesh points", document(json::array({meshed(3, 3, 15)})));
    add("too many mesh points", document(json::array({meshed(2, 2, 400)})));
    add("large valid mesh", document(json::array({meshed(60, 60, 61 * 61)})));

    // Corner counts other than four.
    for (int n : {0, 1, 3, 5}) {
        add(std::to_string(n) + " corners",
            document(json::array({surface("6F9619FF-8B86-D011-B42D-00C04FC964FF", corners(n))})));
    }

    // Numbers that make later arithmetic overflow or divide by zero.
    json extreme = surface("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                           json::array({point(-3e38, -3e38), point(3e38, -3e38), point(3e38, 3e38),
                                        point(-3e38, 3e38)}));
    add("corners at the float limits", document(json::array({extreme})));
    json collapsed =
        surface("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                json::array({point(0.5, 0.5), point(0.5, 0.5), point(0.5, 0.5), point(0.5, 0.5)}));
    add("all corners in one point", document(json::array({collapsed})));
    json hugeCanvas = document(json::array({surface("6F9619FF-8B86-D011-B42D-00C04FC964FF")}),
                               json::array({output(1, 0.2)}));
    hugeCanvas["canvasWidth"] = 1e308;
    hugeCanvas["canvasHeight"] = -1e308;
    add("1e308 canvas", hugeCanvas);
    json zeroCanvas = document(json::array());
    zeroCanvas["canvasWidth"] = 0;
    add("zero canvas", zeroCanvas);
    add("zero-width crop and huge blends",
        document(json::array({surface("6F9619FF-8B86-D011-B42D-00C04FC964FF")}),
                 json::array({output(0, 3e38)})));
    add("negative crop", document(json::array({surface("6F9619FF-8B86-D011-B42D-00C04FC964FF")}),
                                  json::array({output(-1, -0.5)})));
    json blendCurve = output(0.5, 0.3);
    blendCurve["blendCurve"] = "NaN";
    blendCurve["blendGamma"] = 1e308;
    blendCurve["blackLevel"] = {{"r", -1e300}, {"g", json::array({1})}, {"b", 3e38}};
    add("blend curve, gamma and black level of every odd kind",
        document(json::array({surface("6F9619FF-8B86-D011-B42D-00C04FC964FF")}),
                 json::array({blendCurve})));
    json wild = surface("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    wild["opacity"] = -1e300;
    wild["feather"] = 3e38;
    wild["color"] = {{"a", -3e38}, {"b", 3e38}, {"g", 0}, {"r", -0.0}};
    add("opacity, feather and colour out of range", document(json::array({wild})));

    // Identity and text.
    json twinA = surface("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    json twinB = surface("6f9619ff-8b86-d011-b42d-00c04fc964ff");
    twinB["mediaKind"] = "image";
    twinB["mediaPath"] = "/nonexistent/twin.png";
    add("two surfaces sharing one id", document(json::array({twinA, twinB})));
    json longName = surface("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    longName["name"] = std::string(50u << 20, 'n');
    add("50 MB name", document(json::array({longName})));
    json odd = surface("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    odd["name"] = "\xF0\x9F\x8E\xA5 \xE6\x9D\xB1 \u0001\t";
    odd["mediaKind"] = "video";
    odd["mediaPath"] = "";
    add("odd text and empty path", document(json::array({odd})));

    // Layouts that are not plain JSON objects of the right shape.
    const std::string plain = document(json::array()).dump();
    addText("byte-order mark", "\xEF\xBB\xBF" + plain, true);
    addText("duplicate keys", R"({"surfaces": 5, "surfaces": [], "outputs": [], "canvasWidth": 1,
        "canvasHeight": 1, "backgroundOpacity": 0, "backgroundOpacity": 1})",
            true);
    std::string nested = plain.substr(0, plain.size() - 1) + ", \"deep\": ";
    nested.append(100000, '[');
    nested.append(100000, ']');
    nested += "}";
    addText("100,000 levels of nesting", nested, true);
    addText("empty file", "", false);
    addText("only whitespace", " \n\t ", false);
    addText("invalid UTF-8 in a name",
            R"({"surfaces": [], "outputs": [], "canvasWidth": 1, "canvasHeight": 1,
            "backgroundOpacity": 0, "backgroundImagePath": ")"
            "\xC3\x28"
            R"("})",
            false);
    addText("truncated", plain.substr(0, plain.size() / 2), false);
    addText("nul bytes", std::string("{\0}", 3), false);
    json floatOverflow = document(json::array({surface("6F9619FF-8B86-D011-B42D-00C04FC964FF")}));
    floatOverflow["surfaces"][0]["feather"] = 1e39;
    addText("32-bit field beyond the float range", floatOverflow.dump(), false);
    addText("number beyond double range", R"({"canvasWidth": 1e999})", false);
    addText("array at the top", "[]", false);
    return list;
}

} // namespace prismeta::testing
