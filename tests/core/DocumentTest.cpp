#include "core/DocumentCommands.h"
#include "core/FileIO.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "prismeta-doc-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void writeText(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
    std::vector<std::string> logged;
    ScopedLogSink sink{[this](std::string_view line) { logged.emplace_back(line); }};
};

void fillProject(ProjectModel& model) {
    model.addSurface();
    model.addSurface();
    Surface s = model.surfaces()[1];
    s.mediaKind = MediaKind::video;
    s.mediaPath = "/clips/loop.mov";
    s.mesh = WarpMesh::from(s.corners, 3, 2);
    model.replaceSurface(1, s);
    model.addOutput(OutputPreset::rightHalf);
    model.addOutput(OutputPreset::leftHalf);
    OutputConfig blended = model.outputs()[1];
    blended.blendRight = 0.2f;
    blended.blendCurve = 1.5f;
    blended.blendGamma = 2.2f;
    blended.blackLevel = {0.03f, 0.03f, 0.04f};
    model.replaceOutput(1, blended);
    model.setBackgroundImagePath("/ref/stage.jpg");
    model.setBackgroundOpacity(0.3);
}

TEST_F(DocumentTest, SaveThenLoadReproducesTheProject) {
    ProjectModel original;
    fillProject(original);
    const fs::path file = dir / "Show.prismeta.json";
    ASSERT_TRUE(original.save(file));
    EXPECT_EQ(original.documentURL(), file);
    EXPECT_FALSE(original.hasUnsavedChanges());
    EXPECT_TRUE(logged.empty());

    ProjectModel loaded;
    loaded.setSnapEnabled(true);
    loaded.addSurface();
    ASSERT_TRUE(loaded.load(file));
    EXPECT_EQ(loaded.surfaces(), original.surfaces());
    EXPECT_EQ(loaded.outputs(), original.outputs());
    EXPECT_EQ(loaded.backgroundImagePath(), original.backgroundImagePath());
    EXPECT_EQ(loaded.backgroundOpacity(), 0.3);
    EXPECT_EQ(loaded.selectedID(), original.surfaces()[0].id);
    EXPECT_EQ(loaded.documentURL(), file);
    EXPECT_TRUE(loaded.undoStack().empty());
    EXPECT_TRUE(loaded.redoStack().empty());
    EXPECT_TRUE(loaded.snapEnabled());
    EXPECT_FALSE(loaded.hasUnsavedChanges());

    // The saved text is exactly what the writer produces.
    EXPECT_EQ(contents(file), writeProjectFile(original.makeFile()).value());
}

TEST_F(DocumentTest, BlendTestIsAViewStateThatNoFileKeeps) {
    ProjectModel model;
    fillProject(model);
    const fs::path file = dir / "Show.prismeta.json";
    ASSERT_TRUE(model.save(file));
    const Uuid id = model.outputs()[1].id;

    std::vector<ModelField> fields;
    Subscription s = model.subscribe([&fields](ModelField f) { fields.push_back(f); });
    model.setBlendTest(id, true);
    model.setBlendTest(id, true); // no change, no notification
    EXPECT_TRUE(model.blendTest(id));
    EXPECT_FALSE(model.blendTest(model.outputs()[0].id));
    EXPECT_EQ(fields, std::vector<ModelField>{ModelField::blendTest});
    EXPECT_FALSE(model.hasUnsavedChanges());
    EXPECT_EQ(writeProjectFile(model.makeFile()).value(), contents(file));

    // A load (even of the same file) and a new project end every blend test.
    ASSERT_TRUE(model.load(file));
    EXPECT_FALSE(model.blendTest(id));
    model.setBlendTest(id, true);
    model.newProject();
    EXPECT_FALSE(model.blendTest(id));
    model.setBlendTest(id, true);
    model.setBlendTest(id, false);
    EXPECT_FALSE(model.blendTest(id));
}

