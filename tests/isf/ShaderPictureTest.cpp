// Shader surfaces drawn headless, their pixels against what the shaders'
// arithmetic gives: inputs, isf_FragNormCoord, passes at other sizes, a
// persistent buffer over frames, an image input, TIME; and bad shaders
// showing the placeholder with one log line.
#include "ShaderScene.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace prismeta::test {
namespace {

constexpr int size = shaderCanvasSize;

TEST(ShaderPicture, ColourInputAndNormalisedCoordinatesReachThePixels) {
    ShaderScene scene;
    scene.show(R"(/*{"INPUTS": [{"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 1, 1, 1]}]}*/
void main() { gl_FragColor = vec4(tint.rgb, 1.0); })",
               {{"tint", ShaderInputValue::ofColor(0.25, 0.5, 0.75, 1.0)}});
    const auto constant = scene.frames({0.0});
    ASSERT_EQ(constant.size(), 1u);
    expectRgb(constant[0], 3, 5, 63.75, 127.5, 191.25);
    expectRgb(constant[0], 30, 28, 63.75, 127.5, 191.25);

    // The picture is as large as the canvas, so each pixel is one fragment:
    // x grows rightwards, isf_FragNormCoord.y upwards (the canvas' y downwards).
    scene.show(R"(/*{}*/
void main() { gl_FragColor = vec4(isf_FragNormCoord, 0.0, 1.0); })");
    const auto gradient = scene.frames({0.0});
    ASSERT_EQ(gradient.size(), 1u);
    for (const auto& [x, y] : {std::pair{0, 0}, {31, 0}, {7, 19}, {31, 31}, {16, 3}}) {
        expectRgb(gradient[0], x, y, (x + 0.5) / size * 255.0, (1.0 - (y + 0.5) / size) * 255.0,
                  0.0);
    }
    EXPECT_TRUE(scene.log.empty());
}

TEST(ShaderPicture, PersistentBufferAccumulatesOncePerShowTime) {
    ShaderScene scene;
    scene.show(R"(/*{"PASSES": [{"TARGET": "sum", "PERSISTENT": true, "FLOAT": true}, {}]}*/
void main() {
    if (PASSINDEX == 0) {
        gl_FragColor = IMG_THIS_PIXEL(sum) + vec4(0.125);
    } else {
        gl_FragColor = vec4(IMG_THIS_NORM_PIXEL(sum).rgb, 1.0);
    }
})");
    // The frame at 2.0 is drawn twice: the second draw shows the same picture.
    const auto p = scene.frames({1.0, 2.0, 2.0, 3.0});
    ASSERT_EQ(p.size(), 4u);
    expectRgb(p[0], 10, 10, 0.125 * 255, 0.125 * 255, 0.125 * 255);
    expectRgb(p[1], 10, 10, 0.25 * 255, 0.25 * 255, 0.25 * 255);
    expectRgb(p[2], 20, 4, 0.25 * 255, 0.25 * 255, 0.25 * 255);
    expectRgb(p[3], 20, 4, 0.375 * 255, 0.375 * 255, 0.375 * 255);
}

TEST(ShaderPicture, PassAtHalfSizeSeesItsOwnRenderSize) {
    ShaderScene scene;
    scene.show(
        R"isf(/*{"PASSES": [{"TARGET": "small", "WIDTH": "$WIDTH / 2", "HEIGHT": "floor($HEIGHT / 4)"}, {}]}*/
void main() {
    if (PASSINDEX == 0) {
        gl_FragColor = vec4(RENDERSIZE / 255.0, 0.0, 1.0);
    } else {
        gl_FragColor = vec4(IMG_NORM_PIXEL(small, vec2(0.5)).rg, IMG_SIZE(small).x / 255.0, 1.0);
    }
})isf");
    const auto p = scene.frames({0.0});
    ASSERT_EQ(p.size(), 1u);
    expectRgb(p[0], 12, 12, size / 2, size / 4, size / 2);
}

TEST(ShaderPicture, ImageInputIsSampledTheRightWayUp) {
    ShaderScene scene;
    const std::string image = scene.folder.write("still.png", "made by the fake decoder").string();
    // Two by two: red, green on the top row; blue, white below.
    scene.media.images[image] = {
        2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}};
    scene.show(R"(/*{"INPUTS": [{"NAME": "inputImage", "TYPE": "image"}]}*/
void main() { gl_FragColor = IMG_NORM_PIXEL(inputImage, isf_FragNormCoord); })",
               {{"inputImage", ShaderInputValue::ofText(image)}});
    const auto p = scene.frames({0.0, 0.1});
    ASSERT_EQ(p.size(), 2u);
    // Near each corner the sample lies beyond the outer texel centres: exact.
    expectRgb(p[1], 2, 2, 255, 0, 0);
    expectRgb(p[1], 29, 2, 0, 255, 0);
    expectRgb(p[1], 2, 29, 0, 0, 255);
    expectRgb(p[1], 29, 29, 255, 255, 255);
}

