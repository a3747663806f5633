// Finding moved media: which trailing components a stored path offers, the
// order candidates are tried in under a folder, and the search of a whole
// folder tree with its tie rule.
#include "ScratchFolder.h"

#include "core/MediaSearch.h"
#include "core/ProjectMedia.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;
using Parts = std::vector<std::string>;

TEST(StoredPathComponents, KeepOnlyWhatCanLieUnderAFolder) {
    EXPECT_EQ(storedPathComponents("/shows/tour/media/intro.mov"),
              (Parts{"shows", "tour", "media", "intro.mov"}));
    EXPECT_EQ(storedPathComponents("media/intro.mov"), (Parts{"media", "intro.mov"}));
    EXPECT_EQ(storedPathComponents("intro.mov"), (Parts{"intro.mov"}));
    EXPECT_EQ(storedPathComponents("//shows///./media/./intro.mov"),
              (Parts{"shows", "media", "intro.mov"}));
    // Nothing above a ".." is kept: a candidate never leaves the folder.
    EXPECT_EQ(storedPathComponents("/shows/old/../media/intro.mov"), (Parts{"media", "intro.mov"}));
    EXPECT_EQ(storedPathComponents("../../../etc/passwd"), (Parts{"etc", "passwd"}));
    // Paths saved on a system with drive letters or shares.
    EXPECT_EQ(storedPathComponents("C:\\Shows\\media\\intro.mov"),
              (Parts{"Shows", "media", "intro.mov"}));
    EXPECT_EQ(storedPathComponents("D:/media/intro.mov"), (Parts{"media", "intro.mov"}));
    EXPECT_EQ(storedPathComponents("\\\\server\\share\\intro.mov"),
              (Parts{"server", "share", "intro.mov"}));
    // Here a backslash is an ordinary character of a name.
    EXPECT_EQ(storedPathComponents("/clips/a\\b.mov"), (Parts{"clips", "a\\b.mov"}));
}

TEST(StoredPathComponents, PathsThatNameNoFileGiveNothing) {
    EXPECT_TRUE(storedPathComponents("").empty());
    EXPECT_TRUE(storedPathComponents("/").empty());
    EXPECT_TRUE(storedPathComponents("/shows/media/").empty());
    EXPECT_TRUE(storedPathComponents("/shows/..").empty());
    EXPECT_TRUE(storedPathComponents("/shows/.").empty());
    EXPECT_TRUE(storedPathComponents("/shows/media/../..").empty());
    EXPECT_TRUE(storedPathComponents("C:\\Shows\\").empty());
    EXPECT_TRUE(storedPathComponents(std::string("/a/b\0c.png", 10)).empty());
    EXPECT_TRUE(storedPathComponents("/" + std::string(maxStoredPathBytes, 'a')).empty());
}

TEST(StoredPathComponents, AVeryDeepPathKeepsItsLastComponents) {
    std::string path;
    for (int i = 0; i < 200; ++i) {
        path += "/d" + std::to_string(i);
    }
    path += "/clip.mov";
    const Parts parts = storedPathComponents(path);
    ASSERT_EQ(parts.size(), maxTrailingComponents);
    EXPECT_EQ(parts.back(), "clip.mov");
    EXPECT_EQ(parts.front(), "d137");
}

TEST(RelinkCandidates, LongestFirstUnderTheFolder) {
    EXPECT_EQ(relinkCandidates("/old/show/media/a.png", "/new"),
              (std::vector<fs::path>{"/new/old/show/media/a.png", "/new/show/media/a.png",
                                     "/new/media/a.png", "/new/a.png"}));
    EXPECT_EQ(relinkCandidates("media/a.png", "/new"),
              (std::vector<fs::path>{"/new/media/a.png", "/new/a.png"}));
    EXPECT_TRUE(relinkCandidates("/old/a.png", fs::path()).empty());
    EXPECT_TRUE(relinkCandidates("/old/media/", "/new").empty());
}

