// Running cues on a model: tracked looks, GO and its undo step, Back and Go
// To, follows (a loop back to the first cue included), cue edits and their
// undo, the crossfade a GO leaves for the renderers, the blackout, and the
// document a running show leaves as it was.
#include "cues/CueRunner.h"
#include "core/ProjectModel.h"
#include "cues/CueEditing.h"
#include "cues/TrackedLook.h"

#include "../core/ScratchFolder.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

Surface colourSurface(const char* name, RGBA colour) {
    Surface surface;
    surface.name = name;
    surface.mediaKind = MediaKind::color;
    surface.color = colour;
    return surface;
}

CueLook opacityLook(const Uuid& surface, double opacity) {
    CueLook look;
    look.surface = surface;
    look.opacity = opacity;
    return look;
}

Cue cueOf(const char* name, std::vector<CueLook> looks, double fade = 0.0) {
    Cue cue;
    cue.name = name;
    cue.fade = fade;
    cue.looks = std::move(looks);
    return cue;
}

struct Show {
    ProjectModel model;
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner{model, showClock, wallClock};
    Uuid a;
    Uuid b;

    Show() {
        Surface first = colourSurface("A", {1, 0, 0, 1});
        Surface second = colourSurface("B", {0, 0, 1, 1});
        a = first.id;
        b = second.id;
        model.setSurfaces(std::vector<Surface>{first, second});
        // Cue 1 dims A, cue 2 dims B, cue 3 brings A back: each tracks the others.
        model.setCues(std::vector<Cue>{cueOf("One", {opacityLook(a, 0.5)}, 2.0),
                                       cueOf("Two", {opacityLook(b, 0.25)}, 1.0),
                                       cueOf("Three", {opacityLook(a, 1.0)})});
    }
    double opacity(const Uuid& id) const {
        for (const Surface& s : model.surfaces()) {
            if (s.id == id) {
                return s.opacity;
            }
        }
        return -1.0;
    }
};

TEST(CueRunner, GoAppliesOnlyTheListedFieldsAsOneNamedUndoStep) {
    Show show;
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.opacity(show.a), 0.5);
    EXPECT_EQ(show.opacity(show.b), 1.0);
    EXPECT_EQ(show.model.undoName(), "Go 'One'");
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.opacity(show.a), 0.5);
    EXPECT_EQ(show.opacity(show.b), 0.25);
    EXPECT_EQ(show.runner.liveIndex(), 1u);
    EXPECT_EQ(show.runner.state().fade, 1.0);

    show.model.undo();
    EXPECT_EQ(show.opacity(show.b), 1.0);
    EXPECT_EQ(show.model.undoName(), "Go 'One'");
    EXPECT_EQ(show.model.redoName(), "Go 'Two'");
    show.model.redo();
    EXPECT_EQ(show.opacity(show.b), 0.25);
}

TEST(CueRunner, UndoAndRedoOfAGoBringBackTheLiveCueOfTheLook) {
    Show show;
    int told = 0;
    show.runner.setListener([&told] { ++told; });
    ASSERT_TRUE(show.runner.go());
    ASSERT_TRUE(show.runner.go());
    ASSERT_TRUE(renameCue(show.model, 2, "Finale"));
    told = 0;

    show.model.undo(); // the rename: the look and the live cue stay
    EXPECT_EQ(show.runner.liveIndex(), 1u);
    EXPECT_EQ(told, 0);
    show.showClock.seconds = 5.0;
    show.model.undo(); // Go 'Two'
    EXPECT_EQ(show.runner.liveIndex(), 0u);
    EXPECT_EQ(show.runner.nextIndex(), 1u);
    EXPECT_EQ(show.runner.state().goTime, 5.0) << "a follow counts from the undo";
    EXPECT_EQ(told, 1);
    show.model.undo(); // Go 'One': no cue was live before it
    EXPECT_FALSE(show.runner.liveIndex());
    show.model.redo();
    show.model.redo();
    EXPECT_EQ(show.runner.liveIndex(), 1u);
    EXPECT_EQ(show.opacity(show.b), 0.25);

    // An edit after the undo is a look of its own: undoing it keeps the cue.
    show.model.undo();
    Surface edited = show.model.surfaces()[0];
    edited.opacity = 0.75;
    show.model.pushUndo();
    show.model.replaceSurface(0, edited);
    EXPECT_EQ(show.runner.liveIndex(), 0u);
    show.model.undo();
    EXPECT_EQ(show.runner.liveIndex(), 0u);
    EXPECT_EQ(show.runner.go(), true) << "GO goes on from the cue that is live again";
    EXPECT_EQ(show.runner.liveIndex(), 1u);
}

