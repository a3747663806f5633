#include "core/ProjectFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace prismeta {
namespace {

using nlohmann::json;

// A surface object with every required key, as a file would hold it.
json surfaceObject() {
    return json::parse(R"({
        "color": {"a": 1, "b": 1, "g": 0.6, "r": 0.2},
        "corners": [{"x": 0.25, "y": 0.25}, {"x": 0.75, "y": 0.25},
                    {"x": 0.75, "y": 0.75}, {"x": 0.25, "y": 0.75}],
        "feather": 0,
        "id": "6F9619FF-8B86-D011-B42D-00C04FC964FF",
        "mediaKind": "testPattern",
        "name": "Surface 1",
        "opacity": 1
    })");
}

json outputObject() {
    return json::parse(R"({
        "blendBottom": 0, "blendLeft": 0.1, "blendRight": 0, "blendTop": 0,
        "cropHeight": 1, "cropWidth": 0.5, "cropX": 0.5, "cropY": 0,
        "id": "0E984725-C51C-4BF4-9960-E1C80E27ABA0", "name": "Right Half"
    })");
}

json documentWith(json surfaces, json outputs = json::array()) {
    return json{{"backgroundOpacity", 0.5},
                {"canvasHeight", 1080.0},
                {"canvasWidth", 1920.0},
                {"outputs", std::move(outputs)},
                {"surfaces", std::move(surfaces)}};
}

Result<ProjectFile> read(const json& document) {
    return readProjectFile(document.dump());
}

std::string readError(const json& document) {
    const auto result = read(document);
    EXPECT_FALSE(result.ok()) << document.dump();
    return result.ok() ? std::string() : result.error();
}

TEST(ProjectFileWrite, EmptyProjectHasExactlyFiveKeysInOrder) {
    const auto bytes = writeProjectFile(ProjectFile{});
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes.value(), "{\n"
                             "  \"backgroundOpacity\": 0.5,\n"
                             "  \"canvasHeight\": 1080.0,\n"
                             "  \"canvasWidth\": 1920.0,\n"
                             "  \"outputs\": [],\n"
                             "  \"surfaces\": []\n"
                             "}\n");
}

TEST(ProjectFileWrite, KeysAreSortedInEveryObjectAndAbsentOptionalsLeftOut) {
    ProjectFile file;
    Surface s;
    s.mediaKind = MediaKind::color;
    file.surfaces.push_back(s);
    file.outputs.push_back(makeOutput(OutputPreset::leftHalf));
    const std::string text = writeProjectFile(file).value();
    EXPECT_EQ(text.find("mediaPath"), std::string::npos);
    EXPECT_EQ(text.find("mesh"), std::string::npos);
    EXPECT_EQ(text.find("backgroundImagePath"), std::string::npos);
    EXPECT_EQ(text.find("null"), std::string::npos);

    auto order = [&](std::initializer_list<const char*> keys, std::size_t from = 0) {
        std::size_t last = from;
        for (const char* key : keys) {
            const std::size_t at = text.find(std::string("\"") + key + "\"", last);
            ASSERT_NE(at, std::string::npos) << key;
            last = at;
        }
    };
    order({"a", "b", "g", "r"}, text.find("\"color\""));
    order({"color", "corners", "feather", "id", "mediaKind", "name", "opacity"});
    order({"blendBottom", "blendLeft", "blendRight", "blendTop", "cropHeight", "cropWidth", "cropX",
           "cropY", "id", "name"});

    s.mediaPath = "/clips/a.mov";
    s.mesh = WarpMesh::from(s.corners, 1, 1);
    file.surfaces = {s};
    file.backgroundImagePath = "/ref.png";
    const std::string full = writeProjectFile(file).value();
    EXPECT_LT(full.find("\"backgroundImagePath\""), full.find("\"backgroundOpacity\""));
    EXPECT_LT(full.find("\"mediaKind\""), full.find("\"mediaPath\""));
    EXPECT_LT(full.find("\"mediaPath\""), full.find("\"mesh\""));
    EXPECT_LT(full.find("\"cols\""), full.find("\"points\""));
    EXPECT_LT(full.find("\"points\""), full.find("\"rows\""));
}