TEST_F(DocumentTest, NewProjectKeepsCanvasOpacityAndSnap) {
    ProjectModel model;
    ProjectFile file;
    file.canvasWidth = 1280;
    file.canvasHeight = 800;
    file.backgroundOpacity = 0.3;
    file.backgroundImagePath = "/r.png";
    file.surfaces.push_back(Surface());
    writeText(dir / "p.json", writeProjectFile(file).value());
    ASSERT_TRUE(model.load(dir / "p.json"));
    model.setSnapEnabled(true);
    model.addSurface();
    model.newProject();
    EXPECT_EQ(model.canvasSize(), (CanvasSize{1280, 800}));
    EXPECT_EQ(model.backgroundOpacity(), 0.3);
    EXPECT_TRUE(model.snapEnabled());
    EXPECT_TRUE(model.surfaces().empty());
    EXPECT_TRUE(model.outputs().empty());
    EXPECT_FALSE(model.backgroundImagePath());
    EXPECT_FALSE(model.selectedID());
    EXPECT_FALSE(model.documentURL());
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_FALSE(model.hasUnsavedChanges());
}

TEST_F(DocumentTest, AFailedLoadLogsOneLineAndChangesNothing) {
    ProjectModel model;
    fillProject(model);
    ASSERT_TRUE(model.save(dir / "current.json"));
    model.addSurface();
    const SurfaceList surfaces = model.surfaces();
    const std::size_t undoDepth = model.undoStack().size();

    std::string badKind = contents(dir / "current.json");
    badKind.replace(badKind.find("\"video\""), 7, "\"Video\"");
    writeText(dir / "badkind.json", badKind);
    writeText(dir / "empty.json", "");
    fs::create_directory(dir / "folder.json");
    ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);

    struct Case {
        fs::path path;
        const char* mentions;
    };
    const Case cases[] = {
        {dir / "missing.json", "No such file"},
        {dir / "badkind.json", "surfaces[1].mediaKind: \"Video\" is not a media kind"},
        {dir / "empty.json", "not valid JSON"},
        {dir / "folder.json", "is a folder"},
        {dir / "fifo.json", "not a regular file"}, // must not block
    };
    for (const Case& c : cases) {
        logged.clear();
        const Status status = model.load(c.path);
        EXPECT_FALSE(status);
        ASSERT_EQ(logged.size(), 1u) << c.path;
        EXPECT_EQ(logged[0], "Prismeta: failed to load project: " + status.error);
        EXPECT_NE(status.error.find(c.mentions), std::string::npos) << status.error;
        EXPECT_TRUE(model.surfaces().sharesStorageWith(surfaces));
        EXPECT_EQ(model.undoStack().size(), undoDepth);
        EXPECT_EQ(model.documentURL(), dir / "current.json");
        EXPECT_EQ(model.backgroundOpacity(), 0.3);
    }
}

TEST_F(DocumentTest, AFailedSaveLogsKeepsTheLocationAndLeavesNoLitter) {
    ProjectModel model;
    fillProject(model);
    ASSERT_TRUE(model.save(dir / "good.json"));
    const std::string good = contents(dir / "good.json");

    fs::create_directory(dir / "adir");
    writeText(dir / "plainfile", "x");
    for (const fs::path& bad :
         {dir / "no" / "such" / "folder.json", dir / "adir", dir / "plainfile" / "child.json"}) {
        logged.clear();
        const Status status = model.save(bad);
        EXPECT_FALSE(status) << bad;
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0], "Prismeta: failed to save project: " + status.error);
        EXPECT_EQ(model.documentURL(), dir / "good.json");
    }

    // A number that cannot be written fails before anything touches the disk.
    Surface s = model.surfaces()[0];
    s.feather = std::numeric_limits<float>::infinity();
    model.replaceSurface(0, s);
    logged.clear();
    EXPECT_FALSE(model.save(dir / "good.json"));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("surfaces[0].feather"), std::string::npos);
    EXPECT_EQ(contents(dir / "good.json"), good);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"adir", "good.json", "plainfile"}));
}

TEST_F(DocumentTest, AReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    ProjectModel model;
    fillProject(model);
    ASSERT_TRUE(model.save(dir / "show.json"));
    const std::string old = contents(dir / "show.json");
    model.addSurface();
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    const Status status = model.save(dir / "show.json");
    ::chmod(dir.c_str(), 0755);
    EXPECT_FALSE(status);
    EXPECT_EQ(contents(dir / "show.json"), old);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"show.json"}));
}

