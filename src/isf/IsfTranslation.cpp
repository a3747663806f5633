#include "isf/IsfTranslation.h"

#include "isf/IsfImplicitConversions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <vector>

namespace prismeta {

namespace {

std::string_view uniformType(IsfInputType type) {
    switch (type) {
    case IsfInputType::event:
    case IsfInputType::boolean:
        return "bool";
    case IsfInputType::longInt:
        return "int";
    case IsfInputType::floating:
        return "float";
    case IsfInputType::point2D:
        return "vec2";
    case IsfInputType::color:
        return "vec4";
    case IsfInputType::image:
    case IsfInputType::audio:
    case IsfInputType::audioFFT:
        return "sampler2D";
    }
    return "float";
}

// The named targets of the passes, each once.
std::vector<std::string> passTargets(const IsfShader& shader) {
    std::vector<std::string> targets;
    for (const IsfPass& pass : shader.passes) {
        if (!pass.target.empty() &&
            std::find(targets.begin(), targets.end(), pass.target) == targets.end()) {
            targets.push_back(pass.target);
        }
    }
    return targets;
}

// The declarations both stages share.
std::string declarations(const IsfShader& shader) {
    std::string text = "uniform int PASSINDEX;\n"
                       "uniform vec2 RENDERSIZE;\n"
                       "uniform float TIME;\n"
                       "uniform float TIMEDELTA;\n"
                       "uniform vec4 DATE;\n"
                       "uniform int FRAMEINDEX;\n";
    for (const IsfInput& input : shader.inputs) {
        text += "uniform ";
        text += uniformType(input.type);
        text += ' ';
        text += input.name;
        text += ";\n";
        if (isImageLike(input.type)) {
            text += "uniform bool isf_flip_" + input.name + ";\n";
        }
    }
    for (const IsfImportedImage& image : shader.imported) {
        text += "uniform sampler2D " + image.name + ";\n";
        text += "uniform bool isf_flip_" + image.name + ";\n";
    }
    for (const std::string& target : passTargets(shader)) {
        text += "uniform sampler2D " + target + ";\n";
        text += "const bool isf_flip_" + target + " = false;\n";
    }
    text += "vec2 isf_flipped(bool flip, vec2 c) { return flip ? vec2(c.x, 1.0 - c.y) : c; }\n"
            "#define IMG_SIZE(img) vec2(textureSize(img, 0))\n"
            "#define IMG_NORM_PIXEL(img, coord) texture(img, isf_flipped(isf_flip_##img, "
            "(coord)))\n"
            "#define IMG_PIXEL(img, coord) texture(img, isf_flipped(isf_flip_##img, "
            "(coord) / vec2(textureSize(img, 0))))\n"
            // The names of the first version of the format.
            "#define vv_FragNormCoord isf_FragNormCoord\n"
            "#define vv_vertShaderInit isf_vertShaderInit\n";
    // Each image's own values under the names older shaders read: its rect
    // in pixels (the whole texture), its size, whether it is stored flipped.
    // A name starting with '_' would give a reserved "__" macro; none is made.
    const auto perImage = [&text](const std::string& name) {
        if (name.front() == '_') {
            return;
        }
        text += "#define _" + name + "_imgRect vec4(0.0, 0.0, IMG_SIZE(" + name + "))\n";
        text += "#define _" + name + "_imgSize IMG_SIZE(" + name + ")\n";
        text += "#define _" + name + "_flip isf_flip_" + name + "\n";
    };
    for (const IsfInput& input : shader.inputs) {
        if (isImageLike(input.type)) {
            perImage(input.name);
        }
    }
    for (const IsfImportedImage& image : shader.imported) {
        perImage(image.name);
    }
    for (const std::string& target : passTargets(shader)) {
        perImage(target);
    }
    return text;
}

std::string lineDirective(int line) {
    return "#line " + std::to_string(line) + "\n";
}

} // namespace

std::string translateGlslIdioms(std::string_view code, bool fragmentStage) {
    const std::array<std::pair<std::string_view, std::string_view>, 9> renames = {{
        {"gl_FragColor", isfFragmentOutput},
        {"texture2D", "texture"},
        {"texture2DRect", "texture"},
        {"textureCube", "texture"},
        {"texture2DProj", "textureProj"},
        {"texture2DLod", "textureLod"},
        {"texture2DGrad", "textureGrad"},
        {"varying", fragmentStage ? "in" : "out"},
        {"attribute", "in"},
    }};
    std::string out;
    out.reserve(code.size() + code.size() / 8);
    std::size_t i = 0;
    bool lineStart = true;
    while (i < code.size()) {
        const char c = code[i];
        if (c == '/' && i + 1 < code.size() && code[i + 1] == '/') {
            const std::size_t end = code.find('\n', i);
            const std::size_t stop = end == std::string_view::npos ? code.size() : end;
            out.append(code.substr(i, stop - i));
            i = stop;
            continue;
        }
        if (c == '/' && i + 1 < code.size() && code[i + 1] == '*') {
            const std::size_t end = code.find("*/", i + 2);
            const std::size_t stop = end == std::string_view::npos ? code.size() : end + 2;
            out.append(code.substr(i, stop - i));
            i = stop;
            continue;
        }
        if (lineStart && c == '#') {
            // A #version of the GLSL 1.x original would come after ours.
            std::size_t word = i + 1;
            while (word < code.size() && (code[word] == ' ' || code[word] == '\t')) {
                ++word;
            }
            if (code.substr(word, 7) == "version") {
                out.append("// ");
            }
        }
        if (c == '\n') {
            lineStart = true;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            lineStart = false;
        }
        if (glslIdentifierChar(c) && !std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t end = i;
            while (end < code.size() && glslIdentifierChar(code[end])) {
                ++end;
            }
            const std::string_view word = code.substr(i, end - i);
            std::string_view replaced = word;
            for (const auto& [from, to] : renames) {
                if (word == from) {
                    replaced = to;
                    break;
                }
            }
            out.append(replaced);
            i = end;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            // A number with its suffix ("1e5", "2u") stays whole.
            std::size_t end = i;
            while (end < code.size() && (glslIdentifierChar(code[end]) || code[end] == '.')) {
                ++end;
            }
            out.append(code.substr(i, end - i));
            i = end;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

IsfGlsl translateIsf(const IsfShader& shader, std::string_view vertexCode) {
    const std::string shared = declarations(shader);
    IsfGlsl glsl;
    glsl.vertex = "#version 330 core\n"
                  "layout(location = 0) in vec2 isf_position;\n"
                  "out vec2 isf_FragNormCoord;\n" +
                  shared +
                  "void isf_vertShaderInit() {\n"
                  "    gl_Position = vec4(isf_position, 0.0, 1.0);\n"
                  "    isf_FragNormCoord = isf_position * 0.5 + 0.5;\n"
                  "}\n";
    if (vertexCode.empty()) {
        glsl.vertex += "void main() { isf_vertShaderInit(); }\n";
    } else {
        const ConvertedGlsl code = makeConversionsExplicit(translateGlslIdioms(vertexCode, false));
        glsl.vertex += code.helpers + lineDirective(1) + code.code;
    }
    const ConvertedGlsl code = makeConversionsExplicit(translateGlslIdioms(shader.code, true));
    // IMG_THIS_PIXEL is the image's pixel at the fragment's place in the
    // pass, scaled to the image (rarely the pass's size): as the normalised one.
    glsl.fragment = "#version 330 core\n"
                    "in vec2 isf_FragNormCoord;\n"
                    "out vec4 " +
                    std::string(isfFragmentOutput) + ";\n" + shared +
                    "#define IMG_THIS_NORM_PIXEL(img) IMG_NORM_PIXEL(img, isf_FragNormCoord)\n"
                    "#define IMG_THIS_PIXEL(img) IMG_NORM_PIXEL(img, isf_FragNormCoord)\n" +
                    code.helpers + lineDirective(shader.codeFirstLine) + code.code;
    return glsl;
}

} // namespace prismeta
