// Shader inputs in cues: looks hold them as the surface key does (written
// only when set), GO applies them with the rest as one undo step, tracked
// looks and Record/Update capture them, and a fade between two sets mixes
// them by the inputs' declared types.
#include "core/ProjectFile.h"
#include "core/ProjectModel.h"
#include "cues/CueEditing.h"
#include "cues/CueRunner.h"
#include "cues/TrackedLook.h"
#include "isf/IsfInputValues.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

Surface shaderSurface(ShaderInputs inputs = {}) {
    Surface surface;
    surface.mediaKind = MediaKind::shader;
    surface.mediaPath = "/shows/plasma.fs";
    surface.shaderInputs = std::move(inputs);
    return surface;
}

Cue cueWithInputs(const Uuid& surface, ShaderInputs inputs, double fade = 0.0) {
    Cue cue;
    cue.name = "Inputs";
    cue.fade = fade;
    CueLook look;
    look.surface = surface;
    look.shaderInputs = std::move(inputs);
    cue.looks.push_back(std::move(look));
    return cue;
}

TEST(CueShaderInputs, LooksHoldThemOnlyWhenSetAndReadThemLeniently) {
    const Surface surface = shaderSurface();
    ProjectFile file;
    file.surfaces = {surface};
    file.cues = {cueWithInputs(surface.id, {{"level", ShaderInputValue::ofNumber(0.75)},
                                            {"tint", ShaderInputValue::ofColor(1, 0, 0, 1)},
                                            {"on", ShaderInputValue::ofFlag(true)}}),
                 cueWithInputs(surface.id, {}), cueWithInputs(surface.id, {})};
    file.cues[2].looks[0].shaderInputs.reset();
    const Result<std::string> bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    // An empty set is kept (it puts every input back to its default); a look
    // without one writes no key.
    EXPECT_NE(bytes.value().find(R"("shaderInputs": {})"), std::string::npos);
    const Result<ProjectFile> read = readProjectFile(bytes.value());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value().cues, file.cues);
    EXPECT_FALSE(read.value().cues[2].looks[0].shaderInputs);
    EXPECT_EQ(writeProjectFile(read.value()).value(), bytes.value());

    // A value of no use is left out, the rest kept; not an object: not set.
    const std::string id = surface.id.text();
    const Result<ProjectFile> lenient = readProjectFile(
        R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920, "outputs": [],
            "surfaces": [], "cues": [{"looks": [
              {"surface": ")" +
        id + R"(", "shaderInputs": {"a": 1, "b": [1], "c": null, "d": [1, 2]}},
              {"surface": ")" +
        id + R"(", "shaderInputs": [1, 2]}]}]})");
    ASSERT_TRUE(lenient) << lenient.error();
    const auto& looks = lenient.value().cues[0].looks;
    ASSERT_EQ(looks.size(), 2u);
    ASSERT_TRUE(looks[0].shaderInputs);
    EXPECT_EQ(*looks[0].shaderInputs, (ShaderInputs{{"a", ShaderInputValue::ofNumber(1)},
                                                    {"d", ShaderInputValue::ofPoint(1, 2)}}));
    EXPECT_FALSE(looks[1].shaderInputs);
}

TEST(CueShaderInputs, GoAppliesThemWithTheRestAndRecordCapturesThem) {
    ProjectModel model;
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner{model, clock, wall};
    Surface shader = shaderSurface({{"level", ShaderInputValue::ofNumber(0.1)}});
    Surface plain;
    plain.mediaKind = MediaKind::color;
    model.setSurfaces(std::vector<Surface>{shader, plain});
    Cue first = cueWithInputs(shader.id, {{"level", ShaderInputValue::ofNumber(0.9)}});
    first.looks[0].opacity = 0.5;
    Cue second = cueWithInputs(shader.id, {});
    model.setCues(std::vector<Cue>{first, second});

    ASSERT_TRUE(runner.go());
    EXPECT_EQ(model.surfaces()[0].shaderInputs.at("level"), ShaderInputValue::ofNumber(0.9));
    EXPECT_EQ(model.surfaces()[0].opacity, 0.5);
    ASSERT_TRUE(runner.go());
    EXPECT_TRUE(model.surfaces()[0].shaderInputs.empty()) << "an empty set restores defaults";
    model.undo();
    EXPECT_EQ(model.surfaces()[0].shaderInputs.at("level"), ShaderInputValue::ofNumber(0.9));
    EXPECT_EQ(model.surfaces()[0].opacity, 0.5) << "one step with the rest of the look";

    // Reached any other way, the cue shows its tracked look.
    ASSERT_TRUE(runner.goTo(0));
    EXPECT_EQ(model.surfaces()[0].shaderInputs.at("level"), ShaderInputValue::ofNumber(0.9));

    // Record and Update take the inputs of shader surfaces only, so a show
    // without shaders records its looks as before.
    std::vector<Surface> edited = model.surfaces().copy();
    edited[0].shaderInputs = {{"level", ShaderInputValue::ofNumber(0.3)}};
    model.setSurfaces(std::move(edited));
    ASSERT_TRUE(updateCue(model, 1));
    const auto& looks = model.cues()[1].looks;
    ASSERT_EQ(looks.size(), 2u);
    ASSERT_TRUE(looks[0].shaderInputs);
    EXPECT_EQ(looks[0].shaderInputs->at("level"), ShaderInputValue::ofNumber(0.3));
    EXPECT_FALSE(looks[1].shaderInputs);
}

