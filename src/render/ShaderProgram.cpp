#include "render/ShaderProgram.h"

#include "core/Log.h"

#include <epoxy/gl.h>

#include <string>

namespace prismeta {

namespace {

void logFailure(std::string infoLog) {
    // Info logs end in line breaks and sometimes a NUL; logLine joins the
    // lines inside with "; ".
    while (!infoLog.empty() && (infoLog.back() == '\0' || infoLog.back() == '\n' ||
                                infoLog.back() == '\r' || infoLog.back() == ' ')) {
        infoLog.pop_back();
    }
    if (infoLog.empty()) {
        infoLog = "no information from the driver";
    }
    logLine("Prismeta: pipeline creation failed: " + infoLog);
}

std::string shaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        glGetShaderInfoLog(shader, length, nullptr, log.data());
    }
    return log;
}

std::string programLog(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        glGetProgramInfoLog(program, length, nullptr, log.data());
    }
    return log;
}

GLuint compile(GLenum stage, std::string_view source) {
    const GLuint shader = glCreateShader(stage);
    if (shader == 0) {
        return 0;
    }
    const GLchar* text = source.data();
    const GLint length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        logFailure(shaderLog(shader));
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

unsigned buildShaderProgram(std::string_view vertexSource, std::string_view fragmentSource) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource);
    if (vertex == 0) {
        return 0;
    }
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource);
    if (fragment == 0) {
        glDeleteShader(vertex);
        return 0;
    }
    const GLuint program = glCreateProgram();
    if (program != 0) {
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
    }
    // The program keeps the compiled stages alive for as long as it needs them.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    if (program == 0) {
        return 0;
    }
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        logFailure(programLog(program));
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

} // namespace prismeta
