#include "GlTestSupport.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/Renderer.h"
#include "render/ShaderProgram.h"
#include "render/ShaderSources.h"
#include "render/UniformBlocks.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace prismeta::test {
namespace {

std::vector<std::string> captureLog(const std::function<void()>& action) {
    std::vector<std::string> lines;
    ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    action();
    return lines;
}

TEST(Pipeline, CompileErrorLogsOneLineAndYieldsNoProgram) {
    ASSERT_TRUE(useGlContext());
    unsigned program = 1;
    const auto lines = captureLog([&] {
        program = buildShaderProgram(surfaceVertexSource,
                                     "#version 330 core\nout vec4 c;\nvoid main() { c = oops; }\n");
    });
    EXPECT_EQ(program, 0u);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Prismeta: pipeline creation failed: ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), std::string("Prismeta: pipeline creation failed: ").size());
    EXPECT_EQ(lines[0].find('\n'), std::string::npos);
    EXPECT_NE(lines[0].find("oops"), std::string::npos) << lines[0];
}

TEST(Pipeline, LinkErrorLogsTheLinkerMessage) {
    ASSERT_TRUE(useGlContext());
    // A stage without main compiles but cannot be linked.
    const auto lines = captureLog([] {
        EXPECT_EQ(buildShaderProgram(blendVertexSource,
                                     "#version 330 core\nout vec4 c;\nvoid notMain() { c = "
                                     "vec4(1.0); }\n"),
                  0u);
    });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Prismeta: pipeline creation failed: ", 0), 0u) << lines[0];
}

TEST(Pipeline, UniformBlocksHaveTheRecordLayouts) {
    ASSERT_TRUE(useGlContext());
    const unsigned program = buildShaderProgram(surfaceVertexSource, surfaceFragmentSource);
    ASSERT_NE(program, 0u);
    const char* names[] = {"color", "opacity", "useTexture", "feather", "cropOrigin", "cropSize"};
    GLuint indices[6];
    glGetUniformIndices(program, 6, names, indices);
    GLint offsets[6];
    glGetActiveUniformsiv(program, 6, indices, GL_UNIFORM_OFFSET, offsets);
    EXPECT_EQ(offsets[0], static_cast<GLint>(offsetof(SurfaceUniforms, color)));
    EXPECT_EQ(offsets[1], static_cast<GLint>(offsetof(SurfaceUniforms, opacity)));
    EXPECT_EQ(offsets[2], static_cast<GLint>(offsetof(SurfaceUniforms, useTexture)));
    EXPECT_EQ(offsets[3], static_cast<GLint>(offsetof(SurfaceUniforms, feather)));
    EXPECT_EQ(offsets[4], static_cast<GLint>(offsetof(FrameUniforms, cropOrigin)));
    EXPECT_EQ(offsets[5], static_cast<GLint>(offsetof(FrameUniforms, cropSize)));
    GLint size = 0;
    glGetActiveUniformBlockiv(program, glGetUniformBlockIndex(program, "SurfaceUniforms"),
                              GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    EXPECT_LE(size, static_cast<GLint>(sizeof(SurfaceUniforms)));
    glGetActiveUniformBlockiv(program, glGetUniformBlockIndex(program, "FrameUniforms"),
                              GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    EXPECT_EQ(size, static_cast<GLint>(sizeof(FrameUniforms)));
    glDeleteProgram(program);
}

TEST(Pipeline, BlendUniformsHaveTheRecordLayout) {
    ASSERT_TRUE(useGlContext());
    const unsigned program = buildShaderProgram(blendVertexSource, blendFragmentSource);
    ASSERT_NE(program, 0u);
    const char* names[] = {"blackLevel", "cropOrigin", "cropSize", "curve", "gamma"};
    GLuint indices[5];
    glGetUniformIndices(program, 5, names, indices);
    GLint offsets[5];
    glGetActiveUniformsiv(program, 5, indices, GL_UNIFORM_OFFSET, offsets);
    EXPECT_EQ(offsets[0], static_cast<GLint>(offsetof(BlendUniforms, blackLevel)));
    EXPECT_EQ(offsets[1], static_cast<GLint>(offsetof(BlendUniforms, cropOrigin)));
    EXPECT_EQ(offsets[2], static_cast<GLint>(offsetof(BlendUniforms, cropSize)));
    EXPECT_EQ(offsets[3], static_cast<GLint>(offsetof(BlendUniforms, curve)));
    EXPECT_EQ(offsets[4], static_cast<GLint>(offsetof(BlendUniforms, gamma)));
    GLint size = 0;
    glGetActiveUniformBlockiv(program, glGetUniformBlockIndex(program, "BlendUniforms"),
                              GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    EXPECT_LE(size, static_cast<GLint>(sizeof(BlendUniforms)));
    glDeleteProgram(program);
}

TEST(Pipeline, RendererIsMadeAndLogsNothing) {
    ASSERT_TRUE(useGlContext());
    ProjectModel model;
    std::unique_ptr<Renderer> renderer;
    const auto lines = captureLog([&] { renderer = Renderer::create(model, std::nullopt); });
    EXPECT_TRUE(renderer);
    EXPECT_TRUE(lines.empty());
}

} // namespace
} // namespace prismeta::test
