#include "isf/IsfShader.h"

#include <gtest/gtest.h>

#include <string>

namespace prismeta {
namespace {

Result<IsfShader> parse(const std::string& header, const std::string& code = "void main() {}\n") {
    return parseIsfShader("/*" + header + "*/\n" + code);
}

TEST(IsfShader, ReadsEveryInputTypeWithItsValues) {
    const auto shader = parse(R"({
        "ISFVSN": "2", "DESCRIPTION": "all inputs", "CREDIT": "us", "CATEGORIES": ["Test", 3],
        "INPUTS": [
          {"NAME": "go", "TYPE": "event"},
          {"NAME": "on", "TYPE": "bool", "DEFAULT": true},
          {"NAME": "mode", "TYPE": "long", "VALUES": [0, 1, 2], "LABELS": ["A", "B"], "DEFAULT": 1},
          {"NAME": "level", "TYPE": "float", "DEFAULT": 0.25, "MIN": 0, "MAX": 2, "IDENTITY": 1},
          {"NAME": "centre", "TYPE": "point2D", "DEFAULT": [0.5, 0.75]},
          {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 0.5, 0]},
          {"NAME": "inputImage", "TYPE": "image"},
          {"NAME": "sound", "TYPE": "audio"},
          {"NAME": "spectrum", "TYPE": "audioFFT"}
        ]})",
                              "\nvoid main() {}\n");
    ASSERT_TRUE(shader) << shader.error();
    EXPECT_EQ(shader->description, "all inputs");
    EXPECT_EQ(shader->credit, "us");
    ASSERT_EQ(shader->categories.size(), 1u);
    ASSERT_EQ(shader->inputs.size(), 9u);
    EXPECT_EQ(shader->inputs[0].type, IsfInputType::event);
    EXPECT_EQ(shader->inputs[1].defaultValue[0], 1.0);
    const IsfInput& mode = shader->inputs[2];
    EXPECT_EQ(mode.type, IsfInputType::longInt);
    EXPECT_EQ(mode.values, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(mode.labels.size(), 2u);
    EXPECT_EQ(mode.defaultValue[0], 1.0);
    const IsfInput& level = shader->inputs[3];
    EXPECT_TRUE(level.hasMinimum && level.hasMaximum && level.hasIdentity);
    EXPECT_EQ(level.maximum[0], 2.0);
    EXPECT_EQ(level.identity[0], 1.0);
    EXPECT_EQ(shader->inputs[4].defaultValue, (std::array<double, 4>{0.5, 0.75, 0, 0}));
    // Three colour channels take an opaque alpha.
    EXPECT_EQ(shader->inputs[5].defaultValue, (std::array<double, 4>{1, 0.5, 0, 1}));
    EXPECT_EQ(shader->inputs[6].type, IsfInputType::image);
    EXPECT_EQ(shader->inputs[8].type, IsfInputType::audioFFT);
    // One plain pass when none is declared; the code starts on the header's last line.
    ASSERT_EQ(shader->passes.size(), 1u);
    EXPECT_TRUE(shader->passes[0].target.empty());
    EXPECT_EQ(shader->codeFirstLine, 13);
    EXPECT_EQ(shader->code, "\n\nvoid main() {}\n");
}

TEST(IsfShader, ReadsPassesAndBothFormsOfImportedImages) {
    const auto shader = parse(R"({"PASSES": [
          {"TARGET": "half", "WIDTH": "$WIDTH/2", "HEIGHT": 64, "FLOAT": true},
          {"TARGET": "trail", "PERSISTENT": 1},
          {"TARGET": "trail"},
          {}],
        "IMPORTED": {"logo": {"PATH": "logo.png"}}})");
    ASSERT_TRUE(shader) << shader.error();
    ASSERT_EQ(shader->passes.size(), 4u);
    EXPECT_EQ(shader->passes[0].width, "$WIDTH/2");
    EXPECT_EQ(shader->passes[0].height, "64.0");
    EXPECT_TRUE(shader->passes[0].floatingPoint);
    EXPECT_TRUE(shader->passes[1].persistent);
    ASSERT_EQ(shader->imported.size(), 1u);
    EXPECT_EQ(shader->imported[0].path, "logo.png");

    const auto older = parse(R"({"IMPORTED": [{"NAME": "noise", "PATH": "n.png"}]})");
    ASSERT_TRUE(older) << older.error();
    EXPECT_EQ(older->imported[0].name, "noise");
}