TEST(CueRunner, ARecordedCueIsLiveSoTheNextIsRecordedAfterIt) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface("A", {1, 0, 0, 1})});
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner(model, clock, wall);
    for (const char* name : {"First", "Second", "Third"}) {
        ASSERT_TRUE(runner.recorded(recordCue(model, runner.liveIndex(), name)));
    }
    ASSERT_EQ(model.cues().size(), 3u);
    EXPECT_EQ(model.cues()[0].name, "First");
    EXPECT_EQ(model.cues()[2].name, "Third");
    EXPECT_EQ(runner.liveIndex(), 2u);
    EXPECT_EQ(model.undoName(), "Record Cue") << "recording is no GO";
    EXPECT_FALSE(runner.recorded(3));
}

TEST(CueRunner, GoToAndBackShowTheTrackedLookHoweverTheCueIsReached) {
    Show show;
    ASSERT_TRUE(show.runner.goTo(1));
    EXPECT_EQ(show.opacity(show.a), 0.5) << "cue 1 is tracked into cue 2";
    EXPECT_EQ(show.opacity(show.b), 0.25);
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.opacity(show.a), 1.0);
    ASSERT_TRUE(show.runner.back());
    EXPECT_EQ(show.runner.liveIndex(), 1u);
    EXPECT_EQ(show.opacity(show.a), 0.5);
    EXPECT_EQ(show.runner.state().fade, 1.0) << "Back uses the cue's own fade";
    EXPECT_FALSE(show.runner.goTo(7));
}

TEST(CueRunner, GoOverridesTheFadeAndStopsAtTheLastCue) {
    Show show;
    show.showClock.seconds = 10.0;
    ASSERT_TRUE(show.runner.go(0.0));
    EXPECT_EQ(show.runner.state().fade, 0.0);
    EXPECT_EQ(show.runner.state().goTime, 10.0);
    EXPECT_TRUE(show.runner.go());
    EXPECT_TRUE(show.runner.go());
    EXPECT_FALSE(show.runner.go()) << "GO after the last cue does nothing";
    EXPECT_FALSE(show.runner.nextIndex());
}

TEST(CueRunner, TimedFollowsRunTheChainAndTheLastCueLoopsToTheFirst) {
    Show show;
    std::vector<Cue> cues = show.model.cues();
    cues[0].follow = CueFollow{CueFollow::Kind::seconds, 5.0};
    cues[1].follow = CueFollow{CueFollow::Kind::seconds, 0.0};
    cues[2].follow = CueFollow{CueFollow::Kind::seconds, 60.0};
    show.model.setCues(cues);

    ASSERT_EQ(show.runner.start(), 0u);
    show.showClock.seconds = 4.9;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 0u);
    EXPECT_NEAR(*show.runner.followIn(), 0.1, 1e-9);
    show.showClock.seconds = 5.0;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 1u);
    show.runner.tick(); // a follow of 0 goes on the next tick
    EXPECT_EQ(show.runner.liveIndex(), 2u);
    EXPECT_EQ(show.opacity(show.a), 1.0);
    show.showClock.seconds = 65.0;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 0u) << "the last cue follows back to the first";
    EXPECT_EQ(show.opacity(show.a), 0.5);
    EXPECT_EQ(show.opacity(show.b), 0.25) << "tracked, from the look on stage";
}