TEST(ProjectFileWrite, FloatsUseTheirShortestTextAndTextStaysUnescaped) {
    ProjectFile file;
    Surface s;
    s.feather = 0.2f;
    s.corners[0] = {0.1f, 1.0f / 3.0f};
    s.opacity = 0.29;
    s.name = "Façade / 東 \"west\"";
    s.mediaPath = "/media/clips/a b.mov";
    file.surfaces.push_back(s);
    const std::string text = writeProjectFile(file).value();
    EXPECT_NE(text.find("\"feather\": 0.2,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"x\": 0.1,"), std::string::npos);
    EXPECT_NE(text.find("\"y\": 0.33333334"), std::string::npos);
    EXPECT_NE(text.find("\"opacity\": 0.29"), std::string::npos);
    EXPECT_NE(text.find("Façade / 東 \\\"west\\\""), std::string::npos);
    EXPECT_NE(text.find("\"/media/clips/a b.mov\""), std::string::npos);
}

TEST(ProjectFileWrite, NonFiniteNumbersAndInvalidTextFailTheWholeWrite) {
    const float floatCases[] = {std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity()};
    for (float bad : floatCases) {
        ProjectFile file;
        file.outputs.push_back(OutputConfig());
        file.outputs[0].blendTop = bad;
        const auto result = writeProjectFile(file);
        ASSERT_FALSE(result);
        EXPECT_NE(result.error().find("outputs[0].blendTop"), std::string::npos) << result.error();
    }
    ProjectFile file;
    file.canvasWidth = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(writeProjectFile(file));

    ProjectFile text;
    Surface s;
    s.name = "bad \xff\xfe utf-8";
    text.surfaces.push_back(s);
    EXPECT_FALSE(writeProjectFile(text));
}

TEST(ProjectFileRead, OptionalKeysMayBeMissingOrNullAndUnknownKeysAreIgnored) {
    json s = surfaceObject();
    s["mediaPath"] = nullptr;
    s["mesh"] = nullptr;
    s["futureKey"] = {{"nested", json::array({1, 2, 3})}};
    json doc = documentWith(json::array({s}), json::array({outputObject()}));
    doc["backgroundImagePath"] = nullptr;
    doc["version"] = 7;
    const auto file = read(doc);
    ASSERT_TRUE(file) << file.error();
    EXPECT_FALSE(file->backgroundImagePath);
    ASSERT_EQ(file->surfaces.size(), 1u);
    EXPECT_FALSE(file->surfaces[0].mediaPath);
    EXPECT_FALSE(file->surfaces[0].mesh);
    EXPECT_EQ(file->surfaces[0].id.text(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(file->outputs[0].blendLeft, 0.1f);
    EXPECT_EQ(file->outputs[0].cropX, 0.5f);
}

TEST(ProjectFileRead, PlaybackOnceIsKeptAndAnyOtherValueReadsAsLooping) {
    std::vector<json> surfaces;
    for (const json& value : {json("once"), json("loop"), json("ONCE"), json(3), json::object()}) {
        json s = surfaceObject();
        s["playback"] = value;
        surfaces.push_back(s);
    }
    const auto file = read(documentWith(surfaces));
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file->surfaces[0].playback, VideoPlayback::once);
    for (std::size_t i = 1; i < surfaces.size(); ++i) {
        EXPECT_EQ(file->surfaces[i].playback, VideoPlayback::loop) << surfaces[i].dump();
    }
    // Written only when it plays once.
    const json written = json::parse(writeProjectFile(file.value()).value());
    EXPECT_EQ(written["surfaces"][0]["playback"], "once");
    for (std::size_t i = 1; i < surfaces.size(); ++i) {
        EXPECT_FALSE(written["surfaces"][i].contains("playback"));
    }
}

TEST(ProjectFileRead, LowerCaseIdsAndNonMatchingMeshCountsAreAccepted) {
    json s = surfaceObject();
    s["id"] = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
    s["mesh"] = {{"cols", 3}, {"rows", 3}, {"points", json::array({{{"x", 0}, {"y", 0}}})}};
    s["corners"] = json::array({{{"x", 0}, {"y", 0}}}); // one corner only
    const auto file = read(documentWith(json::array({s})));
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file->surfaces[0].mesh->points.size(), 1u);
    EXPECT_EQ(file->surfaces[0].corners.size(), 1u);
}

