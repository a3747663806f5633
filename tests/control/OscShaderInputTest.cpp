// Shader inputs over OSC: each input takes the arguments of its declared
// type within its range, a value set back to the default leaves the file,
// queries answer in the input's type, and what cannot be carried out is
// logged with the reason.
#include "../core/ScratchFolder.h"

#include "control/OscController.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = OscController::Clock;

class ShaderInputControl : public ::testing::Test {
protected:
    ShaderInputControl()
        : sink([this](std::string_view line) { logged.emplace_back(line); }),
          controller(
              model, [this](const OscOutgoing& m) { sent.push_back(m); }, 0s) {
        Surface shader;
        shader.name = "wall";
        shader.mediaKind = MediaKind::shader;
        shader.mediaPath = folder
                               .write("inputs.fs", R"(/*{"INPUTS": [
            {"NAME": "level", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0, "MAX": 1},
            {"NAME": "mode", "TYPE": "long", "VALUES": [1, 2, 4], "DEFAULT": 1},
            {"NAME": "on", "TYPE": "bool"},
            {"NAME": "at", "TYPE": "point2D", "DEFAULT": [0.5, 0.5]},
            {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 1, 1, 1]},
            {"NAME": "go", "TYPE": "event"},
            {"NAME": "inputImage", "TYPE": "image"}]}*/ void main() {})")
                               .string();
        Surface plain;
        plain.name = "floor";
        model.setSurfaces({shader, plain});
    }

    void handle(std::string address, OscArguments arguments = {},
                Clock::time_point at = Clock::time_point{} + 1s) {
        OscMessage m;
        m.address = std::move(address);
        m.arguments = std::move(arguments);
        m.sender = OscEndpoint{"127.0.0.1", 50000};
        m.received = at;
        controller.handle(m, at);
    }
    bool logMentions(std::string_view text) const {
        return std::any_of(logged.begin(), logged.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }
    const ShaderInputs& inputs() const { return model.surfaces()[0].shaderInputs; }

    test::ScratchFolder folder;
    ProjectModel model;
    std::vector<std::string> logged;
    ScopedLogSink sink;
    std::vector<OscOutgoing> sent;
    OscController controller;
};

OscArgument inputFloat(float v) {
    return OscArgument::float32(v);
}

TEST_F(ShaderInputControl, EachInputTakesItsTypeWithinItsRangeAndDefaultsLeaveTheFile) {
    handle("/prismeta/surface/wall/input/level", {inputFloat(7.0f)});
    EXPECT_EQ(inputs().at("level"), ShaderInputValue::ofNumber(1.0)); // MAX
    handle("/prismeta/surface/wall/input/mode", {OscArgument::int32(4)});
    handle("/prismeta/surface/wall/input/on", {OscArgument{'T', {}}});
    handle("/prismeta/surface/wall/input/at", {inputFloat(0.25f), inputFloat(0.75f)});
    handle("/prismeta/surface/wall/input/tint",
           {inputFloat(1.0f), inputFloat(0.5f), inputFloat(0.0f)});
    handle("/prismeta/surface/wall/input/inputImage", {OscArgument::text("/clips/a.mov")});
    EXPECT_EQ(inputs().at("mode"), ShaderInputValue::ofNumber(4.0));
    EXPECT_EQ(inputs().at("on"), ShaderInputValue::ofFlag(true));
    EXPECT_EQ(inputs().at("at"), ShaderInputValue::ofPoint(0.25, 0.75));
    EXPECT_EQ(inputs().at("tint"), ShaderInputValue::ofColor(1.0, 0.5, 0.0, 1.0));
    EXPECT_EQ(inputs().at("inputImage"), ShaderInputValue::ofText("/clips/a.mov"));
    EXPECT_TRUE(logged.empty());

    // Back to the defaults: the keys go, so the file is written as before.
    handle("/prismeta/surface/wall/input/level", {inputFloat(0.5f)}, Clock::time_point{} + 5s);
    handle("/prismeta/surface/wall/input/on", {OscArgument{'F', {}}});
    handle("/prismeta/surface/wall/input/inputImage", {OscArgument::text("")});
    EXPECT_FALSE(inputs().contains("level"));
    EXPECT_FALSE(inputs().contains("on"));
    EXPECT_FALSE(inputs().contains("inputImage"));
    // Every change is an undo step of the model like the inspector's edits.
    EXPECT_FALSE(model.undoStack().empty());
}

TEST_F(ShaderInputControl, QueriesAnswerInTheInputsOwnType) {
    handle("/prismeta/surface/wall/input/at", {inputFloat(0.25f), inputFloat(0.75f)});
    for (const char* input : {"level", "mode", "at", "inputImage"}) {
        handle(std::string("/prismeta/surface/wall/input/") + input, {OscArgument::text("?")});
    }
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].address, "/prismeta/surface/wall/input/level");
    EXPECT_EQ(sent[0].arguments, OscArguments{inputFloat(0.5f)});
    EXPECT_EQ(sent[1].arguments, OscArguments{OscArgument::int32(1)});
    EXPECT_EQ(sent[2].arguments, (OscArguments{inputFloat(0.25f), inputFloat(0.75f)}));
    EXPECT_EQ(sent[3].arguments, OscArguments{OscArgument::text("")});
}

