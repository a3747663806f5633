// Collecting a project and its media into one folder: names, clashes with
// each other and with what is there, files that cannot be read, a full disk
// and cancelling, and the promise that no file is ever left half written
// under its name.
#include "ScratchFolder.h"

#include "core/ProjectCollector.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using test::contentsOf;
using test::ScratchFolder;

Surface mediaSurface(MediaKind kind, const std::string& path) {
    Surface s;
    s.mediaKind = kind;
    s.mediaPath = path;
    return s;
}

// Runs body in a child process (as an unprivileged user when asked and
// running as root) and returns its exit status; body returns the status.
int inChild(const std::function<int()>& body, bool unprivileged = false) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(NumberedName, GoesBeforeTheExtension) {
    EXPECT_EQ(numberedName("intro.mov", 2), "intro 2.mov");
    EXPECT_EQ(numberedName("clip.final.mov", 3), "clip.final 3.mov");
    EXPECT_EQ(numberedName("show.prismeta.json", 2), "show 2.prismeta.json");
    EXPECT_EQ(numberedName("Show.PRISMETA.JSON", 2), "Show 2.PRISMETA.JSON");
    EXPECT_EQ(numberedName("README", 2), "README 2");
    EXPECT_EQ(numberedName(".hidden", 2), ".hidden 2");
}

// The project lives in `source`, its media in several folders of it; the
// copy goes to `target`.
class Collect : public ::testing::Test {
protected:
    void SetUp() override {
        a = source.write("day1/loop.mov", std::string(300'000, 'a')).string();
        b = source.write("day2/loop.mov", "second loop").string();
        c = source.write("day2/LOOP.MOV", "third loop").string();
        still = source.write("stills/logo.png", "logo").string();
        model.setSurfaces(std::vector<Surface>{
            mediaSurface(MediaKind::video, a), mediaSurface(MediaKind::video, b),
            mediaSurface(MediaKind::video, c), mediaSurface(MediaKind::image, still),
            mediaSurface(MediaKind::image, still), mediaSurface(MediaKind::color, "/old/x.png")});
        model.setBackgroundImagePath(still);
        projectPath = source / "show.prismeta.json";
        ASSERT_TRUE(model.save(projectPath));
        original = contentsOf(projectPath);
    }

    CollectPlan plan(ExistingTarget existing = ExistingTarget::keep) {
        return planCollect(model.makeFile(), model.documentURL(), target.path(), existing);
    }

    // Whether a collect copied everything but the loop a, for a reason that
    // contains `why`, and wrote the project.
    bool onlyTheLoopFailed(const CollectReport& report, std::string_view why) const {
        return report.copied == 3 && report.notCopied.size() == 1 &&
               report.notCopied[0].storedPath == a &&
               report.notCopied[0].reason.find(why) != std::string::npos && report.projectWritten;
    }

    static ProjectFile readBack(const fs::path& file) {
        const auto read = readProjectFile(contentsOf(file));
        EXPECT_TRUE(read.ok()) << read.error();
        return read.ok() ? read.value() : ProjectFile{};
    }

    ScratchFolder source;
    ScratchFolder target;
    ProjectModel model;
    std::string a, b, c, still;
    fs::path projectPath;
    std::string original;
};

TEST_F(Collect, NamesClashingByLetterCaseAlone) {
    const CollectPlan p = plan();
    EXPECT_EQ(p.projectFile, target / "show.prismeta.json");
    ASSERT_EQ(p.media.size(), 4u);
    EXPECT_EQ(p.media[0].target, target / "media/loop.mov");
    EXPECT_EQ(p.media[1].target, target / "media/loop 2.mov");
    EXPECT_EQ(p.media[2].target, target / "media/LOOP 3.MOV");
    EXPECT_EQ(p.media[3].target, target / "media/logo.png");
    EXPECT_TRUE(p.taken.empty());

    ProjectModel untitled;
    untitled.addSurface();
    EXPECT_EQ(planCollect(untitled.makeFile(), std::nullopt, target.path(), ExistingTarget::keep)
                  .projectFile,
              target / "Untitled.prismeta.json");
}

TEST_F(Collect, CopiesEveryFileAndPointsTheCopyAtThem) {
    std::vector<CollectProgress> seen;
    const CollectReport report =
        collectProject(plan(), [&](const CollectProgress& p) { seen.push_back(p); });
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.copied, 4u);
    EXPECT_EQ(report.projectFile, target / "show.prismeta.json");

    EXPECT_EQ(contentsOf(target / "media/loop.mov"), contentsOf(a));
    EXPECT_EQ(contentsOf(target / "media/loop 2.mov"), "second loop");
    EXPECT_EQ(contentsOf(target / "media/LOOP 3.MOV"), "third loop");
    EXPECT_EQ(target.listing(), (std::vector<std::string>{"media", "media/LOOP 3.MOV",
                                                          "media/logo.png", "media/loop 2.mov",
                                                          "media/loop.mov", "show.prismeta.json"}));

    const ProjectFile copy = readBack(target / "show.prismeta.json");
    ProjectFile expected = model.makeFile();
    expected.surfaces[0].mediaPath = (target / "media/loop.mov").string();
    expected.surfaces[1].mediaPath = (target / "media/loop 2.mov").string();
    expected.surfaces[2].mediaPath = (target / "media/LOOP 3.MOV").string();
    expected.surfaces[3].mediaPath = (target / "media/logo.png").string();
    expected.surfaces[4].mediaPath = (target / "media/logo.png").string();
    expected.backgroundImagePath = (target / "media/logo.png").string();
    EXPECT_EQ(copy, expected); // the colour surface's unused path is kept

    // The original is as it was.
    EXPECT_EQ(contentsOf(projectPath), original);
    EXPECT_TRUE(fs::exists(a) && fs::exists(still));

    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().bytesTotal, 300'000u + 11 + 10 + 4);
    EXPECT_EQ(seen.back().bytesDone, seen.back().bytesTotal);
    EXPECT_EQ(seen.back().filesDone, 4u);
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].bytesDone, seen[i - 1].bytesDone);
    }
}