TEST(ProjectFileRead, WholeNumbersForMeshCounts) {
    auto withCols = [](json cols) {
        json s = surfaceObject();
        s["mesh"] = {{"cols", cols}, {"rows", 1}, {"points", json::array()}};
        return documentWith(json::array({s}));
    };
    EXPECT_EQ(read(withCols(3.0))->surfaces[0].mesh->cols, 3);
    EXPECT_EQ(read(withCols(-4))->surfaces[0].mesh->cols, -4);
    EXPECT_EQ(read(withCols(INT64_MAX))->surfaces[0].mesh->cols, INT64_MAX);
    EXPECT_EQ(read(withCols(INT64_MIN))->surfaces[0].mesh->cols, INT64_MIN);
    EXPECT_NE(readError(withCols(3.5)).find("surfaces[0].mesh.cols"), std::string::npos);
    EXPECT_NE(readError(withCols(1e30)).find("64-bit"), std::string::npos);
    EXPECT_NE(readError(withCols(std::uint64_t{1} << 63)).find("64-bit"), std::string::npos);
    EXPECT_NE(readError(withCols("3")).find("expected a whole number"), std::string::npos);
}

// Counts are judged by the digits of the token, not by the double nearest to
// it: a double cannot tell 9223372036854775807.0 from 2^63.
TEST(ProjectFileRead, MeshCountsAreJudgedByTheirDigitsAsWritten) {
    auto withCols = [](std::string_view token) {
        return R"({"backgroundOpacity": 0.5, "canvasHeight": 1, "canvasWidth": 1, "outputs": [],
            "surfaces": [{"color": {"a": 1, "b": 1, "g": 1, "r": 1}, "corners": [], "feather": 0,
            "id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "mediaKind": "color", "name": "",
            "opacity": 1, "mesh": {"cols": )" +
               std::string(token) + R"(, "rows": 1, "points": []}}]})";
    };
    const std::pair<const char*, std::int64_t> whole[] = {
        {"9223372036854775807.0", INT64_MAX},
        {"-9223372036854775808.0", INT64_MIN},
        {"9.223372036854775807e18", INT64_MAX},
        {"92233720368547758070e-1", INT64_MAX},
        {"1e2", 100},
        {"1.5E1", 15},
        {"300e-2", 3},
        {"-0.0", 0},
        {"0e99999999999999999999", 0},
        {"7.000000000000000000000000", 7},
    };
    for (const auto& [token, value] : whole) {
        const auto file = readProjectFile(withCols(token));
        ASSERT_TRUE(file) << token << ": " << file.error();
        EXPECT_EQ(file->surfaces[0].mesh->cols, value) << token;
    }
    const std::pair<const char*, const char*> refused[] = {
        {"-9223372036854775809", "-9223372036854775809 does not fit a 64-bit integer"},
        {"9223372036854775808.0", "9223372036854775808.0 does not fit a 64-bit integer"},
        {"1e19", "1e19 does not fit a 64-bit integer"},
        {"3.0000000000000000001", "3.0000000000000000001 is not a whole number"},
        {"1e-400", "1e-400 is not a whole number"},
        {"25e-1", "25e-1 is not a whole number"},
    };
    for (const auto& [token, problem] : refused) {
        const auto file = readProjectFile(withCols(token));
        ASSERT_FALSE(file) << token;
        EXPECT_EQ(file.error(), std::string("surfaces[0].mesh.cols: ") + problem);
    }
    // A number of a million digits is named by its ends.
    const std::string huge = "0." + std::string(1'000'000, '0') + "1";
    const auto file = readProjectFile(withCols(huge));
    ASSERT_FALSE(file);
    EXPECT_LT(file.error().size(), 120u);
    EXPECT_NE(file.error().find("is not a whole number"), std::string::npos);
}

TEST(ProjectFileRead, ThirtyTwoBitFieldsRejectMagnitudesBeyondTheFloatRange) {
    json o = outputObject();
    o["cropX"] = 1e39;
    EXPECT_NE(readError(documentWith(json::array(), json::array({o}))).find("outputs[0].cropX"),
              std::string::npos);
    o["cropX"] = -3.5e38;
    EXPECT_FALSE(read(documentWith(json::array(), json::array({o}))));
    o["cropX"] = static_cast<double>(std::numeric_limits<float>::max());
    EXPECT_TRUE(read(documentWith(json::array(), json::array({o}))));
    // The largest float's shortest text reads as a double a little above it;
    // it still rounds to that float, so it must read back.
    o["cropX"] = 3.4028235e38;
    EXPECT_EQ(read(documentWith(json::array(), json::array({o})))->outputs[0].cropX,
              std::numeric_limits<float>::max());
    o["cropX"] = -3.4028236e38; // rounds to infinity
    EXPECT_FALSE(read(documentWith(json::array(), json::array({o}))));
    o["cropX"] = 1e-50; // underflows to zero: still a number in range
    EXPECT_EQ(read(documentWith(json::array(), json::array({o})))->outputs[0].cropX, 0.0f);

    // 64-bit fields take any finite double.
    json doc = documentWith(json::array());
    doc["canvasWidth"] = 1e308;
    EXPECT_EQ(read(doc)->canvasWidth, 1e308);
}

TEST(ProjectFileRead, EveryFailureNamesWhereAndWhat) {
    struct Case {
        const char* name;
        json document;
        const char* expected;
    };
    json missingFeather = surfaceObject();
    missingFeather.erase("feather");
    json capitalKind = surfaceObject();
    capitalKind["mediaKind"] = "Video";
    json badId = surfaceObject();
    badId["id"] = "not-a-uuid";
    json numberName = surfaceObject();
    numberName["name"] = 5;
    json badCorner = surfaceObject();
    badCorner["corners"][2] = {{"x", "0.5"}, {"y", 0}};
    json cornersObject = surfaceObject();
    cornersObject["corners"] = json::object();
    json colorMissing = surfaceObject();
    colorMissing["color"].erase("g");
    json nullRequired = surfaceObject();
    nullRequired["opacity"] = nullptr;
    json meshMissingRows = surfaceObject();
    meshMissingRows["mesh"] = {{"cols", 1}, {"points", json::array()}};
    json pathNumber = surfaceObject();
    pathNumber["mediaPath"] = 3;
    json noOutputs = documentWith(json::array());
    noOutputs.erase("outputs");

    const Case cases[] = {
        {"missing feather", documentWith(json::array({surfaceObject(), missingFeather})),
         "surfaces[1]: missing required key \"feather\""},
        {"capital media kind", documentWith(json::array({surfaceObject(), capitalKind})),
         "surfaces[1].mediaKind: \"Video\" is not a media kind"},
        {"bad id", documentWith(json::array({badId})),
         "surfaces[0].id: \"not-a-uuid\" is not a UUID"},
        {"name number", documentWith(json::array({numberName})),
         "surfaces[0].name: expected a string, found a number"},
        {"corner string", documentWith(json::array({badCorner})),
         "surfaces[0].corners[2].x: expected a number, found a string"},
        {"corners object", documentWith(json::array({cornersObject})),
         "surfaces[0].corners: expected an array, found an object"},
        {"colour channel", documentWith(json::array({colorMissing})),
         "surfaces[0].color: missing required key \"g\""},
        {"null required", documentWith(json::array({nullRequired})),
         "surfaces[0].opacity: expected a number, found null"},
        {"mesh rows", documentWith(json::array({meshMissingRows})),
         "surfaces[0].mesh: missing required key \"rows\""},
        {"path number", documentWith(json::array({pathNumber})),
         "surfaces[0].mediaPath: expected a string, found a number"},
        {"no outputs", noOutputs, "missing required key \"outputs\""},
        {"array root", json::array(), "the document is an array, not a JSON object"},
        {"surface not object", documentWith(json::array({1})),
         "surfaces[0]: expected an object, found a number"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readError(c.document), c.expected) << c.name;
    }
}

// The file is read in one pass, yet the problem reported is the one a check
// of the finished document in key order would find first.
TEST(ProjectFileRead, ProblemsRankByKeyOrderWhereverTheyStandInTheText) {
    const std::string good = surfaceObject().dump();
    auto document = [](const std::string& surfaces, const std::string& tail = "}") {
        return R"({"backgroundOpacity": 0.5, "canvasHeight": 1, "canvasWidth": 1, "outputs": [],
            "surfaces": [)" +
               surfaces + "]" + tail;
    };
    auto withFirst = [&](const std::string& members) {
        return "{" + members + "," + good.substr(1);
    };
    auto errorOf = [](const std::string& text) {
        const auto file = readProjectFile(text);
        return file ? std::string("read") : file.error();
    };
    // A wrong opacity written before a bad id: the id is checked first.
    EXPECT_EQ(errorOf(document(R"({"opacity": "x", "id": "bad", "color": {}, "corners": 1})")),
              "surfaces[0].id: \"bad\" is not a UUID");
    // Of duplicate keys only the last counts, problems included.
    EXPECT_EQ(errorOf(document(withFirst(R"("color": 5, "corners": {})"))), "read");
    EXPECT_EQ(errorOf(document(good.substr(0, good.size() - 1) + R"(, "feather": "x"})")),
              "surfaces[0].feather: expected a number, found a string");
    EXPECT_EQ(errorOf(document(withFirst(R"("mesh": {"cols": 1}, "mesh": null)"))), "read");
    EXPECT_EQ(errorOf(document(withFirst(R"("mesh": null, "mesh": 5)"))),
              "surfaces[0].mesh: expected an object, found a number");
    // The first failing element of an array, whatever fails in later ones.
    json numberName = surfaceObject();
    numberName["name"] = 1;
    EXPECT_EQ(errorOf(document(good + "," + numberName.dump() + ", 7")),
              "surfaces[1].name: expected a string, found a number");
    // Text that is not JSON wins over any problem before it.
    const std::string broken = errorOf(document(withFirst(R"("id": "bad")"), "} trailing"));
    EXPECT_EQ(broken.rfind("not valid JSON: ", 0), 0u) << broken;
    EXPECT_NE(broken.find("syntax error"), std::string::npos) << broken;
    EXPECT_NE(errorOf(document("[1", "")).find("not valid JSON"), std::string::npos);
}

TEST(ProjectFileRead, TextThatIsNotJsonGivesLineAndColumn) {
    auto failure = [](std::string_view text) {
        const auto result = readProjectFile(text);
        EXPECT_FALSE(result);
        return result.ok() ? std::string() : result.error();
    };
    EXPECT_NE(failure("{\n  \"canvasWidth\": 1920,\n  oops\n}").find("line 3, column"),
              std::string::npos);
    EXPECT_NE(failure("").find("not valid JSON"), std::string::npos);
    EXPECT_NE(failure("{\"a\": 1").find("not valid JSON"), std::string::npos);
    // A number too large for a double is reported with its place, too.
    const std::string overflow = failure("{\n \"canvasWidth\": 1e400}");
    EXPECT_NE(overflow.find("line 2, column 17"), std::string::npos) << overflow;
    EXPECT_NE(overflow.find("1e400"), std::string::npos) << overflow;
    EXPECT_NE(failure("{\"x\": \"\xff\"}").find("not valid JSON"), std::string::npos);
}

TEST(ProjectFileRead, DuplicateKeysKeepTheLast) {
    const std::string text = R"({"backgroundOpacity": 0.1, "backgroundOpacity": 0.7,
        "canvasHeight": 1, "canvasWidth": 2, "outputs": [], "surfaces": [], "surfaces": []})";
    const auto file = readProjectFile(text);
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file->backgroundOpacity, 0.7);
}