TEST(FindUnderFolder, TheLongestTrailingMatchWins) {
    ScratchFolder project;
    project.write("media/a.png", "deep");
    project.write("a.png", "flat");
    project.write("b.png", "b");
    fs::create_directories(project / "sub/b.png"); // a folder, not the file

    EXPECT_EQ(findUnderFolder("/Users/me/show/media/a.png", project.path()),
              project / "media/a.png");
    EXPECT_EQ(findUnderFolder("/Users/me/elsewhere/a.png", project.path()), project / "a.png");
    EXPECT_EQ(findUnderFolder("media/a.png", project.path()), project / "media/a.png");
    EXPECT_EQ(findUnderFolder("/old/sub/b.png", project.path()), project / "b.png");
    EXPECT_EQ(findUnderFolder("/old/../../b.png", project.path()), project / "b.png");
    EXPECT_EQ(findUnderFolder("/old/c.png", project.path()), std::nullopt);
    EXPECT_EQ(findUnderFolder("/old/media/", project.path()), std::nullopt);

    // A link to a file is the file.
    fs::create_symlink(project / "b.png", project / "linked.png");
    EXPECT_EQ(findUnderFolder("/old/linked.png", project.path()), project / "linked.png");
    fs::create_symlink(project / "absent.png", project / "dangling.png");
    EXPECT_EQ(findUnderFolder("/old/dangling.png", project.path()), std::nullopt);
}

TEST(IsMissing, OnlyWhatIsNotThere) {
    ScratchFolder folder;
    const fs::path file = folder.write("clip.mov", "x");
    EXPECT_FALSE(isMissing(file));
    EXPECT_FALSE(isMissing(folder.path())); // there, though no file
    EXPECT_TRUE(isMissing(folder / "absent.mov"));
    EXPECT_TRUE(isMissing(folder / "clip.mov/inside.mov")); // through a file
    EXPECT_TRUE(isMissing(folder / (std::string(5000, 'a') + ".mov")));
}

TEST(CheckMedia, PresentRelocatedOrMissing) {
    ScratchFolder project;
    const fs::path here = project.write("media/here.png", "x");
    project.write("media/moved.png", "x");

    EXPECT_EQ(checkMedia(here.string(), project.path()).state, MediaCheck::State::present);
    const MediaCheck moved = checkMedia("/gone/media/moved.png", project.path());
    EXPECT_EQ(moved.state, MediaCheck::State::relocated);
    EXPECT_EQ(moved.found, project / "media/moved.png");
    EXPECT_EQ(checkMedia("/gone/media/never.png", project.path()).state,
              MediaCheck::State::missing);
    // A relative path is tried as stored (against the working folder, as the
    // decoders would open it), then whole under the project's folder.
    EXPECT_EQ(checkMedia("media/moved.png", project.path()).found, project / "media/moved.png");
    // A project never saved has no folder to look in.
    EXPECT_EQ(checkMedia("/gone/media/moved.png", std::nullopt).state, MediaCheck::State::missing);
    // No path is nothing to look for.
    EXPECT_EQ(checkMedia("", project.path()).state, MediaCheck::State::present);
}

TEST(ProjectFolder, TheSavedFilesFolderMadeAbsolute) {
    EXPECT_EQ(projectFolder(std::nullopt), std::nullopt);
    EXPECT_EQ(projectFolder(fs::path("/shows/a.json")), fs::path("/shows"));
    EXPECT_EQ(projectFolder(fs::path("a.json")), fs::current_path());
}

TEST(MediaInUse, SurfacesThenTheReferenceThenShaderInputsOncePerPath) {
    std::vector<Surface> surfaces(8);
    surfaces[0].mediaKind = MediaKind::video;
    surfaces[0].mediaPath = "/m/loop.mov";
    surfaces[1].mediaKind = MediaKind::color; // keeps a path it does not show
    surfaces[1].mediaPath = "/m/old.png";
    surfaces[2].mediaKind = MediaKind::image;
    surfaces[2].mediaPath = "/m/still.png";
    surfaces[3].mediaKind = MediaKind::image;
    surfaces[3].mediaPath = "/m/loop.mov";
    surfaces[4].mediaKind = MediaKind::image;
    surfaces[4].mediaPath = "";
    surfaces[5].mediaKind = MediaKind::video; // no path
    // The files of a shader's image inputs; a surface of another kind keeps
    // its values without using them.
    surfaces[6].mediaKind = MediaKind::shader;
    surfaces[6].shaderInputs["a"] = ShaderInputValue::ofText("/m/wood.png");
    surfaces[6].shaderInputs["b"] = ShaderInputValue::ofText("/m/loop.mov");
    surfaces[6].shaderInputs["c"] = ShaderInputValue::ofText("");
    surfaces[6].shaderInputs["d"] = ShaderInputValue::ofNumber(2.0);
    surfaces[7].mediaKind = MediaKind::image;
    surfaces[7].shaderInputs["a"] = ShaderInputValue::ofText("/m/unused.png");

    const auto uses = mediaInUse(surfaces, std::string("/m/still.png"));
    ASSERT_EQ(uses.size(), 3u);
    EXPECT_EQ(uses[0].path, "/m/loop.mov");
    EXPECT_EQ(uses[0].surfaces, (std::vector<std::size_t>{0, 3}));
    EXPECT_FALSE(uses[0].reference);
    EXPECT_EQ(uses[1].path, "/m/still.png");
    EXPECT_EQ(uses[1].surfaces, (std::vector<std::size_t>{2}));
    EXPECT_TRUE(uses[1].reference);
    EXPECT_EQ(uses[0].inputs, (std::vector<std::size_t>{6}));
    EXPECT_EQ(uses[2].path, "/m/wood.png");
    EXPECT_TRUE(uses[2].surfaces.empty());
    EXPECT_EQ(uses[2].inputs, (std::vector<std::size_t>{6}));

    EXPECT_EQ(mediaInUse({}, std::string("")).size(), 0u);
}