TEST(CueRunner, ASingleCueFollowingItselfDoesNotGoAgain) {
    Show show;
    std::vector<Cue> cues = {show.model.cues()[0]};
    cues[0].follow = CueFollow{CueFollow::Kind::seconds, 0.0};
    show.model.setCues(cues);
    ASSERT_EQ(show.runner.start(), 0u);
    const std::size_t steps = show.model.undoStack().size();
    show.showClock.seconds = 10.0;
    show.runner.tick();
    show.runner.tick();
    EXPECT_EQ(show.model.undoStack().size(), steps);
}

TEST(CueRunner, CrossfadeStartsFromWhatIsOnScreenAndEndsOnAnEditorChange) {
    Show show;
    show.showClock.seconds = 100.0;
    ASSERT_TRUE(show.runner.go()); // A: 1 -> 0.5 over 2 s
    const Surface surfaceA = show.model.surfaces()[0];
    const FadingLook* fading = show.runner.crossfade()->find(surfaceA, 101.0);
    ASSERT_NE(fading, nullptr);
    EXPECT_EQ(fading->from.opacity, 1.0);
    EXPECT_DOUBLE_EQ(fading->progress(101.0), 0.5);
    EXPECT_DOUBLE_EQ(show.runner.crossfade()->onScreen(surfaceA, 101.0).opacity, 0.75);

    // Halfway, Go To cue 3 (A back to 1 with a cut... given a fade of 4 s).
    show.showClock.seconds = 101.0;
    ASSERT_TRUE(show.runner.goTo(2, 4.0));
    const Surface nowA = show.model.surfaces()[0];
    fading = show.runner.crossfade()->find(nowA, 101.0);
    ASSERT_NE(fading, nullptr);
    EXPECT_DOUBLE_EQ(fading->from.opacity, 0.75) << "no jump: from what was on screen";
    const Surface nowB = show.model.surfaces()[1];
    EXPECT_NE(show.runner.crossfade()->find(nowB, 101.0), nullptr) << "B fades in cue 2's look";

    Surface edited = nowA;
    edited.opacity = 0.3;
    show.model.replaceSurface(0, edited);
    EXPECT_EQ(show.runner.crossfade()->find(show.model.surfaces()[0], 101.5), nullptr);
    EXPECT_EQ(show.runner.crossfade()->find(nowA, 105.0), nullptr) << "over after its fade";
}

TEST(CueRunner, ColourCrossfadeOnScreenIsThePremultipliedSum) {
    Surface from = colourSurface("S", {1, 0, 0, 1});
    Surface to = from;
    to.color = {0, 0, 1, 0.5f};
    const auto fade = Crossfade::start(nullptr, {from}, {to}, 0.0, 4.0);
    const Surface shown = fade->onScreen(to, 1.0); // p = 0.25
    const double alpha = 0.75 * 1.0 + 0.25 * 0.5;
    EXPECT_NEAR(shown.opacity * shown.color.a, alpha, 1e-6);
    EXPECT_NEAR(shown.color.r * shown.opacity, 0.75 / alpha * alpha, 1e-6);
    EXPECT_NEAR(shown.color.b * shown.opacity * shown.color.a, 0.25 * 0.5, 1e-6);
    EXPECT_EQ(Crossfade::start(nullptr, {from}, {to}, 0.0, 0.0)->size(), 0u) << "a cut";
}

TEST(CueRunner, StartIsACutAtTheGivenCueOrTheFirst) {
    Show show;
    EXPECT_EQ(show.runner.start(1), 1u);
    EXPECT_EQ(show.runner.crossfade()->size(), 0u);
    EXPECT_EQ(show.opacity(show.b), 0.25);
    ProjectModel empty;
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner none(empty, clock, wall);
    EXPECT_FALSE(none.start()) << "no cues: the project's own look";
}