TEST(ProjectFileRead, DeeplyNestedUnknownValuesDoNotOverflowTheStack) {
    const int depth = 100000;
    std::string text = R"({"backgroundOpacity": 0.5, "canvasHeight": 1, "canvasWidth": 2,
        "outputs": [], "surfaces": [], "junk": )";
    text.append(depth, '[');
    text.append(depth, ']');
    text += "}";
    const auto file = readProjectFile(text);
    // Either reading it or refusing it is fine; crashing is not.
    if (!file) {
        EXPECT_FALSE(file.error().empty());
    }
}

// ---------------------------------------------------------------- round trips

float oddFloat(std::mt19937& rng) {
    switch (rng() % 6) {
    case 0:
        return std::uniform_real_distribution<float>(-2.0f, 2.0f)(rng);
    case 1:
        return std::numeric_limits<float>::denorm_min() * static_cast<float>(rng() % 100);
    case 2:
        return std::numeric_limits<float>::max() / static_cast<float>(1 + rng() % 3);
    case 3:
        return -0.0f;
    case 4: {
        std::uint32_t bits = rng();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return std::isfinite(f) ? f : 1.5f;
    }
    default:
        return static_cast<float>(rng() % 17) / 16.0f;
    }
}

std::string oddText(std::mt19937& rng) {
    static const char* pieces[] = {"",   "Surface", " ",  "é",  "東京", "🎥",   "\"",
                                   "\\", "/",       "\t", "\n", "copy", "\x01"};
    std::string text;
    const int n = static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) {
        text += pieces[rng() % std::size(pieces)];
    }
    return text;
}