TEST(ShaderPicture, ImageBuiltInsScaleToImagesOfOtherSizesInEveryPass) {
    // In every pass (16, 64 and 32 pixels square) the image is read at the
    // fragment's place five ways that must agree, and its size checked; the
    // passes hand it on through IMG_THIS_PIXEL of targets of other sizes,
    // and the last shows it inverted where they all agreed, grey elsewhere.
    for (const auto& [width, height] : {std::pair{2, 2}, std::pair{48, 40}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        ShaderScene scene;
        const std::string image = scene.still("still.png", width, height, quadrants(width, height));
        scene.show(R"(/*{"INPUTS": [{"NAME": "inputImage", "TYPE": "image"}],
  "PASSES": [{"TARGET": "halved", "WIDTH": "$WIDTH / 2", "HEIGHT": "$HEIGHT / 2"},
             {"TARGET": "doubled", "WIDTH": "$WIDTH * 2", "HEIGHT": "$HEIGHT * 2"}, {}]}*/
void main() {
    vec2 size = vec2()" +
                       std::to_string(width) + ".0, " + std::to_string(height) + R"(.0);
    vec4 here = IMG_THIS_PIXEL(inputImage);
    float apart = distance(here, IMG_THIS_NORM_PIXEL(inputImage)) +
        distance(here, IMG_NORM_PIXEL(inputImage, isf_FragNormCoord)) +
        distance(here, IMG_NORM_PIXEL(inputImage, gl_FragCoord.xy / RENDERSIZE)) +
        distance(here, IMG_PIXEL(inputImage, isf_FragNormCoord * size)) +
        distance(IMG_SIZE(inputImage), size) + distance(_inputImage_imgRect, vec4(0.0, 0.0, size));
    float agree = apart < 0.01 ? 1.0 : 0.0;
    if (PASSINDEX == 0) {
        gl_FragColor = vec4(here.rgb, agree);
    } else if (PASSINDEX == 1) {
        vec4 c = IMG_THIS_PIXEL(halved);
        gl_FragColor = vec4(c.rgb, c.a * agree);
    } else {
        vec4 c = IMG_THIS_PIXEL(doubled);
        gl_FragColor = vec4(mix(vec3(0.5), 1.0 - c.rgb, c.a * agree), 1.0);
    }
})",
                   {{"inputImage", ShaderInputValue::ofText(image)}});
        const auto p = scene.frames({0.0});
        ASSERT_EQ(p.size(), 1u);
        expectRgb(p[0], 2, 2, 0, 255, 255);
        expectRgb(p[0], 29, 2, 255, 0, 255);
        expectRgb(p[0], 2, 29, 255, 255, 0);
        expectRgb(p[0], 29, 29, 0, 0, 0);
        EXPECT_TRUE(scene.log.empty()) << scene.log.front();
    }
}

TEST(ShaderPicture, TimeIsTheShowClockAndCompilingMayTakeFrames) {
    ShaderScene scene;
    scene.show(R"(/*{}*/
void main() { gl_FragColor = vec4(TIME / 10.0, float(FRAMEINDEX) / 255.0, 0.0, 1.0); })");
    const auto p = scene.frames({2.5, 3.0});
    ASSERT_EQ(p.size(), 2u);
    expectRgb(p[0], 5, 5, 0.25 * 255, 0, 0);
    expectRgb(p[1], 5, 5, 0.3 * 255, 1, 0);

    // In the background the first frames show the placeholder, never a wait.
    ScopedLogSink sink([](std::string_view line) { ADD_FAILURE() << line; });
    HeadlessCanvas canvas(scene.model, scene.backend(false), size, size);
    ASSERT_TRUE(canvas);
    Picture last = canvas.draw(0.0);
    for (int i = 0; i < 500 && last.at(5, 5)[2] == placeholder[2]; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        last = canvas.draw(4.0);
    }
    expectRgb(canvas.draw(5.0), 5, 5, 0.5 * 255, 0, 0);
}

