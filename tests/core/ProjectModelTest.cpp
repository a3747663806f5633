#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace prismeta {
namespace {

std::vector<Pt> square(float x0, float y0, float x1, float y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

Surface surfaceWith(std::vector<Pt> corners, const char* name = "S") {
    Surface s;
    s.name = name;
    s.corners = std::move(corners);
    return s;
}

// Records every notification.
struct Recorder {
    std::vector<ModelField> fields;
    Subscription subscription;
    explicit Recorder(ProjectModel& model)
        : subscription(model.subscribe([this](ModelField f) { fields.push_back(f); })) {}
};

TEST(ProjectModel, StartsEmpty) {
    ProjectModel model;
    EXPECT_TRUE(model.surfaces().empty());
    EXPECT_TRUE(model.outputs().empty());
    EXPECT_FALSE(model.selectedID());
    EXPECT_EQ(model.canvasSize(), (CanvasSize{1920, 1080}));
    EXPECT_EQ(model.backgroundOpacity(), 0.5);
    EXPECT_FALSE(model.backgroundImagePath());
    EXPECT_FALSE(model.snapEnabled());
    EXPECT_FALSE(model.documentURL());
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_TRUE(model.redoStack().empty());
    EXPECT_EQ(ProjectModel::snapGrid, 0.0625f);
    EXPECT_EQ(ProjectModel::maxUndo, 50u);
    EXPECT_FALSE(model.hasUnsavedChanges());
}

TEST(ProjectModel, ObserversSeeTheNewValueAndStopWhenTheHandleGoes) {
    ProjectModel model;
    std::vector<bool> seen;
    {
        Subscription s = model.subscribe([&](ModelField f) {
            if (f == ModelField::snapEnabled) {
                seen.push_back(model.snapEnabled());
            }
        });
        model.setSnapEnabled(true);
        model.setSnapEnabled(true); // every assignment is announced
        model.setSnapEnabled(false);
    }
    model.setSnapEnabled(true);
    EXPECT_EQ(seen, (std::vector<bool>{true, true, false}));
}

TEST(ProjectModel, ObserversMayUnsubscribeDuringNotification) {
    ProjectModel model;
    int firstCalls = 0;
    int secondCalls = 0;
    Subscription second;
    Subscription first = model.subscribe([&](ModelField) {
        ++firstCalls;
        second.reset(); // removes the next observer before it runs
    });
    second = model.subscribe([&](ModelField) { ++secondCalls; });
    model.setBackgroundOpacity(0.2);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);

    // A subscription that outlives its model is harmless.
    auto doomed = std::make_unique<ProjectModel>();
    Subscription orphan = doomed->subscribe([](ModelField) {});
    doomed.reset();
    EXPECT_FALSE(orphan.active());
}

TEST(ProjectModel, OperationsAnnounceWhatTheyAssign) {
    ProjectModel model;
    Recorder r(model);
    model.addSurface();
    EXPECT_EQ(r.fields, (std::vector<ModelField>{ModelField::surfaces, ModelField::selectedID}));
    r.fields.clear();
    model.duplicateSelected();
    model.deleteSelected();
    model.resetCorners();
    EXPECT_EQ(r.fields, (std::vector<ModelField>{ModelField::surfaces, ModelField::selectedID,
                                                 ModelField::surfaces, ModelField::selectedID,
                                                 ModelField::surfaces}));
    r.fields.clear();
    model.ensureDefaultOutput();
    model.ensureDefaultOutput();
    EXPECT_EQ(r.fields, (std::vector<ModelField>{ModelField::outputs}));
}

TEST(ProjectModel, SelectionFollowsTheIdAndTheBindingCapturesIt) {
    ProjectModel model;
    model.addSurface();
    model.addSurface();
    const Uuid second = model.surfaces()[1].id;
    EXPECT_EQ(model.selectedIndex(), 1u);

    auto binding = model.selectedSurface();
    ASSERT_TRUE(binding);
    Surface edited = binding->get();
    edited.opacity = 0.25;
    binding->set(edited);
    EXPECT_EQ(model.surfaces()[1].opacity, 0.25);
    EXPECT_EQ(model.undoStack().size(), 2u); // the write took no snapshot

    model.undo(); // removes the second surface; the id stays selected
    EXPECT_EQ(model.selectedID(), second);
    EXPECT_FALSE(model.selectedIndex());
    EXPECT_FALSE(model.selectedSurface());
    const Surface standBy = binding->get();
    EXPECT_EQ(standBy.id, second);
    EXPECT_EQ(standBy.name, "Surface");
    const SurfaceList before = model.surfaces();
    binding->set(edited); // dropped: the surface is gone
    EXPECT_TRUE(model.surfaces().sharesStorageWith(before));

    model.redo();
    EXPECT_EQ(model.selectedIndex(), 1u);
}

TEST(ProjectModel, HitTestPicksTheTopmostQuadByItsCorners) {
    ProjectModel model;
    Surface low = surfaceWith(square(0.1f, 0.1f, 0.6f, 0.6f), "low");
    Surface high = surfaceWith(square(0.4f, 0.4f, 0.9f, 0.9f), "high");
    Surface meshed = surfaceWith(square(0.0f, 0.8f, 0.1f, 0.9f), "meshed");
    meshed.mesh = WarpMesh::from(square(0.0f, 0.0f, 1.0f, 1.0f), 2, 2); // far beyond its corners
    Surface triangle = surfaceWith({{0, 0}, {1, 0}, {0, 1}}, "three corners");
    model.setSurfaces({low, high, meshed, triangle});

    EXPECT_EQ(model.surface({0.5f, 0.5f}), high.id);
    EXPECT_EQ(model.surface({0.2f, 0.2f}), low.id);
    EXPECT_EQ(model.surface({0.95f, 0.1f}), std::nullopt);
    EXPECT_EQ(model.surface({0.05f, 0.85f}), meshed.id);
    EXPECT_EQ(model.surface({0.5f, 0.05f}), std::nullopt);  // inside the mesh only
    EXPECT_EQ(model.surface({0.05f, 0.05f}), std::nullopt); // only the triangle covers it

    // A bow-tie (self-crossing) quad covers the two side triangles only.
    Surface bow = surfaceWith({{0, 0}, {1, 1}, {1, 0}, {0, 1}});
    model.setSurfaces({bow});
    EXPECT_EQ(model.surface({0.2f, 0.5f}), bow.id);
    EXPECT_EQ(model.surface({0.8f, 0.5f}), bow.id);
    EXPECT_EQ(model.surface({0.5f, 0.2f}), std::nullopt);
    EXPECT_EQ(model.surface({0.5f, 0.8f}), std::nullopt);
}

TEST(ProjectModel, DefaultAndPresetOutputs) {
    ProjectModel model;
    const Uuid main = model.ensureDefaultOutput();
    ASSERT_EQ(model.outputs().size(), 1u);
    EXPECT_EQ(model.outputs()[0].name, "Main");
    EXPECT_EQ(model.outputs()[0].id, main);
    EXPECT_EQ(model.ensureDefaultOutput(), main);
    EXPECT_EQ(model.outputs().size(), 1u);

    ProjectModel presets;
    presets.addOutput(OutputPreset::leftHalf);
    presets.addOutput(OutputPreset::leftHalf);
    ASSERT_EQ(presets.outputs().size(), 2u);
    EXPECT_NE(presets.outputs()[0].id, presets.outputs()[1].id);
    EXPECT_EQ(presets.outputs()[1].name, "Left Half");
    EXPECT_EQ(presets.ensureDefaultOutput(), presets.outputs()[0].id);
    EXPECT_EQ(presets.outputs().size(), 2u);
    EXPECT_TRUE(presets.undoStack().empty());
}

TEST(ProjectModelEditing, AddSurfaceStepsAndWrapsEverySixth) {
    ProjectModel model;
    for (int i = 0; i < 7; ++i) {
        model.addSurface();
    }
    const Surface& first = model.surfaces()[0];
    EXPECT_EQ(first.name, "Surface 1");
    EXPECT_EQ(first.corners, std::vector<Pt>(defaultCorners.begin(), defaultCorners.end()));
    const float d = 5.0f * 0.03f;
    EXPECT_EQ(model.surfaces()[5].corners[2], (Pt{0.75f + d, 0.75f + d}));
    EXPECT_EQ(model.surfaces()[6].name, "Surface 7");
    EXPECT_EQ(model.surfaces()[6].corners, first.corners);
    EXPECT_EQ(model.selectedID(), model.surfaces()[6].id);
    EXPECT_EQ(model.undoStack().size(), 7u);
}

TEST(ProjectModelEditing, NamesCountSurfacesAndMayRepeat) {
    ProjectModel model;
    model.addSurface();
    model.addSurface();
    model.addSurface();
    model.setSelectedID(model.surfaces()[1].id);
    model.deleteSelected();
    EXPECT_EQ(model.selectedID(), model.surfaces()[0].id);
    model.addSurface();
    ASSERT_EQ(model.surfaces().size(), 3u);
    EXPECT_EQ(model.surfaces()[1].name, "Surface 3");
    EXPECT_EQ(model.surfaces()[2].name, "Surface 3");
}

TEST(ProjectModelEditing, DuplicateShiftsCornersAndMeshAboveTheOriginal) {
    ProjectModel model;
    model.addSurface();
    model.addSurface();
    model.setSelectedID(model.surfaces()[0].id);
    Surface withMesh = model.surfaces()[0];
    withMesh.mesh = WarpMesh::from(withMesh.corners, 2, 1);
    withMesh.mediaKind = MediaKind::image;
    withMesh.mediaPath = "/a.png";
    model.replaceSurface(0, withMesh);

    model.duplicateSelected();
    ASSERT_EQ(model.surfaces().size(), 3u);
    const Surface& copy = model.surfaces()[1];
    EXPECT_EQ(copy.name, "Surface 1 copy");
    EXPECT_NE(copy.id, withMesh.id);
    EXPECT_EQ(model.selectedID(), copy.id);
    EXPECT_EQ(copy.corners[0], (Pt{0.25f + 0.03f, 0.25f + 0.03f}));
    ASSERT_TRUE(copy.mesh);
    EXPECT_EQ(copy.mesh->cols, 2);
    EXPECT_EQ(copy.mesh->points[5],
              (Pt{withMesh.mesh->points[5].x + 0.03f, withMesh.mesh->points[5].y + 0.03f}));
    EXPECT_EQ(copy.mediaPath, withMesh.mediaPath);
    model.duplicateSelected();
    EXPECT_EQ(model.surfaces()[2].name, "Surface 1 copy copy");
}

TEST(ProjectModelEditing, DeleteSelectsTheFirstOrNothing) {
    ProjectModel model;
    for (int i = 0; i < 5; ++i) {
        model.addSurface();
    }
    model.deleteSelected(); // the last of five
    EXPECT_EQ(model.selectedID(), model.surfaces()[0].id);
    ProjectModel single;
    single.addSurface();
    single.deleteSelected();
    EXPECT_TRUE(single.surfaces().empty());
    EXPECT_FALSE(single.selectedID());
}

TEST(ProjectModelEditing, ResetCornersRebuildsAMovedMesh) {
    ProjectModel model;
    model.addSurface();
    model.addSurface();
    Surface s = model.surfaces()[1];
    s.corners = square(0.0f, 0.0f, 0.3f, 0.2f);
    s.mesh = WarpMesh::from(s.corners, 4, 2);
    s.mesh->points[3] = {0.9f, 0.9f};
    model.replaceSurface(1, s);
    model.resetCorners();
    const Surface& reset = model.surfaces()[1];
    EXPECT_EQ(reset.corners, std::vector<Pt>(defaultCorners.begin(), defaultCorners.end()));
    EXPECT_EQ(reset.mesh, WarpMesh::from(defaultCorners, 4, 2));

    // A loaded mesh whose counts cannot be rebuilt is left as it was.
    s.mesh = WarpMesh{-3, 2, {}};
    model.replaceSurface(1, s);
    model.resetCorners();
    EXPECT_EQ(model.surfaces()[1].mesh, (WarpMesh{-3, 2, {}}));
    EXPECT_EQ(model.surfaces()[1].corners[2], defaultCorners[2]);
}

TEST(ProjectModelEditing, SelectionOperationsWithoutASelectionDoNothing) {
    ProjectModel model;
    model.addSurface();
    model.setSelectedID(std::nullopt);
    Recorder r(model);
    model.duplicateSelected();
    model.deleteSelected();
    model.resetCorners();
    EXPECT_TRUE(r.fields.empty());
    EXPECT_EQ(model.undoStack().size(), 1u);
    model.setSelectedID(Uuid::random()); // stale id
    model.deleteSelected();
    EXPECT_EQ(model.surfaces().size(), 1u);
}

TEST(ProjectModelUndo, UndoAndRedoWalkTheHistory) {
    ProjectModel model;
    model.undo();
    model.redo();
    EXPECT_TRUE(model.surfaces().empty());
    model.addSurface();
    model.addSurface();
    model.undo();
    EXPECT_EQ(model.surfaces().size(), 1u);
    EXPECT_EQ(model.redoStack().size(), 1u);
    model.redo();
    EXPECT_EQ(model.surfaces().size(), 2u);
    model.undo();
    model.addSurface(); // a new snapshot clears the redo history
    EXPECT_TRUE(model.redoStack().empty());
}

TEST(ProjectModelUndo, InspectorEditsRideAlongWithTheSnapshotBeforeThem) {
    ProjectModel model;
    model.addSurface();
    Surface s = model.surfaces()[0];
    s.opacity = 0.4;
    model.selectedSurface()->set(s);
    model.undo(); // back to before addSurface: the opacity edit goes too
    EXPECT_TRUE(model.surfaces().empty());
    model.redo();
    EXPECT_EQ(model.surfaces()[0].opacity, 0.4);

    // Undo, an edit, then redo: the redo wins and the edit is lost.
    model.addSurface();
    model.undo();
    Surface edited = model.surfaces()[0];
    edited.name = "renamed";
    model.replaceSurface(0, edited);
    model.redo();
    EXPECT_EQ(model.surfaces()[0].name, "Surface 1");
}

TEST(ProjectModelUndo, HistoryIsBoundedToFiftySnapshots) {
    ProjectModel model;
    for (int i = 0; i < 51; ++i) {
        model.pushUndo();
        std::vector<Surface> list = model.surfaces().copy();
        list.push_back(Surface());
        model.setSurfaces(std::move(list));
    }
    EXPECT_EQ(model.undoStack().size(), 50u);
    for (int i = 0; i < 60; ++i) {
        model.undo();
    }
    EXPECT_EQ(model.surfaces().size(), 1u); // the empty start is gone for good
    for (int i = 0; i < 60; ++i) {
        model.redo();
    }
    EXPECT_EQ(model.surfaces().size(), 51u);
    EXPECT_EQ(model.undoStack().size(), 50u);
}

TEST(ProjectModelUndo, SnapshotsShareStorageUntilTheListChanges) {
    ProjectModel model;
    for (int i = 0; i < 3; ++i) {
        model.addSurface();
    }
    model.pushUndo();
    EXPECT_TRUE(model.undoStack().back().sharesStorageWith(model.surfaces()));
    const SurfaceList snapshot = model.undoStack().back();
    Surface s = model.surfaces()[0];
    s.name = "changed";
    model.replaceSurface(0, s);
    EXPECT_FALSE(model.undoStack().back().sharesStorageWith(model.surfaces()));
    EXPECT_EQ(snapshot[0].name, "Surface 1"); // the snapshot was not touched
    model.undo();
    EXPECT_TRUE(model.surfaces().sharesStorageWith(snapshot));
}

} // namespace
} // namespace prismeta