TEST_F(DocumentTest, SaveKeepsPermissionsAndWritesThroughSymbolicLinks) {
    ProjectModel model;
    fillProject(model);
    const fs::path real = dir / "real.json";
    writeText(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink("real.json", dir / "link.json");

    ASSERT_TRUE(model.save(dir / "link.json"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.json"));
    EXPECT_EQ(contents(real), writeProjectFile(model.makeFile()).value());
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"link.json", "real.json"}));
}

TEST_F(DocumentTest, AFullDiskLeavesTheOldFileWhole) {
    const fs::path target = dir / "show.json";
    {
        ProjectModel model;
        fillProject(model);
        ASSERT_TRUE(model.save(target));
    }
    const std::string old = contents(target);

    // The child saves a large project under a 4 KiB file-size limit.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ProjectModel big;
        for (int i = 0; i < 200; ++i) {
            big.addSurface();
        }
        bool loggedLine = false;
        ScopedLogSink childSink([&](std::string_view line) {
            loggedLine = line.rfind("Prismeta: failed to save project: ", 0) == 0;
        });
        const bool failed = !big.save(target);
        ::_exit(failed && loggedLine && !big.documentURL() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(contents(target), old);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"show.json"}));
}

TEST_F(DocumentTest, SavesUnderAnyNameTheSystemAllows) {
    ProjectModel model;
    fillProject(model);
    const std::string expected = writeProjectFile(model.makeFile()).value();
    // Names up to NAME_MAX (255 bytes), ASCII and two-byte characters; the
    // temporary file beside them must stay short.
    std::string accented;
    while (accented.size() < 250) {
        accented += "\xC3\xA9"; // é
    }
    for (const std::string& name : {std::string(246, 'a'), std::string(250, 'b') + ".json",
                                    std::string(255, 'c'), accented + ".json"}) {
        ASSERT_TRUE(model.save(dir / name)) << name.size();
        ASSERT_TRUE(model.save(dir / name)) << name.size(); // replacing it as well
        EXPECT_EQ(contents(dir / name), expected);
        EXPECT_EQ(filesInDir(), (std::vector<std::string>{name}));
        fs::remove(dir / name);
    }
}

TEST_F(DocumentTest, APathHoldingANulNamesNoFile) {
    ProjectModel model;
    fillProject(model);
    ASSERT_TRUE(model.save(dir / "show.json"));
    const std::string saved = contents(dir / "show.json");
    model.addSurface();
    // The system call would stop at the NUL and replace show.json.
    const fs::path withNul = (dir / "show.json").string() + std::string(1, '\0') + "other.json";
    logged.clear();
    EXPECT_FALSE(model.save(withNul));
    EXPECT_EQ(logged.size(), 1u);
    EXPECT_EQ(contents(dir / "show.json"), saved);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"show.json"}));
    EXPECT_FALSE(readRegularFile(withNul));
}

// Saves in a child process whose /proc is an empty folder (a container or a
// chroot without it), optionally without the privilege to link an open file
// by its descriptor. Exit 0: saved whole; 77: no mount namespace here.
int saveWithoutProc(const fs::path& target, bool dropLinkPrivilege) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0) {
            ::_exit(77);
        }
        if (dropLinkPrivilege) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2]{};
            if (::syscall(SYS_capget, &header, data) != 0) {
                ::_exit(77);
            }
            data[0].effective &= ~(1u << CAP_DAC_READ_SEARCH);
            if (::syscall(SYS_capset, &header, data) != 0) {
                ::_exit(77);
            }
        }
        ProjectModel model;
        fillProject(model);
        const bool saved = static_cast<bool>(model.save(target));
        const auto back = readRegularFile(target);
        ::_exit(saved && back && back.value() == writeProjectFile(model.makeFile()).value() ? 0
                                                                                            : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST_F(DocumentTest, SavesWhereProcIsNotMounted) {
    for (const bool drop : {false, true}) {
        const fs::path target = dir / (drop ? "unprivileged.json" : "privileged.json");
        const int result = saveWithoutProc(target, drop);
        if (result == 77) {
            GTEST_SKIP() << "no mount namespace for this user";
        }
        EXPECT_EQ(result, 0) << (drop ? "without" : "with") << " the link privilege";
    }
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"privileged.json", "unprivileged.json"}));
}