TEST_F(ShaderInputControl, WhatCannotBeCarriedOutIsLoggedWithTheReason) {
    handle("/prismeta/surface/wall/input/level", {OscArgument::text("loud")});
    EXPECT_TRUE(logMentions("takes f, got s"));
    handle("/prismeta/surface/wall/input/mode", {OscArgument::int32(3)});
    EXPECT_TRUE(logMentions("not one of the input's values"));
    handle("/prismeta/surface/wall/input/volume", {inputFloat(1.0f)});
    EXPECT_TRUE(logMentions("no input \"volume\""));
    handle("/prismeta/surface/floor/input/level", {inputFloat(1.0f)});
    EXPECT_TRUE(logMentions("shows no shader"));
    handle("/prismeta/surface/wall/input/lev*", {inputFloat(1.0f)});
    EXPECT_TRUE(logMentions("without a pattern"));
    handle("/prismeta/surface/wall/input/at", {inputFloat(1.0f), inputFloat(NAN)});
    EXPECT_TRUE(logMentions("takes ff"));
    EXPECT_TRUE(inputs().empty());

    // A shader file that is gone or broken: the reason, and nothing stored.
    std::filesystem::remove(folder / "inputs.fs");
    handle("/prismeta/surface/wall/input/level", {inputFloat(1.0f)});
    EXPECT_TRUE(logMentions("cannot be read"));
    folder.write("inputs.fs", "/*{\"INPUTS\": 3}*/");
    handle("/prismeta/surface/wall/input/level", {inputFloat(1.0f)});
    EXPECT_TRUE(logMentions("INPUTS is not a list"));
    EXPECT_TRUE(inputs().empty());
}

TEST_F(ShaderInputControl, AnEventFiresOnAPressAndIsNotStored) {
    const Uuid id = model.surfaces()[0].id;
    handle("/prismeta/surface/wall/input/go", {OscArgument::int32(1)});
    const std::uint64_t pressed = model.shaderEvents().lastTrigger(id, "go");
    EXPECT_GT(pressed, 0u);
    // The button's release and a false are no trigger; a bare message is.
    handle("/prismeta/surface/wall/input/go", {OscArgument::int32(0)});
    handle("/prismeta/surface/wall/input/go", {OscArgument{'F', {}}});
    EXPECT_EQ(model.shaderEvents().lastTrigger(id, "go"), pressed);
    handle("/prismeta/surface/wall/input/go");
    EXPECT_GT(model.shaderEvents().lastTrigger(id, "go"), pressed);
    EXPECT_TRUE(inputs().empty());
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_TRUE(logged.empty());
}

TEST_F(ShaderInputControl, SubscribersHearInputChangesInTheirTypes) {
    handle("/prismeta/subscribe");
    controller.update(Clock::time_point{} + 2s);
    sent.clear();
    const std::string wall = "/prismeta/surface/" + model.surfaces()[0].id.text() + "/input/";
    const auto heard = [&](const std::string& address) -> const OscArguments* {
        for (const OscOutgoing& m : sent) {
            if (m.address == address) {
                return &m.arguments;
            }
        }
        return nullptr;
    };

    // Over OSC and from elsewhere (a cue, the inspector) alike; a value set
    // back to its default is told as the default.
    handle("/prismeta/surface/wall/input/level", {inputFloat(0.75f)}, Clock::time_point{} + 3s);
    std::vector<Surface> edited = model.surfaces().copy();
    edited[0].shaderInputs["at"] = ShaderInputValue::ofPoint(0.25, 0.5);
    model.setSurfaces(std::move(edited));
    controller.update(Clock::time_point{} + 4s);
    ASSERT_NE(heard(wall + "level"), nullptr);
    EXPECT_EQ(*heard(wall + "level"), OscArguments{inputFloat(0.75f)});
    ASSERT_NE(heard(wall + "at"), nullptr);
    EXPECT_EQ(*heard(wall + "at"), (OscArguments{inputFloat(0.25f), inputFloat(0.5f)}));
    EXPECT_EQ(heard(wall + "mode"), nullptr) << "only what changed";

    sent.clear();
    handle("/prismeta/surface/wall/input/level", {inputFloat(0.5f)}, Clock::time_point{} + 9s);
    controller.update(Clock::time_point{} + 10s);
    ASSERT_NE(heard(wall + "level"), nullptr);
    EXPECT_EQ(*heard(wall + "level"), OscArguments{inputFloat(0.5f)});

    // Another shader file: every input that holds a value is told.
    sent.clear();
    edited = model.surfaces().copy();
    edited[0].mediaPath = folder
                              .write("other.fs", R"(/*{"INPUTS": [
        {"NAME": "speed", "TYPE": "float", "DEFAULT": 2},
        {"NAME": "bang", "TYPE": "event"}]}*/ void main() {})")
                              .string();
    model.setSurfaces(std::move(edited));
    controller.update(Clock::time_point{} + 20s);
    ASSERT_NE(heard(wall + "speed"), nullptr);
    EXPECT_EQ(*heard(wall + "speed"), OscArguments{inputFloat(2.0f)});
    EXPECT_EQ(heard(wall + "bang"), nullptr);
}

} // namespace
} // namespace prismeta
