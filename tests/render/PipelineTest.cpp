#include "GlTestSupport.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/Renderer.h"
#include "render/ShaderProgram.h"
#include "render/ShaderSources.h"
#include "render/UniformBlocks.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace prismeta::test {
namespace {

std::vector<std::string> pipelineLog(const std::function<void()>& action) {
    std::vector<std::string> lines;
    ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    action();
    return lines;
}

TEST(Pipeline, CompileErrorLogsOneLineAndYieldsNoProgram) {
    ASSERT_TRUE(useGlContext());
    unsigned program = 1;
    const auto lines = pipelineLog([&] {
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
    const auto lines = pipelineLog([] {
        EXPECT_EQ(buildShaderProgram(blendVertexSource,
                                     "#version 330 core\nout vec4 c;\nvoid notMain() { c = "
                                     "vec4(1.0); }\n"),
                  0u);
    });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Prismeta: pipeline creation failed: ", 0), 0u) << lines[0];
}

// A member of a uniform block and where its record puts it.
struct BlockMember {
    const char* name;
    std::size_t offset;
};

// The linker's std140 offsets of the program's block members against their
// records' offsets.
void expectMemberOffsets(unsigned program, const std::vector<BlockMember>& members) {
    std::vector<const char*> names;
    for (const BlockMember& member : members) {
        names.push_back(member.name);
    }
    const auto count = static_cast<GLsizei>(members.size());
    std::vector<GLuint> indices(members.size(), GL_INVALID_INDEX);
    glGetUniformIndices(program, count, names.data(), indices.data());
    std::vector<GLint> offsets(members.size(), -1);
    glGetActiveUniformsiv(program, count, indices.data(), GL_UNIFORM_OFFSET, offsets.data());
    for (std::size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(offsets[i], static_cast<GLint>(members[i].offset)) << members[i].name;
    }
}

GLint blockDataSize(unsigned program, const char* block) {
    GLint size = 0;
    glGetActiveUniformBlockiv(program, glGetUniformBlockIndex(program, block),
                              GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    return size;
}

TEST(Pipeline, UniformBlocksHaveTheRecordLayouts) {
    ASSERT_TRUE(useGlContext());
    const unsigned program = buildShaderProgram(surfaceVertexSource, surfaceFragmentSource);
    ASSERT_NE(program, 0u);
    expectMemberOffsets(program, {{"color", offsetof(SurfaceUniforms, color)},
                                  {"opacity", offsetof(SurfaceUniforms, opacity)},
                                  {"useTexture", offsetof(SurfaceUniforms, useTexture)},
                                  {"feather", offsetof(SurfaceUniforms, feather)},
                                  {"pictureScale", offsetof(SurfaceUniforms, pictureScale)},
                                  {"pictureCoding", offsetof(SurfaceUniforms, pictureCoding)},
                                  {"cropOrigin", offsetof(FrameUniforms, cropOrigin)},
                                  {"cropSize", offsetof(FrameUniforms, cropSize)}});
    EXPECT_LE(blockDataSize(program, "SurfaceUniforms"),
              static_cast<GLint>(sizeof(SurfaceUniforms)));
    EXPECT_EQ(blockDataSize(program, "FrameUniforms"), static_cast<GLint>(sizeof(FrameUniforms)));
    glDeleteProgram(program);
}

TEST(Pipeline, BlendUniformsHaveTheRecordLayout) {
    ASSERT_TRUE(useGlContext());
    const unsigned program = buildShaderProgram(blendVertexSource, blendFragmentSource);
    ASSERT_NE(program, 0u);
    expectMemberOffsets(program, {{"blackLevel", offsetof(BlendUniforms, blackLevel)},
                                  {"cropOrigin", offsetof(BlendUniforms, cropOrigin)},
                                  {"cropSize", offsetof(BlendUniforms, cropSize)},
                                  {"curve", offsetof(BlendUniforms, curve)},
                                  {"gamma", offsetof(BlendUniforms, gamma)}});
    EXPECT_LE(blockDataSize(program, "BlendUniforms"), static_cast<GLint>(sizeof(BlendUniforms)));
    glDeleteProgram(program);
}

TEST(Pipeline, RendererIsMadeAndLogsNothing) {
    ASSERT_TRUE(useGlContext());
    ProjectModel model;
    std::unique_ptr<Renderer> renderer;
    const auto lines = pipelineLog([&] { renderer = Renderer::create(model, std::nullopt); });
    EXPECT_TRUE(renderer);
    EXPECT_TRUE(lines.empty());
}

} // namespace
} // namespace prismeta::test
