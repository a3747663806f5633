// An output's "warp" and "blendMap" in the project file (written only when
// set, read back equal, dropped with a line when unusable) and the undo steps
// that hold outputs' geometry.
#include "core/Log.h"
#include "core/ProjectFile.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace prismeta {
namespace {

std::string fileWithWarpedOutput(const std::string& extraKeys) {
    return R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
        "outputs": [{"blendBottom": 0, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
                     "cropHeight": 1, "cropWidth": 1, "cropX": 0, "cropY": 0,)" +
           extraKeys + R"(
                     "id": "0E984725-C51C-4BF4-9960-E1C80E27ABA0", "name": "Left"}],
        "surfaces": []})";
}

struct Read {
    Result<ProjectFile> file;
    std::vector<std::string> lines;
};

Read readCapturing(const std::string& text) {
    std::vector<std::string> lines;
    ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    Result<ProjectFile> file = readProjectFile(text);
    return {std::move(file), std::move(lines)};
}

OutputWarp keystone() {
    OutputWarp warp;
    warp.corners = {Pt{0.05f, -0.1f}, Pt{0.9f, 0.02f}, Pt{1.2f, 0.97f}, Pt{0.1f, 0.88f}};
    return warp;
}

TEST(OutputWarpFile, WrittenSortedInItsPlaceAndReadBackEqual) {
    ProjectFile file;
    OutputConfig warped = makeOutput(OutputPreset::leftHalf);
    warped.warp = keystone();
    warped.warp->mesh = WarpMesh::from(
        std::vector<Pt>(warped.warp->corners.begin(), warped.warp->corners.end()), 2, 1);
    warped.blendMap = "/show/maps/left.png";
    file.outputs = {warped, makeOutput(OutputPreset::rightHalf)};

    const auto bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    const std::string& text = bytes.value();
    EXPECT_NE(text.find("\"blendLeft\": 0.0,\n      \"blendMap\": \"/show/maps/left.png\",\n"
                        "      \"blendRight\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"name\": \"Left Half\",\n      \"warp\": {\n        \"corners\": [\n"
                        "          {\n            \"x\": 0.05,\n            \"y\": -0.1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"mesh\": {\n          \"cols\": 2,"), std::string::npos) << text;
    // The second output has neither key.
    EXPECT_EQ(text.find("\"warp\""), text.rfind("\"warp\""));
    EXPECT_EQ(text.find("\"blendMap\""), text.rfind("\"blendMap\""));

    const Read back = readCapturing(text);
    ASSERT_TRUE(back.file) << back.file.error();
    EXPECT_EQ(back.file.value(), file);
    EXPECT_TRUE(back.lines.empty());
}

TEST(OutputWarpFile, UnusableWarpsAndBlendMapsAreDroppedWithALineAndTheFileLoads) {
    const std::string corners = R"("corners": [{"x": 0, "y": 0}, {"x": 1, "y": 0},
                                               {"x": 1, "y": 1}, {"x": 0, "y": 1}])";
    struct Case {
        std::string keys;
        bool warpKept;
        bool meshKept;
        const char* line; // a piece of the one line logged (none: no line)
    };
    const std::vector<Case> cases = {
        {R"("warp": 3,)", false, false, "outputs[0].warp: expected an object, found a number"},
        {R"("warp": [1, 2],)", false, false, "outputs[0].warp: expected an object"},
        {R"("warp": {},)", false, false, "missing required key \"corners\""},
        {R"("warp": {"corners": [{"x": 0, "y": 0}]},)", false, false,
         "outputs[0].warp.corners: expected 4 points, found 1"},
        {R"("warp": {"corners": [{"x": 0, "y": "a"}, {}, {}, {}]},)", false, false,
         "outputs[0].warp.corners[0].y: expected a number"},
        {R"("warp": {"corners": "none"},)", false, false, "expected an array"},
        // Out of 0..1 is allowed and kept without a word.
        {R"("warp": {"corners": [{"x": -3, "y": 0}, {"x": 9, "y": 0}, {"x": 1, "y": 7},
                                 {"x": 0, "y": 1}], "extra": 1},)",
         true, false, nullptr},
        {(std::string(R"("warp": {)") + corners + R"(, "mesh": {"cols": 1, "rows": 1,
             "points": [{"x": 0, "y": 0}, {"x": 1, "y": 0}, {"x": 1, "y": 1}]}},)"),
         true, false, "3 points, where a grid of 1 x 1 cells needs 4"},
        {(std::string(R"("warp": {)") + corners + R"(, "mesh": {"cols": 0, "rows": 1,
             "points": []}},)"),
         true, false, "is refused"},
        {(std::string(R"("warp": {)") + corners + R"(, "mesh": 5},)"), true, false,
         "outputs[0].warp.mesh: expected an object"},
        {(std::string(R"("warp": {)") + corners + R"(, "mesh": null},)"), true, false, nullptr},
        {R"("warp": null,)", false, false, nullptr},
        {R"("blendMap": 7,)", false, false, "outputs[0].blendMap: expected a string"},
        {R"("blendMap": {"path": "x"},)", false, false, "outputs[0].blendMap: expected a string"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        const Read read = readCapturing(fileWithWarpedOutput(c.keys));
        ASSERT_TRUE(read.file) << read.file.error();
        const OutputConfig& output = read.file->outputs.at(0);
        EXPECT_EQ(output.warp.has_value(), c.warpKept);
        EXPECT_EQ(output.warp && output.warp->mesh, c.meshKept);
        EXPECT_FALSE(output.blendMap);
        if (c.line == nullptr) {
            EXPECT_TRUE(read.lines.empty()) << read.lines.front();
            continue;
        }
        ASSERT_EQ(read.lines.size(), 1u);
        EXPECT_NE(read.lines[0].find(c.line), std::string::npos) << read.lines[0];
    }
    // A file that fails for another reason says only that.
    const Read failed = readCapturing(fileWithWarpedOutput(R"("warp": 3, "cropX": "left",)"));
    EXPECT_FALSE(failed.file);
    EXPECT_TRUE(failed.lines.empty());
}

