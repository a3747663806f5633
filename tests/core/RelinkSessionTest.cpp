// The review behind "Relink Missing Media…" on a real folder: what it lists,
// what a folder search adds, and how accepting changes the model and its
// undo history.
#include "ScratchFolder.h"

#include "core/ProjectModel.h"
#include "core/RelinkSession.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;

Surface mediaSurface(const std::string& name, MediaKind kind, const std::string& path) {
    Surface s;
    s.name = name;
    s.mediaKind = kind;
    s.mediaPath = path;
    return s;
}

// A project saved in its folder whose media lie beside it, though it names
// them at the places they had on another machine.
class RelinkSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        present = project.write("media/present.png", "p").string();
        project.write("media/intro.mov", "v");
        project.write("ref.png", "r");
        model.setSurfaces(std::vector<Surface>{
            mediaSurface("Left", MediaKind::video, "/Volumes/show/media/intro.mov"),
            mediaSurface("Here", MediaKind::image, present),
            mediaSurface("Lost", MediaKind::image, "/Volumes/show/media/lost.png"),
            mediaSurface("Right", MediaKind::video, "/Volumes/show/media/intro.mov"),
            mediaSurface("Unused", MediaKind::color, "/Volumes/show/media/intro.mov"),
        });
        model.setBackgroundImagePath("/Volumes/show/ref.png");
        ASSERT_TRUE(model.save(project / "show.prismeta.json"));
    }

    ScratchFolder project;
    std::string present;
    ProjectModel model;
};

TEST_F(RelinkSessionTest, ListsEveryMissingFileWithWhereItWasFound) {
    RelinkSession session(model);
    EXPECT_FALSE(session.checked());
    session.wait();
    ASSERT_TRUE(session.checked());
    EXPECT_FALSE(session.busy());
    EXPECT_EQ(session.projectFolder(), project.path());

    const auto& items = session.items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].path, "/Volumes/show/media/intro.mov");
    EXPECT_EQ(items[0].surfaceCount, 2u); // the colour surface does not show it
    EXPECT_EQ(items[0].surfaceNames, (std::vector<std::string>{"Left", "Right"}));
    EXPECT_EQ(items[0].found, project / "media/intro.mov");
    EXPECT_TRUE(items[0].accepted);

    EXPECT_EQ(items[1].path, "/Volumes/show/media/lost.png");
    EXPECT_EQ(items[1].found, std::nullopt);
    EXPECT_FALSE(items[1].accepted);

    EXPECT_EQ(items[2].path, "/Volumes/show/ref.png");
    EXPECT_TRUE(items[2].reference);
    EXPECT_EQ(items[2].surfaceCount, 0u);
    EXPECT_EQ(items[2].found, project / "ref.png");

    // A file not found cannot be accepted.
    session.setAccepted(1, true);
    EXPECT_FALSE(session.items()[1].accepted);
    EXPECT_EQ(session.acceptedCount(), 2u);
}

TEST_F(RelinkSessionTest, AFolderSearchFillsInAndOverridesWhatItFinds) {
    ScratchFolder elsewhere;
    elsewhere.write("archive/2023/media/lost.png", "l");
    elsewhere.write("archive/2023/media/intro.mov", "v2");

    RelinkSession session(model);
    EXPECT_FALSE(session.searchFolder(elsewhere.path())); // not before the check
    session.wait();
    session.setAccepted(0, false);
    ASSERT_TRUE(session.searchFolder(elsewhere.path()));
    EXPECT_TRUE(session.busy());
    EXPECT_FALSE(session.searchFolder(elsewhere.path())); // one at a time
    session.wait();

    const auto& items = session.items();
    EXPECT_EQ(session.searchedFolder(), elsewhere.path());
    EXPECT_EQ(items[0].found, elsewhere / "archive/2023/media/intro.mov");
    EXPECT_TRUE(items[0].accepted);
    EXPECT_EQ(items[1].found, elsewhere / "archive/2023/media/lost.png");
    EXPECT_TRUE(items[1].accepted);
    EXPECT_EQ(items[2].found, project / "ref.png"); // not in that folder: kept
}