TEST(CueRunner, BlackoutFadesFromTheLevelOnScreen) {
    Show show;
    show.showClock.seconds = 10.0;
    show.runner.setBlackout(true, 2.0);
    EXPECT_DOUBLE_EQ(show.runner.state().blackout.level(11.0), 0.5);
    show.showClock.seconds = 11.0;
    show.runner.setBlackout(false, 2.0);
    const Blackout& back = show.runner.state().blackout;
    EXPECT_DOUBLE_EQ(back.level(11.0), 0.5) << "no jump";
    EXPECT_DOUBLE_EQ(back.level(11.5), 0.25);
    EXPECT_DOUBLE_EQ(back.level(12.0), 0.0) << "the half left takes half the fade";
    EXPECT_EQ(show.model.undoStack().size(), 0u) << "the model is not touched";

    show.runner.setBlackoutFade(4.0);
    show.showClock.seconds = 20.0;
    show.runner.setBlackout(true);
    EXPECT_DOUBLE_EQ(show.runner.state().blackout.level(21.0), 0.25) << "the set fade";
    show.runner.setBlackoutFade(-3.0);
    EXPECT_EQ(show.runner.blackoutFade(), 0.0);
}

TEST(CueRunner, GoesSetAheadStartAtTheirMomentAndAnAdoptedRunnerGoesNowhere) {
    Show show;
    ASSERT_TRUE(show.runner.goTo(0)); // A at 0.5
    show.showClock.seconds = 10.0;
    show.runner.setGoAhead(0.1);
    // Cue 3 is a cut: set ahead, it too waits for its moment.
    ASSERT_TRUE(show.runner.goTo(2));
    EXPECT_DOUBLE_EQ(show.runner.state().goTime, 10.1);
    const Surface& drawn = show.model.surfaces()[0];
    EXPECT_DOUBLE_EQ(show.runner.crossfade()->onScreen(drawn, 10.09).opacity, 0.5);
    EXPECT_DOUBLE_EQ(show.runner.crossfade()->onScreen(drawn, 10.1).opacity, 1.0);
    show.runner.setBlackout(true, 0.0);
    EXPECT_DOUBLE_EQ(show.runner.state().blackout.level(10.09), 0.0);
    EXPECT_DOUBLE_EQ(show.runner.state().blackout.level(10.1), 1.0);

    // Another machine's state: shown as given; nothing here moves it.
    ShowState given;
    given.liveCue = show.model.cues()[0].id;
    given.goTime = 20.0;
    show.runner.adopt(given, nullptr);
    const SurfaceList before = show.model.surfaces();
    EXPECT_FALSE(show.runner.go());
    EXPECT_FALSE(show.runner.goTo(1));
    show.runner.setBlackout(true);
    show.runner.tick();
    EXPECT_EQ(show.runner.state(), given);
    EXPECT_TRUE(show.model.surfaces().sharesStorageWith(before));
}

// Running a show changes what is on screen, not the document: a start at a
// cue, GO, Back, Go To, a follow and the blackout leave nothing to save, and
// the file would hold the project's own looks. An edit while a cue is live is
// the document's, with the fields it changed only; its undo takes it back.
TEST(CueRunner, RunningAShowLeavesTheDocumentAsItWas) {
    test::ScratchFolder folder;
    Show show;
    std::vector<Cue> cues = show.model.cues();
    cues[0].follow = CueFollow{CueFollow::Kind::seconds, 1.0};
    show.model.setCues(std::move(cues));
    ASSERT_TRUE(show.model.save(folder / "show.prismeta.json"));
    const ProjectFile saved = show.model.makeFile();

    ASSERT_TRUE(show.runner.start(1));
    ASSERT_TRUE(show.runner.go());
    ASSERT_TRUE(show.runner.back());
    ASSERT_TRUE(show.runner.goTo(0));
    show.showClock.seconds = 2.0;
    show.runner.tick(); // cue One follows to Two
    show.runner.setBlackout(true);
    ASSERT_EQ(show.runner.liveIndex(), 1u);
    EXPECT_EQ(show.opacity(show.a), 0.5);
    EXPECT_EQ(show.opacity(show.b), 0.25);
    EXPECT_FALSE(show.model.hasUnsavedChanges());
    EXPECT_TRUE(show.model.makeFile() == saved);

    Surface edited = show.model.surfaces()[1];
    edited.name = "Bee";
    edited.color = RGBA{1, 0, 0, 1};
    show.model.pushUndo();
    show.model.replaceSurface(1, edited);
    EXPECT_TRUE(show.model.hasUnsavedChanges());
    const ProjectFile file = show.model.makeFile();
    EXPECT_EQ(file.surfaces[1].name, "Bee");
    EXPECT_EQ(file.surfaces[1].color, (RGBA{1, 0, 0, 1}));
    EXPECT_EQ(file.surfaces[1].opacity, 1.0) << "the cue's opacity is not the document's";
    EXPECT_EQ(file.surfaces[0].opacity, 1.0);
    EXPECT_EQ(show.opacity(show.b), 0.25) << "the look on screen stays";
    show.model.undo();
    EXPECT_FALSE(show.model.hasUnsavedChanges());

    // Undoing the GOs and the show brings back the project's own look, which
    // is the document's again.
    while (!show.model.undoStack().empty()) {
        show.model.undo();
    }
    EXPECT_TRUE(show.model.surfaces().vector() == saved.surfaces);
    EXPECT_FALSE(show.model.hasUnsavedChanges());
}