ProjectFile randomProject(std::mt19937& rng) {
    ProjectFile file;
    file.canvasWidth = std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
    file.canvasHeight = rng() % 2 ? 1080.0 : 1.0 / 3.0;
    file.backgroundOpacity = std::uniform_real_distribution<double>(0, 1)(rng);
    if (rng() % 2) {
        file.backgroundImagePath = "/ref/" + oddText(rng) + ".png";
    }
    const int surfaces = static_cast<int>(rng() % 6);
    for (int i = 0; i < surfaces; ++i) {
        Surface s;
        s.name = oddText(rng);
        s.corners.resize(rng() % 7);
        for (Pt& p : s.corners) {
            p = {oddFloat(rng), oddFloat(rng)};
        }
        if (rng() % 2) {
            WarpMesh mesh;
            mesh.cols = static_cast<std::int64_t>(rng() % 9) - 2;
            mesh.rows = rng() % 3 == 0 ? INT64_MIN : static_cast<std::int64_t>(rng() % 5);
            mesh.points.resize(rng() % 30);
            for (Pt& p : mesh.points) {
                p = {oddFloat(rng), oddFloat(rng)};
            }
            s.mesh = mesh;
        }
        s.mediaKind = allMediaKinds[rng() % 4];
        s.color = {oddFloat(rng), oddFloat(rng), oddFloat(rng), oddFloat(rng)};
        if (rng() % 2) {
            s.mediaPath = rng() % 4 ? "/media/" + oddText(rng) : std::string();
        }
        s.opacity = std::uniform_real_distribution<double>(-1, 2)(rng);
        s.feather = oddFloat(rng);
        file.surfaces.push_back(s);
    }
    const int outputs = static_cast<int>(rng() % 4);
    for (int i = 0; i < outputs; ++i) {
        OutputConfig o = makeOutput(allOutputPresets[rng() % 5]);
        o.name = oddText(rng);
        o.blendLeft = oddFloat(rng);
        o.blendRight = oddFloat(rng);
        o.blendTop = oddFloat(rng);
        o.blendBottom = oddFloat(rng);
        o.cropX = oddFloat(rng);
        if (rng() % 3 == 0) {
            // Within their ranges: outside them they are written clamped.
            o.blendCurve = std::uniform_real_distribution<float>(0.5f, 4.0f)(rng);
            o.blendGamma = std::uniform_real_distribution<float>(1.0f, 3.0f)(rng);
            o.blackLevel.g = std::uniform_real_distribution<float>(0.0f, 0.2f)(rng);
        }
        if (rng() % 3 == 0) {
            const int size = static_cast<int>(rng() % 4000) + 1;
            o.display = OutputDisplay{"DP-" + oddText(rng),
                                      {static_cast<int>(rng() % 8000) - 4000, -size, size, size},
                                      rng() % 2 == 0};
        }
        file.outputs.push_back(o);
    }
    return file;
}

