#include "control/UndoBursts.h"

#include "core/ProjectModel.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = UndoBursts::Clock;

// One remote edit of the first surface's opacity, as the controller makes it.
void editOpacity(UndoBursts& bursts, ProjectModel& model, const std::string& key, double value,
                 Clock::time_point at) {
    bursts.beforeEdit(model, key, at);
    Surface s = model.surfaces()[0];
    s.opacity = value;
    model.replaceSurface(0, s);
    bursts.afterEdit(model);
}

TEST(UndoBursts, ASweepIsOneStepUntilAPause) {
    ProjectModel model;
    model.addSurface();
    const std::size_t before = model.undoStack().size();
    UndoBursts bursts;
    const Clock::time_point t0{};
    for (int k = 0; k < 50; ++k) {
        editOpacity(bursts, model, "opacity", k / 50.0, t0 + k * 20ms); // 1 s in all
    }
    EXPECT_EQ(model.undoStack().size(), before + 1);
    editOpacity(bursts, model, "opacity", 0.9, t0 + 49 * 20ms + 500ms); // after a pause
    EXPECT_EQ(model.undoStack().size(), before + 2);
    model.undo();
    EXPECT_DOUBLE_EQ(model.surfaces()[0].opacity, 49 / 50.0);
    model.undo();
    EXPECT_DOUBLE_EQ(model.surfaces()[0].opacity, 1.0) << "the whole sweep in one step";
}

TEST(UndoBursts, FieldsInterleavedKeepTheirOwnBursts) {
    ProjectModel model;
    model.addSurface();
    const std::size_t before = model.undoStack().size();
    UndoBursts bursts;
    const Clock::time_point t0{};
    for (int k = 0; k < 10; ++k) {
        editOpacity(bursts, model, "a", 0.1, t0 + k * 10ms);
        editOpacity(bursts, model, "b", 0.2, t0 + k * 10ms + 5ms);
    }
    EXPECT_EQ(model.undoStack().size(), before + 2);
}

TEST(UndoBursts, AnyOtherChangeOfTheListEndsTheBurst) {
    ProjectModel model;
    model.addSurface();
    UndoBursts bursts;
    const Clock::time_point t0{};
    editOpacity(bursts, model, "opacity", 0.5, t0);
    const std::size_t afterFirst = model.undoStack().size();
    // A drag in the editor between two fader moves: its change is not folded
    // into the remote step.
    model.pushUndo();
    Surface dragged = model.surfaces()[0];
    dragged.corners[0] = {0.1f, 0.1f};
    model.replaceSurface(0, dragged);
    editOpacity(bursts, model, "opacity", 0.4, t0 + 10ms);
    EXPECT_EQ(model.undoStack().size(), afterFirst + 2);
    model.undo();
    EXPECT_DOUBLE_EQ(model.surfaces()[0].opacity, 0.5);
    EXPECT_EQ(model.surfaces()[0].corners[0], (Pt{0.1f, 0.1f}));
}

} // namespace
} // namespace prismeta
