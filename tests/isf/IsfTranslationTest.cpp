#include "isf/IsfTranslation.h"
#include "isf/IsfShaderFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace prismeta {
namespace {

TEST(IsfTranslation, RewritesWholeIdentifiersOutsideComments) {
    const std::string code = "#version 120\n"
                             "varying vec2 uv; // texture2D stays in comments\n"
                             "/* gl_FragColor too */ uniform sampler2D mytexture2D;\n"
                             "void main() { gl_FragColor = texture2D(mytexture2D, uv) + "
                             "texture2DLod(mytexture2D, uv, 0.0) * 1e2; }\n";
    const std::string fragment = translateGlslIdioms(code, true);
    EXPECT_EQ(fragment, "// #version 120\n"
                        "in vec2 uv; // texture2D stays in comments\n"
                        "/* gl_FragColor too */ uniform sampler2D mytexture2D;\n"
                        "void main() { isf_FragColor = texture(mytexture2D, uv) + "
                        "textureLod(mytexture2D, uv, 0.0) * 1e2; }\n");
    EXPECT_EQ(translateGlslIdioms("attribute vec2 p; varying vec2 v;", false),
              "in vec2 p; out vec2 v;");
}

#ifdef PRISMETA_GLSLANG_VALIDATOR
// Runs the reference compiler on one stage; its output when it refuses.
std::string refusal(const std::string& source, const char* stage) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("isf-translation-" + std::to_string(getpid()) + "." + stage);
    std::ofstream(file) << source;
    const std::string command =
        std::string(PRISMETA_GLSLANG_VALIDATOR) + " " + file.string() + " 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) {
            output += buffer;
        }
        if (pclose(pipe) == 0) {
            output.clear();
        }
    }
    std::filesystem::remove(file);
    return output;
}

TEST(IsfTranslation, ShadersWithEveryFeatureCompileAsGlsl330) {
    if (std::string(PRISMETA_GLSLANG_VALIDATOR).empty()) {
        GTEST_SKIP() << "glslangValidator is not installed";
    }
    const auto shader = parseIsfShader(R"(/*{
        "INPUTS": [
          {"NAME": "inputImage", "TYPE": "image"}, {"NAME": "go", "TYPE": "event"},
          {"NAME": "on", "TYPE": "bool"}, {"NAME": "mode", "TYPE": "long"},
          {"NAME": "level", "TYPE": "float"}, {"NAME": "at", "TYPE": "point2D"},
          {"NAME": "tint", "TYPE": "color"}, {"NAME": "sound", "TYPE": "audioFFT"}],
        "PASSES": [{"TARGET": "halved", "WIDTH": "$WIDTH/2"}, {"TARGET": "trail", "PERSISTENT": true}, {}],
        "IMPORTED": {"logo": {"PATH": "logo.png"}}
    }*/
#version 110
varying vec2 extra;
void main() {
    vec4 a = IMG_NORM_PIXEL(inputImage, isf_FragNormCoord) + IMG_THIS_PIXEL(halved);
    vec4 b = IMG_PIXEL(trail, gl_FragCoord.xy) + IMG_THIS_NORM_PIXEL(logo);
    vec2 s = IMG_SIZE(inputImage) + RENDERSIZE + at + extra;
    float t = TIME + TIMEDELTA + DATE.w + float(FRAMEINDEX + PASSINDEX + mode) + level;
    vec4 c = texture2D(sound, vec2(0.5)) * (go || on ? 1.0 : 0.0);
    gl_FragColor = a + b + c + tint * t + vec4(s, 0.0, 0.0);
}
)");
    ASSERT_TRUE(shader) << shader.error();
    const IsfGlsl glsl = translateIsf(shader.value(), "varying vec2 extra;\n"
                                                      "void main() {\n"
                                                      "    isf_vertShaderInit();\n"
                                                      "    extra = isf_FragNormCoord * 2.0;\n"
                                                      "}\n");
    EXPECT_EQ(refusal(glsl.fragment, "frag"), "") << glsl.fragment;
    EXPECT_EQ(refusal(glsl.vertex, "vert"), "") << glsl.vertex;
    EXPECT_EQ(refusal(translateIsf(shader.value()).vertex, "vert"), "");
}

TEST(IsfTranslation, BundledShadersCompile) {
    if (std::string(PRISMETA_GLSLANG_VALIDATOR).empty()) {
        GTEST_SKIP() << "glslangValidator is not installed";
    }
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(PRISMETA_SOURCE_DIR) + "/share/shaders")) {
        if (entry.path().extension() != ".fs") {
            continue;
        }
        ++count;
        const auto file = loadIsfShaderFile(entry.path().string());
        ASSERT_TRUE(file) << entry.path() << ": " << file.error();
        EXPECT_EQ(refusal(file->glsl.fragment, "frag"), "") << entry.path();
        EXPECT_FALSE(file->shader.description.empty()) << entry.path();
    }
    EXPECT_EQ(count, 10);
}

TEST(IsfTranslation, CollectionShadersOfOlderNamesAndLooseTypingCompile) {
    // vv_FragNormCoord (one in a .vs), _<image>_imgRect, an int returned
    // from a float function, ints stored in and compared with uints.
    const std::filesystem::path collection(PRISMETA_ISF_FILES);
    if (std::string(PRISMETA_GLSLANG_VALIDATOR).empty() ||
        !std::filesystem::is_directory(collection)) {
        GTEST_SKIP() << "glslangValidator or the ISF collection is missing";
    }
    for (const char* name : {"Poly Glitch", "Rotate", "Radial Replicate", "Trail Mask",
                             "Line Group", "Random Characters", "Tiny Date Time Overlay"}) {
        const auto file = loadIsfShaderFile((collection / (std::string(name) + ".fs")).string());
        ASSERT_TRUE(file) << name << ": " << file.error();
        EXPECT_EQ(refusal(file->glsl.fragment, "frag"), "") << name;
        EXPECT_EQ(refusal(file->glsl.vertex, "vert"), "") << name;
    }
}
#endif

} // namespace
} // namespace prismeta