TEST(IsfShader, ValuesOfTheWrongShapeReadAsTheTypeDefault) {
    const auto shader = parse(R"({"INPUTS": [
          {"NAME": "a", "TYPE": "float", "DEFAULT": "loud", "MIN": [1], "MAX": {}},
          {"NAME": "b", "TYPE": "color", "DEFAULT": [1, 2]},
          {"NAME": "c", "TYPE": "point2D", "DEFAULT": 3, "MIN": [1, 1], "MAX": [0, 0]},
          {"NAME": "d", "TYPE": "float", "DEFAULT": 9, "MIN": 0, "MAX": 1}]})");
    ASSERT_TRUE(shader) << shader.error();
    EXPECT_EQ(shader->inputs[0].defaultValue[0], 0.0);
    EXPECT_FALSE(shader->inputs[0].hasMinimum);
    EXPECT_EQ(shader->inputs[1].defaultValue, (std::array<double, 4>{0, 0, 0, 1}));
    // A range given upside down is put the right way round.
    EXPECT_EQ(shader->inputs[2].minimum[0], 0.0);
    EXPECT_EQ(shader->inputs[2].maximum[0], 1.0);
    // A default outside the range is brought into it.
    EXPECT_EQ(shader->inputs[3].defaultValue[0], 1.0);
}

TEST(IsfShader, HostileHeadersFailWithAReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"void main() {}", "no JSON header"},
        {"/*{\"INPUTS\": []", "not closed"},
        {"/*{\"INPUTS\": [}*/", "not JSON"},
        {"/*[1, 2]*/", "not a JSON object"},
        {"/*{\"INPUTS\": {}}*/", "INPUTS is not a list"},
        {"/*{\"INPUTS\": [7]}*/", "INPUTS[0] is not an object"},
        {"/*{\"INPUTS\": [{\"NAME\": \"x\", \"TYPE\": \"cube\"}]}*/", "unknown type \"cube\""},
        {"/*{\"INPUTS\": [{\"NAME\": \"x;} void f(){\", \"TYPE\": \"float\"}]}*/",
         "not a GLSL identifier"},
        {"/*{\"INPUTS\": [{\"NAME\": \"gl_Position\", \"TYPE\": \"float\"}]}*/",
         "not a GLSL identifier"},
        {"/*{\"INPUTS\": [{\"TYPE\": \"float\"}]}*/", "not a GLSL identifier"},
        {"/*{\"INPUTS\": [{\"NAME\": \"x\", \"TYPE\": \"float\"}, {\"NAME\": \"x\", \"TYPE\": "
         "\"bool\"}]}*/",
         "declared twice"},
        {"/*{\"INPUTS\": [{\"NAME\": \"x\", \"TYPE\": \"float\"}], \"PASSES\": [{\"TARGET\": "
         "\"x\"}]}*/",
         "declared twice"},
        {"/*{\"PASSES\": [{\"TARGET\": \"a b\"}]}*/", "not a GLSL identifier"},
        {"/*{\"PASSES\": 3}*/", "PASSES is not a list"},
        {"/*{\"IMPORTED\": {\"logo\": {}}}*/", "has no PATH"},
        {"/*{\"IMPORTED\": 5}*/", "neither an object nor a list"},
    };
    for (const auto& [source, reason] : cases) {
        const auto shader = parseIsfShader(source);
        ASSERT_FALSE(shader) << source;
        EXPECT_NE(shader.error().find(reason), std::string::npos) << shader.error();
    }
    EXPECT_FALSE(parseIsfShader(std::string(maxIsfSourceBytes + 1, ' ')));
    std::string deep = "/*{\"INPUTS\": " + std::string(100000, '[') + "}*/";
    EXPECT_FALSE(parseIsfShader(deep));
    std::string many = "/*{\"PASSES\": [";
    for (std::size_t i = 0; i <= maxIsfPasses; ++i) {
        many += i ? ",{}" : "{}";
    }
    EXPECT_FALSE(parseIsfShader(many + "]}*/"));
}

} // namespace
} // namespace prismeta