namespace prismeta {
namespace {

// Edit > Undo and Redo name the step they take back: every operation of the
// model that takes one names it, and the name travels to the redo side.
TEST(ProjectModel, EveryStepIsNamed) {
    ProjectModel model;
    model.addOutput(OutputPreset::full);
    const Uuid output = model.outputs()[0].id;
    OutputWarp keystone;
    keystone.corners[0] = Pt{0.1f, 0.1f};
    const std::vector<std::pair<std::function<void()>, std::string>> steps = {
        {[&] { model.addSurface(); }, "Add Surface"},
        {[&] { model.duplicateSelected(); }, "Duplicate Surface"},
        {[&] {
             Surface moved = model.surfaces()[1];
             moved.corners[0] = Pt{0.9f, 0.9f};
             model.replaceSurface(1, moved);
             model.resetCorners();
         },
         "Reset Corners"},
        {[&] { model.deleteSelected(); }, "Delete Surface"},
        {[&] { model.setOutputWarp(output, keystone); }, "Change Warp"},
        {[&] { model.setOutputWarp(output, std::nullopt, "Reset Warp"); }, "Reset Warp"},
        {[&] { model.setOutputBlendMap(output, "/maps/a.png"); }, "Change Blend Map"},
        {[&] { model.setOutputCrop(output, 0, 0, 0.5f, 1); }, "Change Crop"},
    };
    for (const auto& [step, name] : steps) {
        const std::size_t depth = model.undoStack().size();
        step();
        ASSERT_EQ(model.undoStack().size(), depth + 1) << name;
        EXPECT_EQ(model.undoName(), name);
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        model.undo();
        EXPECT_EQ(model.redoName(), step->second);
    }
}

} // namespace
} // namespace prismeta
