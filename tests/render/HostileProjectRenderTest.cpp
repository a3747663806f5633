// Hostile project files that load must also draw: one frame of the editor
// canvas and one of each of their outputs, with no GL error, with bounded
// work (the time it takes is measured by bench_render), and without leaving the renderers unable to
// draw the next, ordinary project.
#include "GlTestSupport.h"
#include "HostileProjects.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace prismeta::test {
namespace {

namespace fs = std::filesystem;

class HostileProjectRender : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(useGlContext());
        std::string pattern =
            (fs::temp_directory_path() / "prismeta-hostile-render-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        target_ = OffscreenFramebuffer::create(32, 18);
        editor_ = Renderer::create(model_, std::nullopt);
        output_ = Renderer::create(model_, OutputConfig{});
        ASSERT_TRUE(target_ && editor_ && output_);
    }
    static constexpr std::size_t maxHonestVertices = 4 * 21600;

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // An ordinary project: one opaque red surface over the whole canvas.
    void expectOrdinaryFrameAfter(const std::string& name) {
        ProjectModel plain;
        plain.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {1, 0, 0, 1})});
        for (Renderer* renderer : {editor_.get(), output_.get()}) {
            renderer->setModel(plain);
            if (renderer == output_.get()) {
                renderer->setOutputConfig(OutputConfig{});
            }
            renderer->draw(target_->target(), 0.0);
            const Picture picture{32, 18, target_->readPixels()};
            EXPECT_EQ(picture.at(16, 9), (std::array<int, 4>{255, 0, 0, 255}))
                << name << ": the next project does not draw";
            renderer->setModel(model_);
        }
    }

    fs::path dir_;
    ProjectModel model_;
    std::unique_ptr<OffscreenFramebuffer> target_;
    std::unique_ptr<Renderer> editor_;
    std::unique_ptr<Renderer> output_;
    std::vector<std::string> logged_;
    ScopedLogSink sink_{[this](std::string_view line) { logged_.emplace_back(line); }};
};

TEST_F(HostileProjectRender, EveryLoadableFileDrawsInTheEditorAndItsOutputs) {
    int drawn = 0;
    for (const auto& project : testing::hostileProjects()) {
        const fs::path path = dir_ / "hostile.prismeta.json";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << project.bytes;
        if (!model_.load(path)) {
            logged_.clear();
            continue; // the model tests check the refusals
        }
        editor_->draw(target_->target(), 0.0);
        // Broken geometry is skipped, never tessellated into millions of
        // cells; the largest honest mesh here has 3,600 (21,600 vertices).
        EXPECT_LE(editor_->frameVertexCount(), maxHonestVertices) << project.name;
        std::vector<OutputConfig> outputs = model_.outputs();
        if (outputs.empty()) {
            outputs.emplace_back();
        }
        for (const OutputConfig& output : outputs) {
            output_->setOutputConfig(output);
            output_->draw(target_->target(), 0.0);
            EXPECT_LE(output_->frameVertexCount(), maxHonestVertices) << project.name;
        }
        EXPECT_EQ(target_->readPixels().size(), 32u * 18u * 4u) << project.name;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << project.name;
        expectOrdinaryFrameAfter(project.name);
        EXPECT_TRUE(logged_.empty()) << project.name << ": " << logged_.front();
        logged_.clear();
        ++drawn;
    }
    std::cout << "[ figures  ] " << drawn << " hostile project files drawn by both renderers\n";
    EXPECT_GE(drawn, 15);
}

} // namespace
} // namespace prismeta::test