TEST_F(Collect, BlendMapsAreCopiedAndTheCopyNamesThem) {
    const std::string map = source.write("maps/left.png", "map").string();
    model.addOutput(OutputPreset::leftHalf);
    model.addOutput(OutputPreset::rightHalf);
    ASSERT_TRUE(model.setOutputBlendMap(model.outputs()[0].id, map));
    ASSERT_TRUE(model.setOutputBlendMap(model.outputs()[1].id, still)); // a file shared
    const CollectReport report = collectProject(plan());
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.copied, 5u);
    const ProjectFile copy = readBack(target / "show.prismeta.json");
    EXPECT_EQ(copy.outputs[0].blendMap, (target / "media/left.png").string());
    EXPECT_EQ(copy.outputs[1].blendMap, (target / "media/logo.png").string());
    EXPECT_EQ(contentsOf(target / "media/left.png"), "map");
}

TEST_F(Collect, MovedMediaAreCopiedFromWhereTheyAreFound) {
    // The project names a folder of another machine; the file lies beside it.
    model.setSurfaces(
        std::vector<Surface>{mediaSurface(MediaKind::image, "/Volumes/show/stills/logo.png"),
                             mediaSurface(MediaKind::image, "/Volumes/show/stills/gone.png")});
    model.setBackgroundImagePath(std::nullopt);
    ASSERT_TRUE(model.save(projectPath));
    const CollectReport report = collectProject(plan());
    EXPECT_EQ(report.copied, 1u);
    ASSERT_EQ(report.notCopied.size(), 1u);
    EXPECT_EQ(report.notCopied[0].storedPath, "/Volumes/show/stills/gone.png");
    EXPECT_NE(report.notCopied[0].reason.find("missing"), std::string::npos);
    EXPECT_TRUE(report.projectWritten);

    const ProjectFile copy = readBack(target / "show.prismeta.json");
    EXPECT_EQ(copy.surfaces[0].mediaPath, (target / "media/logo.png").string());
    EXPECT_EQ(copy.surfaces[1].mediaPath, "/Volumes/show/stills/gone.png");
    EXPECT_EQ(contentsOf(target / "media/logo.png"), "logo");
}

TEST_F(Collect, ExistingFilesAreAvoidedOrReplacedOnlyWhenAsked) {
    target.write("media/loop.mov", "already here");
    target.write("show.prismeta.json", "an older copy");

    const CollectPlan replacing = plan(ExistingTarget::replace);
    EXPECT_EQ(replacing.taken,
              (std::vector<fs::path>{target / "show.prismeta.json", target / "media/loop.mov"}));
    EXPECT_EQ(replacing.media[0].target, target / "media/loop.mov");

    // Keeping both: the new files take other names, the old ones stay.
    const CollectPlan keeping = plan(ExistingTarget::keep);
    EXPECT_TRUE(keeping.taken.empty());
    EXPECT_EQ(keeping.projectFile, target / "show 2.prismeta.json");
    EXPECT_EQ(keeping.media[0].target, target / "media/loop 2.mov");
    EXPECT_EQ(keeping.media[1].target, target / "media/loop 3.mov");
    EXPECT_TRUE(collectProject(keeping).complete());
    EXPECT_EQ(contentsOf(target / "media/loop.mov"), "already here");
    EXPECT_EQ(contentsOf(target / "show.prismeta.json"), "an older copy");

    // A file that appears after planning is not replaced either.
    const CollectPlan late = plan(ExistingTarget::keep);
    target.write("media/logo 2.png", "arrived meanwhile");
    const CollectReport report = collectProject(late);
    ASSERT_EQ(report.notCopied.size(), 1u);
    EXPECT_EQ(report.notCopied[0].storedPath, still);
    EXPECT_NE(report.notCopied[0].reason.find("already exists"), std::string::npos);
    EXPECT_EQ(contentsOf(target / "media/logo 2.png"), "arrived meanwhile");

    // Replacing, when asked to.
    EXPECT_TRUE(collectProject(replacing).complete());
    EXPECT_EQ(contentsOf(target / "media/loop.mov"), contentsOf(a));
    EXPECT_EQ(readBack(target / "show.prismeta.json").surfaces.size(), 6u);
}