TEST(ShaderPicture, BadShadersShowThePlaceholderWithOneLogLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"void main() {}", "no JSON header"},
        {"/*{\"INPUTS\": [{\"NAME\": \"a\", \"TYPE\": \"knob\"}]}*/ void main() {}",
         "unknown type"},
        {"/*{}*/\nvoid main() { gl_FragColor = vec4(undeclared); }", "error"},
        {"/*{\"PASSES\": [{\"TARGET\": \"a\"}, {}]}*/\nvoid main() { gl_FragColor = "
         "IMG_THIS_PIXEL(missingTarget); }",
         "error"},
        {"/*{\"PASSES\": [{\"TARGET\": \"a\", \"WIDTH\": \"$WIDTH / ($HEIGHT - $HEIGHT)\"}, "
         "{}]}*/\nvoid main() { gl_FragColor = IMG_THIS_PIXEL(a); }",
         "division by zero"},
        {"/*{\"PASSES\": [{\"TARGET\": \"a\", \"WIDTH\": \"$WIDTH * 1000\"}, {}]}*/\nvoid main() "
         "{ gl_FragColor = IMG_THIS_PIXEL(a); }",
         "beyond 1 to 4096"},
        {"/*{\"PASSES\": [{\"TARGET\": \"a\", \"FLOAT\": true, \"WIDTH\": 4096, \"HEIGHT\": "
         "4096}, {\"TARGET\": \"b\", \"FLOAT\": true, \"WIDTH\": 4096, \"HEIGHT\": 4096}, "
         "{}]}*/\nvoid main() { gl_FragColor = vec4(1.0); }",
         "MiB of buffers"},
        {"/*{\"INPUTS\": [{\"NAME\": \"inputImage\", \"TYPE\": \"image\"}]}*/\nvoid main() { "
         "gl_FragColor = IMG_THIS_PIXEL(inputImage); }",
         "missing"},
        {"/*{\"IMPORTED\": {\"logo\": {\"PATH\": \"nowhere.png\"}}}*/\nvoid main() { "
         "gl_FragColor = IMG_THIS_PIXEL(logo); }",
         "missing"},
    };
    for (const auto& [source, reason] : cases) {
        SCOPED_TRACE(source);
        ShaderScene scene;
        scene.show(source, {{"inputImage", ShaderInputValue::ofText("/no/such/clip.mov")}});
        const auto p = scene.frames({0.0, 1.0});
        ASSERT_EQ(p.size(), 2u);
        expectRgb(p[1], 16, 16, placeholder[0], placeholder[1], placeholder[2]);
        ASSERT_EQ(scene.log.size(), 1u);
        EXPECT_NE(scene.log[0].find("test.fs"), std::string::npos) << scene.log[0];
        EXPECT_NE(scene.log[0].find(reason), std::string::npos) << scene.log[0];
    }
}

TEST(ShaderPicture, AnEventIsTrueOnExactlyOneRenderedFrameAfterItsTrigger) {
    ShaderScene scene;
    scene.show(
        R"(/*{"INPUTS": [{"NAME": "bang", "TYPE": "event"}, {"NAME": "other", "TYPE": "event"}]}*/
void main() { gl_FragColor = vec4(bang ? 1.0 : 0.0, other ? 1.0 : 0.0, 0.0, 1.0); })");
    const Uuid id = scene.model.surfaces()[0].id;
    ShaderEvents& events = scene.model.shaderEvents();
    events.trigger(id, "bang"); // before the picture was made: not its to fire
    HeadlessCanvas canvas(scene.model, scene.backend(), size, size);
    ASSERT_TRUE(canvas);
    const auto red = [&](double t) { return canvas.draw(t).at(5, 5)[0]; };
    EXPECT_EQ(red(1.0), 0);
    events.trigger(id, "bang");
    events.trigger(id, "bang"); // twice before a frame: one frame
    const Picture fired = canvas.draw(2.0);
    EXPECT_EQ(fired.at(5, 5)[0], 255);
    EXPECT_EQ(fired.at(5, 5)[1], 0) << "only the input triggered";
    EXPECT_EQ(red(2.0), 255) << "the same frame drawn again";
    EXPECT_EQ(red(3.0), 0);
    EXPECT_EQ(red(4.0), 0);
    // Another surface's trigger of the same name is not this one's.
    events.trigger(Uuid::random(), "bang");
    EXPECT_EQ(red(5.0), 0);
    events.trigger(id, "bang");
    EXPECT_EQ(red(6.0), 255);
    // Set for a moment (a show on many machines): the first frame at it.
    events.triggerAt(id, "bang", 7.5);
    EXPECT_EQ(red(7.0), 0);
    EXPECT_EQ(red(8.0), 255);
    EXPECT_EQ(red(9.0), 0);
    EXPECT_TRUE(scene.log.empty());
}

} // namespace
} // namespace prismeta::test
