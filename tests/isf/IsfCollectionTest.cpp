// A few shaders of the public ISF collection, read where the collection lies
// (the whole of it is `make isf-conformance`): filters whose pictures of a
// four-colour still follow from their code, and the shaders that lean on the
// first version's names, the per-image uniforms and loose GLSL typing.
#include "ShaderScene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace prismeta::test {
namespace {

// The collection's shader by name, or empty (the test skips) without it.
std::string collected(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(PRISMETA_ISF_FILES) / (name + ".fs");
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path.string() : std::string();
}

#define COLLECTED(variable, name)                                                                  \
    const std::string variable = collected(name);                                                  \
    if (variable.empty()) {                                                                        \
        GTEST_SKIP() << "the ISF collection is not at '" PRISMETA_ISF_FILES "'";                   \
    }

// The four corners' colours, top left, top right, bottom left, bottom right.
void expectCorners(const Picture& p, const std::array<std::array<int, 3>, 4>& colours) {
    const int far = shaderCanvasSize - 3;
    const std::array<std::pair<int, int>, 4> corners = {{{2, 2}, {far, 2}, {2, far}, {far, far}}};
    for (std::size_t i = 0; i < 4; ++i) {
        expectRgb(p, corners[i].first, corners[i].second, colours[i][0], colours[i][1],
                  colours[i][2]);
    }
}

constexpr std::array<std::array<int, 3>, 4> plain = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}};
constexpr std::array<std::array<int, 3>, 4> inverted = {
    {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 0, 0}}};

TEST(IsfCollection, FiltersGiveWhatTheirCodeDoesToAFourColourStill) {
    COLLECTED(invert, "Color Invert");
    COLLECTED(flip, "Flip H");
    COLLECTED(rotate, "Rotate");
    // Stills smaller and larger than the 32-pixel picture.
    for (const auto& [width, height] : {std::pair{2, 2}, std::pair{60, 44}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        ShaderScene scene;
        const std::string still = scene.still("still.png", width, height, quadrants(width, height));
        const ShaderInputs image = {{"inputImage", ShaderInputValue::ofText(still)}};

        scene.showFile(invert, image);
        auto p = scene.frames({1.0});
        ASSERT_EQ(p.size(), 1u);
        expectCorners(p[0], inverted);

        scene.showFile(flip, image);
        p = scene.frames({1.0});
        ASSERT_EQ(p.size(), 1u);
        expectCorners(p[0], {plain[1], plain[0], plain[3], plain[2]});

        // Half a turn, worked out in its .vs (which reads vv_FragNormCoord).
        ShaderInputs turned = image;
        turned["angle"] = ShaderInputValue::ofNumber(0.5);
        scene.showFile(rotate, turned);
        p = scene.frames({1.0});
        ASSERT_EQ(p.size(), 1u);
        expectCorners(p[0], {plain[3], plain[2], plain[1], plain[0]});
        EXPECT_TRUE(scene.log.empty()) << scene.log.front();
    }
}

TEST(IsfCollection, StrobeInvertsEveryOtherFrameThroughItsOnePixelStateBuffer) {
    // Pass 0 toggles a 1 x 1 persistent buffer each frame; pass 1 shows the
    // still inverted while it is set.
    COLLECTED(strobe, "Strobe");
    ShaderScene scene;
    const std::string still = scene.still("still.png", 60, 44, quadrants(60, 44));
    scene.showFile(strobe, {{"inputImage", ShaderInputValue::ofText(still)}});
    const auto p = scene.frames({1.0, 2.5, 3.0});
    ASSERT_EQ(p.size(), 3u);
    expectCorners(p[0], inverted);
    expectCorners(p[1], plain);
    expectCorners(p[2], inverted);
    EXPECT_TRUE(scene.log.empty()) << scene.log.front();
}

TEST(IsfCollection, ShadersOfOlderNamesAndLooseTypingShowAPicture) {
    const char* const names[] = {"Poly Glitch", "Radial Replicate",  "Trail Mask",
                                 "Line Group",  "Random Characters", "Tiny Date Time Overlay"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        COLLECTED(path, name);
        ShaderScene scene;
        const std::string still = scene.still("still.png", 60, 44, quadrants(60, 44));
        const ShaderInputValue image = ShaderInputValue::ofText(still);
        scene.showFile(path, {{"inputImage", image}, {"maskImage", image}});
        const auto p = scene.frames({1.0, 2.5});
        ASSERT_EQ(p.size(), 2u);
        for (const Picture& picture : p) {
            bool placeholderOnly = true;
            for (int y = 0; y < shaderCanvasSize && placeholderOnly; ++y) {
                for (int x = 0; x < shaderCanvasSize && placeholderOnly; ++x) {
                    const auto px = picture.at(x, y);
                    placeholderOnly = px[0] == placeholder[0] && px[1] == placeholder[1] &&
                                      px[2] == placeholder[2];
                }
            }
            EXPECT_FALSE(placeholderOnly);
        }
        EXPECT_TRUE(scene.log.empty()) << scene.log.front();
    }
}

} // namespace
} // namespace prismeta::test