TEST_F(Collect, TheOriginalProjectIsNeverReplaced) {
    // Collecting into the project's own folder, replacing allowed.
    const CollectPlan p =
        planCollect(model.makeFile(), model.documentURL(), source.path(), ExistingTarget::replace);
    EXPECT_EQ(p.projectFile, source / "show 2.prismeta.json");
    EXPECT_TRUE(collectProject(p).projectWritten);
    EXPECT_EQ(contentsOf(projectPath), original);

    // Nor through a link to it.
    fs::create_symlink(projectPath, target / "show.prismeta.json");
    EXPECT_EQ(plan(ExistingTarget::replace).projectFile, target / "show 2.prismeta.json");
}

TEST_F(Collect, FilesThatCannotBeReadAreReportedAndTheRestCopied) {
    // A folder and a FIFO where files were expected: neither blocks the copy.
    fs::remove(b);
    fs::create_directory(b);
    fs::remove(c);
    ASSERT_EQ(::mkfifo(c.c_str(), 0644), 0);
    const CollectReport report = collectProject(plan());
    EXPECT_EQ(report.copied, 2u);
    ASSERT_EQ(report.notCopied.size(), 2u);
    EXPECT_EQ(report.notCopied[0].storedPath, b);
    EXPECT_NE(report.notCopied[0].reason.find("not a regular file"), std::string::npos);
    EXPECT_EQ(report.notCopied[1].storedPath, c);
    EXPECT_TRUE(report.projectWritten);
    EXPECT_EQ(readBack(target / "show.prismeta.json").surfaces[1].mediaPath, b);
    EXPECT_FALSE(fs::exists(target / "media/loop 2.mov"));
}

TEST_F(Collect, AFileWithoutReadPermissionIsReported) {
    ASSERT_EQ(::chmod(a.c_str(), 0), 0);
    // Root reads anything: the collect runs as an unprivileged user then, who
    // may look into the source and write the target.
    ::chmod(source.path().c_str(), 0755);
    ::chmod(target.path().c_str(), 0777);
    const CollectPlan p = plan();
    const int status = inChild(
        [&] { return onlyTheLoopFailed(collectProject(p), "Permission denied") ? 0 : 1; }, true);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(target / "media/loop.mov"));
}

TEST_F(Collect, AFullDiskLeavesNoPartOfAFile) {
    // Under a 64 KiB file-size limit the 300 KB loop cannot be written; the
    // small files and the project can.
    const CollectPlan p = plan();
    const int status = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return onlyTheLoopFailed(collectProject(p), "File too large") ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    // No trace of the big file, not even under a temporary name.
    EXPECT_EQ(target.listing(),
              (std::vector<std::string>{"media", "media/LOOP 3.MOV", "media/logo.png",
                                        "media/loop 2.mov", "show.prismeta.json"}));
    EXPECT_EQ(readBack(target / "show.prismeta.json").surfaces[0].mediaPath, a);
}

TEST_F(Collect, CancellingStopsBeforeTheProjectIsWritten) {
    std::atomic<bool> cancel{false};
    const CollectReport report = collectProject(
        plan(),
        [&](const CollectProgress& p) {
            if (p.bytesDone > 0) {
                cancel = true; // during the first, large file
            }
        },
        &cancel);
    EXPECT_TRUE(report.cancelled);
    EXPECT_FALSE(report.projectWritten);
    EXPECT_EQ(report.copied, 0u);
    EXPECT_TRUE(target.listing().empty()); // not even the media folder it made
}

TEST_F(Collect, AFolderThatCannotBeMadeFailsEverything) {
    target.write("media", "a file where the media folder goes");
    const CollectReport report = collectProject(plan());
    EXPECT_EQ(report.copied, 0u);
    EXPECT_EQ(report.notCopied.size(), 4u);
    EXPECT_NE(report.notCopied[0].reason.find("cannot create"), std::string::npos);
    EXPECT_TRUE(report.projectWritten); // the project itself could still be written
    EXPECT_EQ(readBack(target / "show.prismeta.json").surfaces[0].mediaPath, a);
}

} // namespace
} // namespace prismeta