TEST(CueEditing, EditsAreUndoableAndRecordHoldsEveryCurrentLook) {
    Show show;
    const std::size_t at = recordCue(show.model, 0, "Recorded");
    EXPECT_EQ(at, 1u);
    ASSERT_EQ(show.model.cues().size(), 4u);
    EXPECT_EQ(show.model.cues()[1].looks.size(), 2u);
    EXPECT_EQ(show.model.undoName(), "Record Cue");
    EXPECT_TRUE(renameCue(show.model, 1, "Renamed"));
    EXPECT_TRUE(setCueFade(show.model, 1, 1e9));
    EXPECT_EQ(show.model.cues()[1].fade, maxCueFade);
    EXPECT_TRUE(moveCue(show.model, 1, 3));
    EXPECT_EQ(show.model.cues()[3].name, "Renamed");
    EXPECT_TRUE(setCueSchedule(show.model, 3, CueSchedule{3600, CueSchedule::everyDay}));
    EXPECT_FALSE(setCueSchedule(show.model, 3, CueSchedule{3600, 0}));
    EXPECT_TRUE(deleteCue(show.model, 0));
    EXPECT_FALSE(deleteCue(show.model, 9));
    EXPECT_EQ(show.model.cues().size(), 3u);
    for (int i = 0; i < 6; ++i) {
        show.model.undo();
    }
    EXPECT_EQ(show.model.cues().size(), 3u);
    EXPECT_EQ(show.model.cues()[0].name, "One");
    EXPECT_FALSE(show.model.hasUnsavedChanges() && show.model.cues().size() != 3u);
}

TEST(CueEditing, DeletingASurfaceKeepsItsLooksForUndo) {
    Show show;
    show.model.setSelectedID(show.a);
    show.model.deleteSelected();
    EXPECT_EQ(looksForMissingSurfaces(show.model.cues(), show.model.surfaces().vector()), 2u);
    EXPECT_TRUE(show.runner.goTo(2)) << "looks for the missing surface are ignored";
    show.model.undo();
    show.model.undo();
    EXPECT_EQ(looksForMissingSurfaces(show.model.cues(), show.model.surfaces().vector()), 0u);
}

TEST(CueEditing, CuesAreFoundByNumberNameOrId) {
    Show show;
    const std::vector<Cue>& cues = show.model.cues();
    EXPECT_EQ(findCue(cues, "1"), 0u);
    EXPECT_EQ(findCue(cues, "Three"), 2u);
    EXPECT_EQ(findCue(cues, cues[1].id.text()), 1u);
    EXPECT_FALSE(findCue(cues, "0"));
    EXPECT_FALSE(findCue(cues, "4"));
    EXPECT_FALSE(findCue(cues, "Four"));
}

} // namespace
} // namespace prismeta
