// Files copied between machines, edited by hand or half-synced: each either
// loads (and the model's operations stay safe on it) or fails with the load
// line, leaving the current project exactly as it was.
#include "HostileProjects.h"

#include "core/Log.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;

class HostileProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "prismeta-hostile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        model.addSurface();
        model.addOutput(OutputPreset::leftHalf);
        ASSERT_TRUE(model.save(dir / "current.json"));
        model.addSurface(); // one undo step and an unsaved change
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Loads the path and checks the outcome against the rules.
    void expectSafeLoad(const fs::path& path, bool mustLoad, const std::string& name) {
        const SurfaceList surfaces = model.surfaces();
        const auto outputs = model.outputs();
        const auto undoDepth = model.undoStack().size();
        logged.clear();
        const Status status = model.load(path);
        if (!status) {
            EXPECT_FALSE(mustLoad) << name << ": " << status.error;
            ASSERT_EQ(logged.size(), 1u) << name;
            EXPECT_EQ(logged[0].rfind("Prismeta: failed to load project: ", 0), 0u) << name;
            EXPECT_TRUE(model.surfaces().sharesStorageWith(surfaces)) << name;
            EXPECT_EQ(model.outputs(), outputs) << name;
            EXPECT_EQ(model.undoStack().size(), undoDepth) << name;
            EXPECT_EQ(model.documentURL(), dir / "current.json") << name;
            return;
        }
        EXPECT_TRUE(logged.empty()) << name;
        exerciseModel(name);
        // Whatever loaded can be saved again and reads back the same.
        ProjectModel again;
        const fs::path copy = dir / "resaved.json";
        ASSERT_TRUE(model.save(copy)) << name << ": " << (logged.empty() ? "" : logged.back());
        ASSERT_TRUE(again.load(copy)) << name;
        EXPECT_EQ(again.surfaces(), model.surfaces()) << name;
        // Back to a known project for the next case.
        ASSERT_TRUE(model.load(dir / "current.json"));
        model.addSurface();
    }

    // Every editing operation on every loaded surface, then undo it all.
    void exerciseModel(const std::string& name) {
        const std::size_t count = model.surfaces().size();
        for (std::size_t i = 0; i < count && i < 4; ++i) {
            model.setSelectedID(model.surfaces()[i].id);
            model.duplicateSelected();
            model.resetCorners();
            (void)model.surface({0.5f, 0.5f});
            model.deleteSelected();
        }
        model.addSurface();
        while (!model.undoStack().empty()) {
            model.undo();
        }
        EXPECT_EQ(model.surfaces().size(), count) << name;
        (void)model.hasUnsavedChanges();
    }

    fs::path dir;
    ProjectModel model;
    std::vector<std::string> logged;
    ScopedLogSink sink{[this](std::string_view line) { logged.emplace_back(line); }};
};

TEST_F(HostileProjectTest, EveryFileLoadsSafelyOrFailsWithTheLoadLine) {
    int loaded = 0;
    int refused = 0;
    for (const auto& project : testing::hostileProjects()) {
        const fs::path path = dir / "hostile.json";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << project.bytes;
        const bool before = model.surfaces().size() > 0;
        expectSafeLoad(path, project.mustLoad, project.name);
        EXPECT_TRUE(before);
        ++(project.mustLoad ? loaded : refused);
    }
    std::cout << "[ figures  ] " << loaded + refused << " hostile project files: " << loaded
              << " load safely, " << refused << " refused with the load line\n";
}

TEST_F(HostileProjectTest, PathsThatAreNotFilesFailWithoutBlocking) {
    fs::create_directory(dir / "folder.prismeta.json");
    ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
    expectSafeLoad(dir / "folder.prismeta.json", false, "folder");
    expectSafeLoad(dir / "fifo.json", false, "FIFO");
    expectSafeLoad("/dev/zero", false, "/dev/zero");
    expectSafeLoad(dir / "never-existed.json", false, "missing");

    // Chosen in a dialog, then gone before it is read.
    const fs::path vanishing = dir / "vanishing.json";
    std::ofstream(vanishing) << "{}";
    fs::remove(vanishing);
    expectSafeLoad(vanishing, false, "vanished");
}

TEST_F(HostileProjectTest, SurfacesSharingAnIdStayDistinctInTheModel) {
    for (const auto& project : testing::hostileProjects()) {
        if (project.name != "two surfaces sharing one id") {
            continue;
        }
        std::ofstream(dir / "twins.json") << project.bytes;
        ASSERT_TRUE(model.load(dir / "twins.json"));
        ASSERT_EQ(model.surfaces().size(), 2u);
        EXPECT_EQ(model.surfaces()[0].id, model.surfaces()[1].id);
        EXPECT_NE(model.surfaces()[0].mediaKind, model.surfaces()[1].mediaKind);
        // Edits through the selection reach the first of the two only.
        auto binding = model.selectedSurface();
        ASSERT_TRUE(binding);
        Surface s = binding->get();
        s.name = "first twin";
        binding->set(s);
        EXPECT_EQ(model.surfaces()[0].name, "first twin");
        EXPECT_EQ(model.surfaces()[1].name, "Surface");
    }
}

} // namespace
} // namespace prismeta
