#include "ToolRunner.h"

#include "core/ProjectFile.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using testing::runTool;
using testing::ToolRun;

ToolRun cli(const std::vector<std::string>& args) {
    return runTool(PRISMETA_CLI, args);
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "prismeta-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
};

TEST_F(CliTest, ValidateSummarisesAGoodProject) {
    ProjectFile file;
    file.canvasWidth = 1280;
    file.canvasHeight = 800;
    file.surfaces.resize(3);
    file.outputs.push_back(makeOutput(OutputPreset::leftHalf));
    file.outputs.push_back(makeOutput(OutputPreset::rightHalf));
    const fs::path path = write("show.json", writeProjectFile(file).value());
    const ToolRun run = cli({"validate", path.string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "3 surfaces, 2 outputs, canvas 1280x800\n");
    EXPECT_EQ(run.err, "");

    file.surfaces.resize(1);
    file.outputs.resize(1);
    write("one.json", writeProjectFile(file).value());
    EXPECT_EQ(cli({"validate", (dir / "one.json").string()}).out,
              "1 surface, 1 output, canvas 1280x800\n");
}

TEST_F(CliTest, ValidateReportsOnlyTheLoadLine) {
    const fs::path path = write("bad.json", "{\"canvasWidth\": 1}");
    const ToolRun run = cli({"validate", path.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Prismeta: failed to load project: missing required key \"backgroundOpacity\"\n");

    const ToolRun missing = cli({"validate", (dir / "nope.json").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.rfind("Prismeta: failed to load project: ", 0), 0u);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
}

TEST_F(CliTest, NormalizeRewritesInTheCanonicalForm) {
    const fs::path in = write("in.json", R"({"surfaces":[],"outputs":[],"canvasWidth":800,
        "canvasHeight":600,"backgroundOpacity":0.25,"extra":true})");
    const fs::path out = dir / "out.json";
    const ToolRun run = cli({"normalize", in.string(), "-o", out.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(read(out), "{\n  \"backgroundOpacity\": 0.25,\n  \"canvasHeight\": 600.0,\n"
                         "  \"canvasWidth\": 800.0,\n  \"outputs\": [],\n  \"surfaces\": []\n}\n");
    // Normalising a normalised file changes nothing.
    const fs::path again = dir / "again.json";
    EXPECT_EQ(cli({"normalize", "-o", again.string(), out.string()}).exitCode, 0);
    EXPECT_EQ(read(again), read(out));

    const ToolRun failed =
        cli({"normalize", in.string(), "-o", (dir / "no/such/out.json").string()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err.rfind("Prismeta: failed to save project: ", 0), 0u);
}

TEST_F(CliTest, HelpVersionAndUsageOnWrongArguments) {
    const ToolRun help = cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: prismeta-cli"), std::string::npos);
    EXPECT_EQ(help.err, "");
    const ToolRun version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "prismeta-cli " PRISMETA_VERSION "\n");

    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"validate"},
        {"validate", "a.json", "b.json"},
        {"validate", "--bogus"},
        {"normalize", "a.json"},
        {"normalize", "a.json", "-o"},
        {"normalize", "a.json", "-o", "x", "-o", "y"},
    };
    for (const auto& args : wrong) {
        const ToolRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: prismeta-cli"), std::string::npos);
    }
}

TEST_F(CliTest, TheBundledDemoValidates) {
    const ToolRun run = cli({"validate", PRISMETA_SOURCE_DIR "/examples/demo.prismeta.json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "4 surfaces, 2 outputs, canvas 1920x1080, 1 smooth mesh\n");
}

} // namespace
} // namespace prismeta