TEST(ProjectFileRoundTrip, RandomProjectsReadBackEqualAndRewriteToTheSameBytes) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 400; ++i) {
        const ProjectFile original = randomProject(rng);
        const auto bytes = writeProjectFile(original);
        ASSERT_TRUE(bytes) << bytes.error();
        const auto back = readProjectFile(bytes.value());
        ASSERT_TRUE(back) << back.error() << "\n" << bytes.value();
        // -0.0 and 0.0 compare equal as floats, so plain equality is the rule.
        EXPECT_EQ(back.value(), original) << bytes.value();
        const auto again = writeProjectFile(back.value());
        ASSERT_TRUE(again);
        EXPECT_EQ(again.value(), bytes.value());
    }
}

// The writer writes text itself: its bytes must be the JSON library's own
// dump of the same document, whatever the values (escapes, the shortest forms
// of doubles, exponents, empty lists), as files have always been written.
TEST(ProjectFileRoundTrip, TheTextIsTheJsonLibrarysOwnLayoutOfIt) {
    std::mt19937 rng(20261209);
    for (int i = 0; i < 400; ++i) {
        const ProjectFile file = randomProject(rng);
        const std::string text = writeProjectFile(file).value();
        EXPECT_EQ(text, json::parse(text).dump(2) + "\n");
    }
}

