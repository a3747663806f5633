#include "isf/IsfInputValues.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

IsfShader inputsShader() {
    auto shader = parseIsfShader(R"(/*{"INPUTS": [
        {"NAME": "level", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0, "MAX": 1},
        {"NAME": "mode", "TYPE": "long", "VALUES": [1, 2, 4], "DEFAULT": 2},
        {"NAME": "on", "TYPE": "bool"},
        {"NAME": "at", "TYPE": "point2D", "DEFAULT": [0.5, 0.5]},
        {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 0, 0, 1]},
        {"NAME": "inputImage", "TYPE": "image"}]}*/)");
    EXPECT_TRUE(shader) << shader.error();
    return std::move(shader).value();
}

TEST(IsfInputValues, StoredValuesThatFitAreUsedWithinRangeOthersGiveTheDefault) {
    const IsfShader shader = inputsShader();
    ShaderInputs stored{{"level", ShaderInputValue::ofNumber(7.0)},
                        {"mode", ShaderInputValue::ofNumber(3.0)},
                        {"on", ShaderInputValue::ofFlag(true)},
                        {"at", ShaderInputValue::ofColor(1, 2, 3, 4)},
                        {"tint", ShaderInputValue::ofColor(0, 1, 0, 0.5)},
                        {"inputImage", ShaderInputValue::ofText("/clips/a.mov")},
                        {"gone", ShaderInputValue::ofNumber(1.0)}};
    EXPECT_EQ(resolvedIsfValue(*shader.input("level"), stored)[0], 1.0); // clamped to MAX
    EXPECT_EQ(resolvedIsfValue(*shader.input("mode"), stored)[0], 2.0);  // 3 is no menu value
    EXPECT_EQ(resolvedIsfValue(*shader.input("on"), stored)[0], 1.0);
    EXPECT_EQ(resolvedIsfValue(*shader.input("at"), stored),
              (std::array<double, 4>{0.5, 0.5, 0, 0})); // four numbers are no point
    EXPECT_EQ(resolvedIsfValue(*shader.input("tint"), stored),
              (std::array<double, 4>{0, 1, 0, 0.5}));
    EXPECT_EQ(isfImagePath(*shader.input("inputImage"), stored), "/clips/a.mov");
    stored["mode"] = ShaderInputValue::ofNumber(4.9);
    EXPECT_EQ(resolvedIsfValue(*shader.input("mode"), stored)[0], 4.0);
    stored["level"] = ShaderInputValue::ofText("loud");
    EXPECT_EQ(resolvedIsfValue(*shader.input("level"), stored)[0], 0.5);
}

TEST(IsfInputValues, DefaultsAreRecognisedInTheStoredForm) {
    const IsfShader shader = inputsShader();
    for (const IsfInput& input : shader.inputs) {
        if (!isImageLike(input.type)) {
            EXPECT_TRUE(isDefaultIsfValue(input, storedIsfValue(input, input.defaultValue)))
                << input.name;
        }
    }
    EXPECT_FALSE(isDefaultIsfValue(*shader.input("level"), ShaderInputValue::ofNumber(0.25)));
    EXPECT_FALSE(isDefaultIsfValue(*shader.input("on"), ShaderInputValue::ofNumber(1.0)));
    EXPECT_FALSE(isDefaultIsfValue(*shader.input("level"), ShaderInputValue::ofText("")));
    EXPECT_TRUE(isDefaultIsfValue(*shader.input("inputImage"), ShaderInputValue::ofText("")));
    EXPECT_EQ(storedIsfValue(*shader.input("at"), {0.25, 0.75, 9, 9}),
              ShaderInputValue::ofPoint(0.25, 0.75));
}

} // namespace
} // namespace prismeta
