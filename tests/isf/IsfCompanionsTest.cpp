// Collecting a project with shader surfaces: each shader goes into a folder
// of its own with its vertex stage and imported images at their places
// beside it, image inputs' files are copied like media, and the copy of the
// project names the copies.
#include "../core/ScratchFolder.h"

#include "core/ProjectCollector.h"
#include "core/ProjectFile.h"
#include "isf/IsfCompanions.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using test::contentsOf;
using test::ScratchFolder;

Surface shaderSurface(const std::string& path, ShaderInputs inputs = {}) {
    Surface s;
    s.mediaKind = MediaKind::shader;
    s.mediaPath = path;
    s.shaderInputs = std::move(inputs);
    return s;
}

TEST(IsfCompanions, VertexStageAndImportedImagesInsideTheFolder) {
    ScratchFolder folder;
    const fs::path shader = folder.write("fx/glow.fs", R"(/*{"IMPORTED": {
        "noise": {"PATH": "tex/./noise.png"}, "again": {"PATH": "tex/noise.png"},
        "up": {"PATH": "../shared.png"}, "root": {"PATH": "/etc/hosts"}}}*/
void main() { gl_FragColor = IMG_THIS_PIXEL(noise); })");
    folder.write("fx/glow.vs", "void main() { isf_vertShaderInit(); }");
    const ShaderCompanions found = isfCompanions(shader);
    EXPECT_EQ(found.files, (std::vector<std::string>{"glow.vs", "tex/noise.png"}));
    // (in the order of the names: the header is read as an object)
    EXPECT_EQ(found.outside, (std::vector<std::string>{"/etc/hosts", "../shared.png"}));

    // A header that does not parse brings its vertex stage only; a file that
    // cannot be read brings nothing.
    const fs::path broken = folder.write("fx/broken.fs", "/*{ not json */ void main() {}");
    folder.write("fx/broken.vs", "");
    EXPECT_EQ(isfCompanions(broken).files, (std::vector<std::string>{"broken.vs"}));
    EXPECT_TRUE(isfCompanions(folder / "fx/none.fs").files.empty());
}

TEST(IsfCompanions, CollectCarriesThemAndRewritesImageInputs) {
    ScratchFolder source;
    ScratchFolder target;
    const fs::path glow = source.write("fx/glow.fs", R"(/*{"IMPORTED": {
        "noise": {"PATH": "tex/noise.png"}, "up": {"PATH": "../shared.png"}}}*/
void main() { gl_FragColor = IMG_THIS_PIXEL(noise); })");
    source.write("fx/glow.vs", "vertex");
    source.write("fx/tex/noise.png", "noise");
    // Another shader of the same name, elsewhere, with nothing beside it.
    const fs::path other = source.write("more/glow.fs", "/*{}*/ void main() {}");
    const fs::path clip = source.write("clips/input.png", "picture");

    ProjectFile project;
    project.surfaces = {
        shaderSurface(glow.string(), {{"inputImage", ShaderInputValue::ofText(clip.string())},
                                      {"level", ShaderInputValue::ofNumber(0.5)}}),
        shaderSurface(other.string(), {{"inputImage", ShaderInputValue::ofText(clip.string())}})};
    CollectPlan plan =
        planCollect(project, source / "show.prismeta.json", target.path(), ExistingTarget::keep);
    plan.shaderCompanions = isfCompanions;
    ASSERT_EQ(plan.media.size(), 3u);
    EXPECT_EQ(plan.media[0].target, target / "media/glow/glow.fs");
    EXPECT_EQ(plan.media[1].target, target / "media/glow 2/glow.fs");
    EXPECT_EQ(plan.media[2].target, target / "media/input.png");

    const CollectReport report = collectProject(plan);
    EXPECT_TRUE(report.projectWritten);
    EXPECT_EQ(report.copied, 5u);
    ASSERT_EQ(report.notCopied.size(), 1u);
    EXPECT_EQ(report.notCopied[0].storedPath, (source / "shared.png").string());
    EXPECT_EQ(target.listing(),
              (std::vector<std::string>{
                  "media", "media/glow", "media/glow 2", "media/glow 2/glow.fs",
                  "media/glow/glow.fs", "media/glow/glow.vs", "media/glow/tex",
                  "media/glow/tex/noise.png", "media/input.png", "show.prismeta.json"}));
    EXPECT_EQ(contentsOf(target / "media/glow/tex/noise.png"), "noise");
    EXPECT_EQ(contentsOf(target / "media/glow/glow.vs"), "vertex");

    const auto copy = readProjectFile(contentsOf(target / "show.prismeta.json"));
    ASSERT_TRUE(copy.ok()) << copy.error();
    const std::vector<Surface>& surfaces = copy.value().surfaces;
    ASSERT_EQ(surfaces.size(), 2u);
    EXPECT_EQ(surfaces[0].mediaPath, (target / "media/glow/glow.fs").string());
    EXPECT_EQ(surfaces[1].mediaPath, (target / "media/glow 2/glow.fs").string());
    const std::string copiedClip = (target / "media/input.png").string();
    EXPECT_EQ(surfaces[0].shaderInputs.at("inputImage"), ShaderInputValue::ofText(copiedClip));
    EXPECT_EQ(surfaces[0].shaderInputs.at("level"), ShaderInputValue::ofNumber(0.5));
    EXPECT_EQ(surfaces[1].shaderInputs.at("inputImage"), ShaderInputValue::ofText(copiedClip));

    // Collected there again, replacing: a shader's folder is what is taken.
    const CollectPlan again =
        planCollect(project, source / "show.prismeta.json", target.path(), ExistingTarget::replace);
    EXPECT_EQ(again.taken,
              (std::vector<fs::path>{target / "show.prismeta.json", target / "media/glow",
                                     target / "media/glow 2", target / "media/input.png"}));
}

TEST(IsfCompanions, CollectWritesNothingOutsideAShadersFolder) {
    ScratchFolder source;
    ScratchFolder target;
    const fs::path shader = source.write("fx/glow.fs", "/*{}*/ void main() {}");
    source.write("secret.txt", "not for the copy");
    ProjectFile project;
    project.surfaces = {shaderSurface(shader.string())};
    CollectPlan plan = planCollect(project, std::nullopt, target / "show", ExistingTarget::keep);
    // A reader that names files out of the folder is not followed there.
    plan.shaderCompanions = [](const fs::path&) {
        return ShaderCompanions{{"../secret.txt", "a/../../secret.txt", "/tmp/x"}, {}};
    };
    const CollectReport report = collectProject(plan);
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.copied, 1u);
    EXPECT_EQ(target.listing(),
              (std::vector<std::string>{"show", "show/Untitled.prismeta.json", "show/media",
                                        "show/media/glow", "show/media/glow/glow.fs"}));
}

} // namespace
} // namespace prismeta