TEST(CueShaderInputs, AFadeStartsForAnInputChangeAndEndsOnAnEditorChange) {
    const Surface before = shaderSurface({{"level", ShaderInputValue::ofNumber(0.0)}});
    Surface after = before;
    after.shaderInputs = {{"level", ShaderInputValue::ofNumber(1.0)}};
    const auto fade = Crossfade::start(nullptr, {before}, {after}, 10.0, 4.0);
    ASSERT_NE(fade->find(after, 11.0), nullptr);
    // A GO half way through starts from the values on screen.
    const Surface onScreen = fade->onScreen(after, 12.0);
    EXPECT_EQ(onScreen.shaderInputs.at("level"), ShaderInputValue::ofNumber(0.5));
    Surface edited = after;
    edited.shaderInputs = {{"level", ShaderInputValue::ofNumber(0.2)}};
    EXPECT_EQ(fade->find(edited, 11.0), nullptr);
}

TEST(CueShaderInputs, FadedValuesMixByTheDeclaredType) {
    auto shader = parseIsfShader(R"(/*{"INPUTS": [
        {"NAME": "level", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0, "MAX": 1},
        {"NAME": "mode", "TYPE": "long", "VALUES": [1, 2, 4], "DEFAULT": 1},
        {"NAME": "on", "TYPE": "bool"},
        {"NAME": "at", "TYPE": "point2D", "DEFAULT": [0, 0]},
        {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 1, 1, 1]},
        {"NAME": "inputImage", "TYPE": "image"}]}*/)");
    ASSERT_TRUE(shader) << shader.error();
    const ShaderInputs from{{"mode", ShaderInputValue::ofNumber(4)},
                            {"at", ShaderInputValue::ofPoint(1, 2)},
                            {"inputImage", ShaderInputValue::ofText("/a.png")}};
    const ShaderInputs to{{"level", ShaderInputValue::ofNumber(1.0)},
                          {"on", ShaderInputValue::ofFlag(true)},
                          {"tint", ShaderInputValue::ofColor(0, 0, 0, 0)}};
    const IsfShader& s = shader.value();
    // A value one side leaves out is the default there: level 0.5 -> 1.
    EXPECT_DOUBLE_EQ(fadedIsfValue(*s.input("level"), from, to, 0.25)[0], 0.625);
    EXPECT_EQ(fadedIsfValue(*s.input("at"), from, to, 0.25),
              (std::array<double, 4>{0.75, 1.5, 0, 0}));
    EXPECT_EQ(fadedIsfValue(*s.input("tint"), from, to, 0.5),
              (std::array<double, 4>{0.5, 0.5, 0.5, 0.5}));
    for (const double p : {0.0, 0.49}) {
        EXPECT_EQ(fadedIsfValue(*s.input("mode"), from, to, p)[0], 4.0);
        EXPECT_EQ(fadedIsfValue(*s.input("on"), from, to, p)[0], 0.0);
        EXPECT_EQ(fadedIsfImagePath(*s.input("inputImage"), from, to, p), "/a.png");
    }
    for (const double p : {0.5, 1.0}) {
        EXPECT_EQ(fadedIsfValue(*s.input("mode"), from, to, p)[0], 1.0);
        EXPECT_EQ(fadedIsfValue(*s.input("on"), from, to, p)[0], 1.0);
        EXPECT_EQ(fadedIsfImagePath(*s.input("inputImage"), from, to, p), "");
    }
}

} // namespace
} // namespace prismeta