TEST(ProjectFileWrite, AProblemIsReportedAsBeforeWhereSeveralAreFound) {
    ProjectFile file;
    Surface s;
    s.name = "bad \xC3\x28 utf-8";
    s.color.a = std::numeric_limits<float>::quiet_NaN();
    s.color.r = std::numeric_limits<float>::infinity();
    file.surfaces.push_back(s);
    // Numbers first, the colour's channels in the order r, g, b, a.
    auto result = writeProjectFile(file);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "surfaces[0].color.r: inf is not a finite number");
    file.surfaces[0].color = {};
    result = writeProjectFile(file);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "a text is not valid UTF-8 (invalid UTF-8 byte at index 5: 0x28)");
}

TEST(ProjectFileRoundTrip, ForeignLayoutNormalisesToAStableText) {
    // Compact, unsorted, integers where floats are due, mixed-case id.
    const std::string foreign =
        R"({"surfaces":[{"opacity":1,"name":"A","mediaKind":"color","id":"6f9619ff-8b86-d011-b42d-00c04fc964ff",)"
        R"("feather":0.1,"corners":[{"y":0,"x":1}],"color":{"r":1,"g":0,"b":0,"a":1}}],)"
        R"("outputs":[],"canvasWidth":1280,"canvasHeight":800,"backgroundOpacity":0.3})";
    const auto file = readProjectFile(foreign);
    ASSERT_TRUE(file) << file.error();
    const std::string once = writeProjectFile(file.value()).value();
    const std::string twice = writeProjectFile(readProjectFile(once).value()).value();
    EXPECT_EQ(once, twice);
    EXPECT_NE(once.find("\"canvasWidth\": 1280.0"), std::string::npos);
    EXPECT_NE(once.find("\"feather\": 0.1,"), std::string::npos);
    EXPECT_NE(once.find("6F9619FF-8B86-D011-B42D-00C04FC964FF"), std::string::npos);
}

} // namespace
} // namespace prismeta
