#include "render/IsfProgram.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace prismeta {

namespace {

// From GL_KHR_parallel_shader_compile.
constexpr GLenum completionStatus = 0x91B1;

std::string infoLog(GLuint object, bool program) {
    GLint length = 0;
    if (program) {
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    } else {
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    }
    std::string log(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        if (program) {
            glGetProgramInfoLog(object, length, nullptr, log.data());
        } else {
            glGetShaderInfoLog(object, length, nullptr, log.data());
        }
    }
    return log;
}

GLuint compileStage(GLenum stage, const std::string& source) {
    const GLuint shader = glCreateShader(stage);
    if (shader != 0) {
        const GLchar* text = source.data();
        const GLint length = static_cast<GLint>(source.size());
        glShaderSource(shader, 1, &text, &length);
        glCompileShader(shader);
    }
    return shader;
}

} // namespace

std::string firstErrorLine(const std::string& log) {
    std::size_t start = 0;
    std::string fallback;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) {
            end = log.size();
        }
        std::string line = log.substr(start, end - start);
        while (!line.empty() &&
               (line.back() == '\0' || line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line.find("error") != std::string::npos || line.find("ERROR") != std::string::npos) {
            return line;
        }
        if (fallback.empty()) {
            fallback = line;
        }
        start = end + 1;
    }
    return fallback.empty() ? std::string("no information from the driver") : fallback;
}

IsfProgram::~IsfProgram() {
    if (vertex_ != 0) {
        glDeleteShader(vertex_);
    }
    if (fragment_ != 0) {
        glDeleteShader(fragment_);
    }
    if (program_ != 0) {
        glDeleteProgram(program_);
    }
}

void IsfProgram::start(const IsfGlsl& glsl) {
    parallel_ = epoxy_has_gl_extension("GL_KHR_parallel_shader_compile") ||
                epoxy_has_gl_extension("GL_ARB_parallel_shader_compile");
    vertex_ = compileStage(GL_VERTEX_SHADER, glsl.vertex);
    fragment_ = compileStage(GL_FRAGMENT_SHADER, glsl.fragment);
    program_ = glCreateProgram();
    if (program_ != 0 && vertex_ != 0 && fragment_ != 0) {
        glAttachShader(program_, vertex_);
        glAttachShader(program_, fragment_);
        glBindAttribLocation(program_, 0, "isf_position");
        glLinkProgram(program_);
    }
}

bool IsfProgram::finished() const {
    if (!parallel_ || program_ == 0) {
        return true;
    }
    GLint done = GL_TRUE;
    glGetProgramiv(program_, completionStatus, &done);
    return done == GL_TRUE;
}

std::string IsfProgram::link(const IsfShader& shader) {
    if (program_ == 0 || vertex_ == 0 || fragment_ == 0) {
        return "the driver made no program";
    }
    GLint ok = GL_FALSE;
    glGetShaderiv(vertex_, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        return "vertex stage: " + firstErrorLine(infoLog(vertex_, false));
    }
    glGetShaderiv(fragment_, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        return firstErrorLine(infoLog(fragment_, false));
    }
    glGetProgramiv(program_, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        return "link: " + firstErrorLine(infoLog(program_, true));
    }
    glDeleteShader(vertex_);
    glDeleteShader(fragment_);
    vertex_ = fragment_ = 0;

    const auto location = [this](const std::string& name) {
        return glGetUniformLocation(program_, name.c_str());
    };
    passIndex = location("PASSINDEX");
    renderSize = location("RENDERSIZE");
    time = location("TIME");
    timeDelta = location("TIMEDELTA");
    date = location("DATE");
    frameIndex = location("FRAMEINDEX");
    inputs.clear();
    inputFlips.clear();
    importedFlips.clear();
    samplerNames.clear();
    for (const IsfInput& input : shader.inputs) {
        inputs.push_back(location(input.name));
        inputFlips.push_back(isImageLike(input.type) ? location("isf_flip_" + input.name) : -1);
        if (isImageLike(input.type)) {
            samplerNames.push_back(input.name);
        }
    }
    for (const IsfImportedImage& image : shader.imported) {
        importedFlips.push_back(location("isf_flip_" + image.name));
        samplerNames.push_back(image.name);
    }
    for (const IsfPass& pass : shader.passes) {
        if (!pass.target.empty() && std::find(samplerNames.begin(), samplerNames.end(),
                                              pass.target) == samplerNames.end()) {
            samplerNames.push_back(pass.target);
        }
    }
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
    if (samplerNames.size() > static_cast<std::size_t>(units)) {
        return "the shader samples " + std::to_string(samplerNames.size()) +
               " images, the driver at most " + std::to_string(units);
    }
    glUseProgram(program_);
    for (std::size_t unit = 0; unit < samplerNames.size(); ++unit) {
        const GLint sampler = location(samplerNames[unit]);
        if (sampler >= 0) {
            glUniform1i(sampler, static_cast<GLint>(unit));
        }
    }
    glUseProgram(0);
    return {};
}

} // namespace prismeta