TEST_F(RelinkSessionTest, AcceptingReplacesThePathsInOneUndoStep) {
    model.addSurface(); // some history of its own
    const std::size_t history = model.undoStack().size();
    const SurfaceList before = model.surfaces();

    RelinkSession session(model);
    session.wait();
    const RelinkSession::Applied applied = session.apply(model);
    EXPECT_EQ(applied.paths, 2u);
    EXPECT_EQ(applied.surfaces, 3u); // both video surfaces and the colour one
    EXPECT_TRUE(applied.reference);

    const std::string intro = (project / "media/intro.mov").string();
    EXPECT_EQ(model.surfaces()[0].mediaPath, intro);
    EXPECT_EQ(model.surfaces()[1].mediaPath, present);
    EXPECT_EQ(model.surfaces()[2].mediaPath, "/Volumes/show/media/lost.png");
    EXPECT_EQ(model.surfaces()[3].mediaPath, intro);
    EXPECT_EQ(model.surfaces()[4].mediaPath, intro);
    EXPECT_EQ(model.backgroundImagePath(), (project / "ref.png").string());
    EXPECT_EQ(model.undoStack().size(), history + 1);

    // Undo puts every surface path back at once; the reference path is not
    // in the undo history and stays.
    model.undo();
    EXPECT_EQ(model.surfaces(), before);
    EXPECT_EQ(model.backgroundImagePath(), (project / "ref.png").string());
}

TEST_F(RelinkSessionTest, BlendMapsAreListedAndRelinkedInAStepOfTheOutputs) {
    project.write("maps/left.png", "m");
    model.addOutput(OutputPreset::leftHalf);
    ASSERT_TRUE(model.setOutputBlendMap(model.outputs()[0].id, "/Volumes/show/maps/left.png"));
    RelinkSession session(model);
    session.wait();
    const auto& items = session.items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[2].path, "/Volumes/show/maps/left.png"); // after the surfaces' files
    EXPECT_EQ(items[2].blendMapOutputs, (std::vector<std::string>{"Left Half"}));
    EXPECT_EQ(items[2].found, project / "maps/left.png");

    const std::size_t history = model.undoStack().size();
    EXPECT_EQ(session.apply(model).outputs, 1u);
    EXPECT_EQ(model.outputs()[0].blendMap, (project / "maps/left.png").string());
    EXPECT_EQ(model.undoStack().size(), history + 2); // the surfaces' step, the outputs'
    model.undo();
    EXPECT_EQ(model.outputs()[0].blendMap, "/Volumes/show/maps/left.png");
}

TEST_F(RelinkSessionTest, NothingAcceptedChangesNothing) {
    RelinkSession session(model);
    session.wait();
    for (std::size_t i = 0; i < session.items().size(); ++i) {
        session.setAccepted(i, false);
    }
    const SurfaceList before = model.surfaces();
    EXPECT_EQ(session.apply(model).paths, 0u);
    EXPECT_TRUE(model.surfaces().sharesStorageWith(before));
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_EQ(model.backgroundImagePath(), "/Volumes/show/ref.png");
}

TEST_F(RelinkSessionTest, AProjectNeverSavedOnlyFindsWhatAFolderSearchFinds) {
    ProjectModel unsaved;
    unsaved.setSurfaces(
        std::vector<Surface>{mediaSurface("A", MediaKind::image, "/Volumes/show/ref.png")});
    RelinkSession session(unsaved);
    session.wait();
    EXPECT_EQ(session.projectFolder(), std::nullopt);
    ASSERT_EQ(session.items().size(), 1u);
    EXPECT_FALSE(session.items()[0].found);
    ASSERT_TRUE(session.searchFolder(project.path()));
    session.wait();
    EXPECT_EQ(session.items()[0].found, project / "ref.png");
}

TEST_F(RelinkSessionTest, DestroyedWhileSearchingWaitsForTheSearch) {
    // The search is cancelled, or has just finished; either way the
    // destructor waits for the thread and nothing outlives the session.
    ScratchFolder wide;
    for (int i = 0; i < 40; ++i) {
        fs::create_directories(wide / ("d" + std::to_string(i) + "/e/f"));
    }
    auto session = std::make_unique<RelinkSession>(model);
    session->wait();
    ASSERT_TRUE(session->searchFolder(wide.path()));
    session.reset();
    SUCCEED();
}

} // namespace
} // namespace prismeta