// ---------------------------------------------------------------- undo

struct TwoOutputs {
    ProjectModel model;
    Uuid left;
    Uuid right;

    TwoOutputs() {
        model.addOutput(OutputPreset::leftHalf);
        model.addOutput(OutputPreset::rightHalf);
        left = model.outputs()[0].id;
        right = model.outputs()[1].id;
    }
};

// A mesh's "interpolation", on an output warp and on a surface alike: written
// only when smooth, so a file of cells meshes keeps its bytes; a value it does
// not know keeps the cells with a line.
TEST(OutputWarpFile, MeshInterpolationIsWrittenOnlyWhenSmoothAndReadBack) {
    ProjectFile file;
    OutputConfig warped = makeOutput(OutputPreset::leftHalf);
    warped.warp = keystone();
    warped.warp->mesh = WarpMesh::from(
        std::vector<Pt>(warped.warp->corners.begin(), warped.warp->corners.end()), 2, 1);
    file.outputs = {warped};
    Surface surface;
    surface.mesh = WarpMesh::from(surface.corners, 1, 1);
    file.surfaces = {surface};

    const std::string cells = writeProjectFile(file).value();
    EXPECT_EQ(cells.find("interpolation"), std::string::npos);
    EXPECT_EQ(writeProjectFile(readProjectFile(cells).value()).value(), cells);

    file.outputs[0].warp->mesh->interpolation = WarpMesh::Interpolation::smooth;
    file.surfaces[0].mesh->interpolation = WarpMesh::Interpolation::smooth;
    const std::string smooth = writeProjectFile(file).value();
    EXPECT_NE(smooth.find("\"cols\": 2,\n          \"interpolation\": \"smooth\",\n"
                          "          \"points\""),
              std::string::npos)
        << smooth;
    const Read back = readCapturing(smooth);
    ASSERT_TRUE(back.file) << back.file.error();
    EXPECT_EQ(back.file.value(), file);
    EXPECT_TRUE(back.lines.empty());

    struct Case {
        const char* value; // the key's value as written, or nothing
        WarpMesh::Interpolation read;
        bool line;
    };
    const Case cases[] = {
        {nullptr, WarpMesh::Interpolation::cells, false},
        {R"("cells")", WarpMesh::Interpolation::cells, false},
        {"null", WarpMesh::Interpolation::cells, false},
        {R"("smooth")", WarpMesh::Interpolation::smooth, false},
        {R"("Smooth")", WarpMesh::Interpolation::cells, true},
        {"1", WarpMesh::Interpolation::cells, true},
        {R"({"kind": "smooth"})", WarpMesh::Interpolation::cells, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "absent");
        const std::string key =
            c.value ? std::string(R"("interpolation": )") + c.value + ", " : std::string();
        const Read read = readCapturing(fileWithWarpedOutput(
            R"("warp": {"corners": [{"x": 0, "y": 0}, {"x": 1, "y": 0}, {"x": 1, "y": 1},
                                    {"x": 0, "y": 1}], "mesh": {"cols": 1, )" +
            key + R"("rows": 1, "points": [{"x": 0, "y": 0}, {"x": 1, "y": 0},
                                           {"x": 0, "y": 1}, {"x": 1, "y": 1}]}},)"));
        ASSERT_TRUE(read.file) << read.file.error();
        const OutputConfig& output = read.file->outputs.at(0);
        ASSERT_TRUE(output.warp && output.warp->mesh);
        EXPECT_EQ(output.warp->mesh->interpolation, c.read);
        ASSERT_EQ(read.lines.size(), c.line ? 1u : 0u);
        if (c.line) {
            EXPECT_NE(read.lines[0].find("keeps its cells"), std::string::npos) << read.lines[0];
        }
    }
}