// A folder holding clip.mov at several places, for the whole-tree search.
class FolderSearch : public ::testing::Test {
protected:
    void SetUp() override {
        folder.write("showB/intro/clip.mov", "B");
        folder.write("showA/intro/clip.mov", "A");
        folder.write("deep/x/y/clip.mov", "deep");
        folder.write("clip.mov", "top");
        folder.write("a/b/c/only.png", "only");
    }
    std::optional<FolderMatch> find(const std::string& stored,
                                    const FolderSearchLimits& limits = {}) {
        return searchFolderTree(folder.path(), {stored}, nullptr, limits).at(0);
    }
    // That stored finds file (below the folder) by its last `matched`
    // components, with so many ties where they are given.
    void expectFound(const std::string& stored, const std::string& file, std::size_t matched,
                     std::optional<std::size_t> ties = std::nullopt) {
        SCOPED_TRACE(stored);
        const auto match = find(stored);
        ASSERT_TRUE(match);
        EXPECT_EQ(match->file, folder / file);
        EXPECT_EQ(match->matchedComponents, matched);
        if (ties) {
            EXPECT_EQ(match->ties, *ties);
        }
    }
    ScratchFolder folder;
};

TEST_F(FolderSearch, MostTrailingComponentsWin) {
    expectFound("/old/showA/intro/clip.mov", "showA/intro/clip.mov", 3, 0);
    expectFound("/Volumes/old/x/y/clip.mov", "deep/x/y/clip.mov", 3);
}

TEST_F(FolderSearch, TiesGoToTheShallowestThenTheFirstInByteOrder) {
    // showA and showB both end in intro/clip.mov, at the same depth.
    expectFound("/old/other/intro/clip.mov", "showA/intro/clip.mov", 2, 1);
    // Only the name matches anywhere: the file at the top wins over three.
    expectFound("/old/unrelated/clip.mov", "clip.mov", 1, 3);
}

TEST_F(FolderSearch, NamesMatchExactlyAndMissingOnesFindNothing) {
    EXPECT_FALSE(find("/old/Clip.mov"));
    EXPECT_FALSE(find("/old/absent.mov"));
    EXPECT_FALSE(find("/old/intro/"));
    EXPECT_FALSE(find(""));
    // Several stored paths in one walk, each with its own answer.
    const auto all = searchFolderTree(folder.path(), {"/o/only.png", "/o/none.png", "/o/clip.mov"});
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->file, folder / "a/b/c/only.png");
    EXPECT_FALSE(all[1]);
    EXPECT_EQ(all[2]->file, folder / "clip.mov");
}

TEST_F(FolderSearch, LimitsCancelAndLinkCyclesEndTheWalk) {
    FolderSearchLimits shallow;
    shallow.maxDepth = 2;
    EXPECT_FALSE(find("/o/only.png", shallow)); // three folders down
    shallow.maxDepth = 3;
    EXPECT_TRUE(find("/o/only.png", shallow));

    FolderSearchLimits few;
    few.maxEntries = 1;
    EXPECT_FALSE(find("/o/only.png", few));

    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(searchFolderTree(folder.path(), {"/o/clip.mov"}, &cancelled).at(0));

    // A link back up is not followed: the walk ends and finds the same.
    fs::create_directory_symlink(folder.path(), folder / "showA/loop");
    const auto match = find("/old/showB/intro/clip.mov");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->file, folder / "showB/intro/clip.mov");

    EXPECT_FALSE(searchFolderTree(folder / "absent", {"/o/clip.mov"}).at(0));
}

TEST_F(FolderSearch, UnreadableFoldersAreSkipped) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    fs::permissions(folder / "showA", fs::perms::none);
    const auto match = find("/old/showA/intro/clip.mov");
    fs::permissions(folder / "showA", fs::perms::owner_all);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->file, folder / "showB/intro/clip.mov");
}

} // namespace
} // namespace prismeta