TEST_F(DocumentTest, UnsavedChangesFollowTheLastLoadedOrSavedFile) {
    ProjectModel model;
    EXPECT_FALSE(model.hasUnsavedChanges());
    model.addOutput(OutputPreset::full);
    EXPECT_TRUE(model.hasUnsavedChanges()); // never saved, not empty
    ASSERT_TRUE(model.save(dir / "a.json"));
    EXPECT_FALSE(model.hasUnsavedChanges());
    model.addSurface();
    EXPECT_TRUE(model.hasUnsavedChanges());
    model.undo();
    EXPECT_FALSE(model.hasUnsavedChanges()); // back to what the file holds
    model.setSnapEnabled(true);
    model.setSelectedID(Uuid::random());
    EXPECT_FALSE(model.hasUnsavedChanges()); // neither is in the file
    model.setBackgroundOpacity(0.9);
    EXPECT_TRUE(model.hasUnsavedChanges());
}

TEST_F(DocumentTest, ANewProjectCountsEveryFieldOfTheFileAsAChange) {
    ProjectModel fresh;
    fresh.setBackgroundImagePath("/photos/wall.png");
    EXPECT_TRUE(fresh.hasUnsavedChanges()); // a reference image alone is worth keeping
    fresh.setBackgroundImagePath(std::nullopt);
    EXPECT_FALSE(fresh.hasUnsavedChanges());
    fresh.setBackgroundOpacity(0.3);
    EXPECT_TRUE(fresh.hasUnsavedChanges());
    fresh.setBackgroundOpacity(0.5);
    fresh.setCanvasSize({1280.0, 800.0});
    EXPECT_TRUE(fresh.hasUnsavedChanges());

    // New keeps the canvas size and the opacity; they are the new baseline,
    // and a change of either after New counts again.
    ProjectModel model;
    fillProject(model);
    model.setBackgroundOpacity(0.3);
    ASSERT_TRUE(model.save(dir / "a.json"));
    model.newProject();
    EXPECT_FALSE(model.hasUnsavedChanges());
    model.setBackgroundOpacity(0.8);
    EXPECT_TRUE(model.hasUnsavedChanges());
    model.setBackgroundOpacity(0.3);
    model.setBackgroundImagePath("/photos/wall.png");
    EXPECT_TRUE(model.hasUnsavedChanges());
}

TEST_F(DocumentTest, SaveRuleAsksOnlyWithoutALocation) {
    ProjectModel model;
    fillProject(model);
    int asked = 0;
    std::optional<fs::path> answer;
    const LocationChooser chooser = [&]() {
        ++asked;
        return answer;
    };

    EXPECT_EQ(saveProject(model, chooser).kind, CommandOutcome::Kind::cancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(model.documentURL());

    answer = dir / "first.json";
    EXPECT_TRUE(saveProject(model, chooser).succeeded());
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(saveProject(model, chooser).succeeded());
    EXPECT_EQ(asked, 2); // no dialog the second time

    answer = dir / "second.json";
    EXPECT_TRUE(saveProjectAs(model, chooser).succeeded());
    EXPECT_EQ(model.documentURL(), dir / "second.json");
    model.addSurface();
    EXPECT_TRUE(saveProject(model, chooser).succeeded());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(contents(dir / "second.json"), writeProjectFile(model.makeFile()).value());

    answer = dir / "missing" / "x.json";
    const CommandOutcome failed = saveProjectAs(model, chooser);
    EXPECT_EQ(failed.kind, CommandOutcome::Kind::failed);
    EXPECT_FALSE(failed.error.empty());
    EXPECT_EQ(model.documentURL(), dir / "second.json");

    answer.reset();
    EXPECT_EQ(openProject(model, chooser).kind, CommandOutcome::Kind::cancelled);
    answer = dir / "first.json";
    EXPECT_TRUE(openProject(model, chooser).succeeded());
    EXPECT_EQ(model.surfaces().size(), 2u);
}

TEST(FileIO, ReadRefusesDevicesAndOversizedFiles) {
    EXPECT_FALSE(readRegularFile("/dev/zero"));
    EXPECT_FALSE(readRegularFile("/"));
    const auto small = readRegularFile("/proc/self/status", 16);
    EXPECT_FALSE(small && small.value().size() > 16);
}

} // namespace
} // namespace prismeta