TEST(OutputUndo, AStepPutsBackOnlyItsPartsOfItsOutputs) {
    TwoOutputs t;
    ProjectModel& model = t.model;
    model.addSurface(); // a surface step before

    // A drag of the left output's warp: one step, then several writes.
    model.pushOutputUndo(std::vector<Uuid>{t.left}, OutputPart::warp);
    OutputConfig left = model.outputs()[0];
    left.warp = keystone();
    model.replaceOutput(0, left);
    left.warp->corners[0] = Pt{0.2f, 0.2f};
    model.replaceOutput(0, left);
    // Fields outside the history change meanwhile, and a surface edit that
    // takes no step.
    left = model.outputs()[0];
    left.blendLeft = 0.25f;
    model.replaceOutput(0, left);
    Surface moved = model.surfaces()[0];
    moved.opacity = 0.5;
    model.replaceSurface(0, moved);

    model.undo();
    EXPECT_FALSE(model.outputs()[0].warp);
    EXPECT_EQ(model.outputs()[0].blendLeft, 0.25f);
    EXPECT_EQ(model.surfaces()[0].opacity, 0.5); // untouched by an output step
    model.redo();
    ASSERT_TRUE(model.outputs()[0].warp);
    EXPECT_EQ(model.outputs()[0].warp->corners[0], (Pt{0.2f, 0.2f}));
    model.undo();
    model.undo(); // the surface step before it
    EXPECT_EQ(model.surfaces().size(), 0u);
    EXPECT_FALSE(model.outputs()[0].warp);
}

TEST(OutputUndo, EditOutputsChangesSeveralOutputsInOneStepOrNone) {
    TwoOutputs t;
    ProjectModel& model = t.model;
    std::vector<OutputConfig> edited = model.outputs();
    edited[0].warp = keystone();
    edited[0].blendMap = "/maps/left.png";
    edited[1].cropX = 0.45f;
    edited[1].cropWidth = 0.55f;
    edited[1].blendRight = 0.3f; // not a part asked for: left alone
    ASSERT_TRUE(model.editOutputs(
        edited, OutputPart::crop | OutputPart::warp | OutputPart::blendMap, "Calibrate"));
    EXPECT_EQ(model.undoStack().size(), 1u);
    EXPECT_EQ(model.undoName(), "Calibrate");
    EXPECT_EQ(model.outputs()[0].blendMap, "/maps/left.png");
    EXPECT_EQ(model.outputs()[1].cropX, 0.45f);
    EXPECT_EQ(model.outputs()[1].blendRight, 0.0f);

    // The same values again change nothing and take no step.
    EXPECT_FALSE(model.editOutputs(edited, OutputParts::geometry()));
    EXPECT_EQ(model.undoStack().size(), 1u);

    model.undo();
    EXPECT_FALSE(model.outputs()[0].warp);
    EXPECT_FALSE(model.outputs()[0].blendMap);
    EXPECT_EQ(model.outputs()[1].cropX, 0.5f);
    // An output deleted since is skipped; the other still comes back.
    model.redo();
    model.setOutputs({model.outputs()[0]});
    model.undo();
    ASSERT_EQ(model.outputs().size(), 1u);
    EXPECT_FALSE(model.outputs()[0].warp);

    // One-part setters: a step each; unknown ids change nothing.
    EXPECT_TRUE(model.setOutputBlendMap(t.left, "/maps/a.png"));
    EXPECT_TRUE(model.setOutputCrop(t.left, 0, 0, 0.6f, 1));
    EXPECT_FALSE(model.setOutputWarp(Uuid::random(), keystone()));
    model.undo();
    EXPECT_EQ(model.outputs()[0].cropWidth, 0.5f);
    EXPECT_EQ(model.outputs()[0].blendMap, "/maps/a.png");
}

} // namespace
} // namespace prismeta
