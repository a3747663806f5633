// The controller on its own: messages handed straight to it, with chosen
// arrival times, and what it sends collected instead of put on the network.
#include "control/OscController.h"

#include "control/OscFields.h"
#include "control/OscPattern.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "geometry/OutputWarpEdits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = OscController::Clock;

const OscEndpoint client{"127.0.0.1", 50000};

class Controller : public ::testing::Test {
protected:
    Controller()
        : sink([this](std::string_view line) { logged.emplace_back(line); }),
          // Every log line written: the tests read each reason.
          controller(
              model, [this](const OscOutgoing& m) { sent.push_back(m); }, 0s) {
        model.addSurface();
        model.addSurface();
        model.addOutput(OutputPreset::leftHalf);
        model.setSelectedID(std::nullopt);
    }

    void handle(std::string address, OscArguments arguments = {},
                Clock::time_point at = Clock::time_point{} + 1s) {
        OscMessage m;
        m.address = std::move(address);
        m.arguments = std::move(arguments);
        m.sender = client;
        m.received = at;
        controller.handle(m, at);
    }

    bool logMentions(std::string_view text) const {
        return std::any_of(logged.begin(), logged.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    const Surface& surface(std::size_t i) const { return model.surfaces()[i]; }

    ProjectModel model;
    std::vector<std::string> logged;
    ScopedLogSink sink;
    std::vector<OscOutgoing> sent;
    OscController controller;
};

OscArgument f(float v) {
    return OscArgument::float32(v);
}

TEST_F(Controller, AFaderSweepIsOneUndoStepAndAPauseStartsAnother) {
    const std::size_t before = model.undoStack().size();
    const Clock::time_point t0 = Clock::time_point{} + 10s;
    for (int k = 0; k <= 30; ++k) {
        handle("/prismeta/surface/0/opacity", {f(static_cast<float>(k) / 30)}, t0 + k * 30ms);
    }
    EXPECT_EQ(model.undoStack().size(), before + 1);
    // The same fader after a pause of half a second: a second step.
    handle("/prismeta/surface/0/opacity", {f(0.5f)}, t0 + 30 * 30ms + 500ms);
    EXPECT_EQ(model.undoStack().size(), before + 2);
    // Another surface's fader, or the same value again, in the same instant.
    handle("/prismeta/surface/1/opacity", {f(0.5f)}, t0 + 30 * 30ms + 510ms);
    EXPECT_EQ(model.undoStack().size(), before + 3);
    handle("/prismeta/surface/1/opacity", {f(0.5f)}, t0 + 40s);
    EXPECT_EQ(model.undoStack().size(), before + 3) << "no change, no step";

    model.undo();
    model.undo();
    EXPECT_DOUBLE_EQ(surface(0).opacity, 1.0);
    model.undo();
    EXPECT_DOUBLE_EQ(surface(0).opacity, 1.0) << "the sweep, undone in one step, started at 0";
    EXPECT_DOUBLE_EQ(model.surfaces().size(), 2u);
}

TEST_F(Controller, ABatchEndsAsMessageByMessageWithFewerWrites) {
    const auto message = [](std::string address, OscArguments arguments) {
        OscMessage m;
        m.address = std::move(address);
        m.arguments = std::move(arguments);
        m.sender = client;
        return m;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<OscMessage> batch = {
        message("/prismeta/surface/0/opacity", {f(0.1f)}), // overwritten next: skipped
        message("/prismeta/surface/0/opacity", {f(0.2f)}), // the same
        message("/prismeta/surface/0/opacity", {f(0.3f)}),
        message("/prismeta/surface/1/feather", {f(0.2f)}),
        message("/prismeta/surface/0/opacity", {f(0.35f)}), // another burst of it in between
        message("/prismeta/undo", {}),
        message("/prismeta/surface/0/opacity", {f(0.4f)}), // the next one is refused
        message("/prismeta/surface/0/opacity", {f(nan)}),
        message("/prismeta/output/0/crop", {f(0), f(0), f(1), f(1)}), // other tags next
        message("/prismeta/output/0/crop", {f(0), f(0), f(1)}),
    };
    // Two copies of the show with the same (empty) history.
    ProjectModel batched;
    ProjectModel twin;
    for (ProjectModel* copy : {&batched, &twin}) {
        copy->setSurfaces(model.surfaces());
        copy->setOutputs(model.outputs());
    }
    OscController oneByOne(twin, [](const OscOutgoing&) {});
    for (const OscMessage& m : batch) {
        oneByOne.handle(m, Clock::time_point{} + 1s);
    }
    OscController together(batched, [](const OscOutgoing&) {});
    std::size_t writes = 0;
    const Subscription counting = batched.subscribe(
        [&](ModelField field) { writes += field == ModelField::surfaces ? 1 : 0; });
    EXPECT_EQ(together.handleBatch(batch, Clock::time_point{} + 1s), 2u);
    EXPECT_EQ(batched.surfaces(), twin.surfaces());
    EXPECT_EQ(batched.outputs(), twin.outputs());
    EXPECT_EQ(batched.undoStack().size(), twin.undoStack().size());
    EXPECT_EQ(batched.redoStack().size(), twin.redoStack().size());
    EXPECT_EQ(writes, 5u); // 0.3, feather, 0.35, undo, 0.4
}

TEST_F(Controller, ASkippedRunKeepsTheUndoStepsOfItsTimes) {
    // A slow sweep, 300 ms apart, then the same fader after a long pause:
    // two steps one message at a time, and two when carried out as a batch.
    std::vector<OscMessage> batch;
    const Clock::time_point t0 = Clock::time_point{} + 100s;
    for (int k = 0; k < 6; ++k) {
        OscMessage m;
        m.address = "/prismeta/surface/0/opacity";
        m.arguments = {f(0.1f * static_cast<float>(k))};
        m.received = t0 + k * 300ms + (k == 5 ? 2s : 0s);
        batch.push_back(m);
    }
    const std::size_t before = model.undoStack().size();
    EXPECT_EQ(controller.handleBatch(batch, t0 + 5s), 4u);
    EXPECT_EQ(model.undoStack().size(), before + 2);
    model.undo();
    EXPECT_FLOAT_EQ(static_cast<float>(surface(0).opacity), 0.4f);
}

TEST_F(Controller, EveryFieldReadsBackWhatItWasGiven) {
    // A value from each field written into a fresh record and read back,
    // for the surface and output tables alike: a new field that forgets to
    // write or read what it parses fails here.
    for (const OscField<Surface>& field : surfaceFields()) {
        Surface from = surface(0);
        from.opacity = 0.3;
        from.feather = 0.2f;
        from.color = {0.1f, 0.2f, 0.3f, 0.4f};
        from.corners = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}, {0.7f, 0.8f}};
        from.mediaKind = MediaKind::video;
        from.mediaPath = "/tmp/clip.mp4";
        Surface to;
        if (field.path == "mesh/interpolation") { // only a mesh has one
            from.mesh = WarpMesh::from(from.corners, 1, 1);
            from.mesh->interpolation = WarpMesh::Interpolation::smooth;
            to.mesh = WarpMesh::from(to.corners, 1, 1);
        }
        OscMessage m;
        m.arguments = field.read(from);
        m.textNamesRegularFile = true;
        const Result<FieldValue> value = field.parse(m);
        ASSERT_TRUE(value) << field.path << ": " << value.error();
        ASSERT_TRUE(field.write(to, value.value())) << field.path;
        EXPECT_EQ(field.read(to), m.arguments) << field.path;
    }
    for (const OscField<OutputConfig>& field : outputFields()) {
        OutputConfig from;
        from.cropX = 0.1f;
        from.cropY = 0.2f;
        from.cropWidth = 0.3f;
        from.cropHeight = 0.4f;
        from.blendLeft = 0.05f;
        from.blendRight = 0.06f;
        from.blendTop = 0.07f;
        from.blendBottom = 0.08f;
        from.blendCurve = 1.5f;
        from.blendGamma = 2.2f;
        from.blackLevel = {0.01f, 0.02f, 0.03f};
        OutputConfig to;
        if (field.path == "warp/mesh/interpolation") { // only a mesh has one
            from.warp = *warpWithMesh(OutputWarp{}, 1, 1);
            to.warp = *warpWithMesh(OutputWarp{}, 1, 1, WarpMesh::Interpolation::cells);
        }
        OscMessage m;
        m.arguments = field.read(from);
        const Result<FieldValue> value = field.parse(m);
        ASSERT_TRUE(value) << field.path << ": " << value.error();
        ASSERT_TRUE(field.write(to, value.value())) << field.path;
        EXPECT_EQ(field.read(to), m.arguments) << field.path;
    }
}

TEST_F(Controller, BlendCurvesAreClampedAsTheOutputCardClampsThem) {
    handle("/prismeta/output/0/blend/curve", {f(9.0f)});
    handle("/prismeta/output/0/blend/gamma", {f(0.2f)});
    EXPECT_EQ(model.outputs()[0].blendCurve, 4.0f);
    EXPECT_EQ(model.outputs()[0].blendGamma, 1.0f);
    handle("/prismeta/output/0/blend/gamma", {f(2.2f)});
    EXPECT_EQ(model.outputs()[0].blendGamma, 2.2f);

    // One level sets the three channels, as the linked boxes do; three set
    // one each; every channel stays within 0..0.2.
    handle("/prismeta/output/0/blend/black", {f(0.5f)});
    EXPECT_EQ(model.outputs()[0].blackLevel, (BlackLevel{0.2f, 0.2f, 0.2f}));
    handle("/prismeta/output/0/blend/black", {f(0.01f), f(-1.0f), f(0.03f)});
    EXPECT_EQ(model.outputs()[0].blackLevel, (BlackLevel{0.01f, 0.0f, 0.03f}));
    const std::vector<OutputConfig> before = model.outputs();
    handle("/prismeta/output/0/blend/black", {f(0.01f), f(0.02f)});
    handle("/prismeta/output/0/blend/curve", {f(std::numeric_limits<float>::infinity())});
    EXPECT_EQ(model.outputs(), before);
}

TEST_F(Controller, CornersOfMeshedOrShortSurfacesAreRefused) {
    Surface meshed = surface(0);
    meshed.mesh = WarpMesh::from(meshed.corners, 3, 3);
    model.replaceSurface(0, meshed);
    Surface shortOne = surface(1);
    shortOne.corners.resize(2); // a hand-made file
    model.replaceSurface(1, shortOne);
    const SurfaceList before = model.surfaces();

    handle("/prismeta/surface/0/corner/0", {f(0.1f), f(0.1f)});
    handle("/prismeta/surface/1/corner/3", {f(0.1f), f(0.1f)});
    EXPECT_TRUE(model.surfaces().sharesStorageWith(before));
    EXPECT_TRUE(logMentions("the surface has a warp mesh"));
    EXPECT_TRUE(logMentions("the surface has no corner 3"));

    // Corner 1 of the short surface is there to be set.
    handle("/prismeta/surface/1/corner/1", {f(0.1f), f(0.1f)});
    EXPECT_EQ(surface(1).corners[1], (Pt{0.1f, 0.1f}));
}

TEST_F(Controller, CornerQueriesOfAMeshedSurfaceAnswerTheMeshCorners) {
    // A 2 x 1 grid whose outer points are not the stored corners.
    Surface meshed = surface(0);
    WarpMesh mesh;
    mesh.cols = 2;
    mesh.rows = 1;
    mesh.points = {{0.1f, 0.2f}, {0.5f, 0.0f}, {0.9f, 0.1f},   // top row
                   {0.0f, 0.8f}, {0.5f, 1.0f}, {0.95f, 0.9f}}; // bottom row
    meshed.mesh = mesh;
    model.replaceSurface(0, meshed);
    Surface broken = surface(1);
    broken.mesh = WarpMesh{4, 4, {}};
    model.replaceSurface(1, broken);

    handle("/prismeta/surface/0/corner/*", {OscArgument::text("?")});
    const std::vector<Pt> expected = {{0.1f, 0.2f}, {0.9f, 0.1f}, {0.95f, 0.9f}, {0.0f, 0.8f}};
    ASSERT_EQ(sent.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(sent[k].address, "/prismeta/surface/0/corner/" + std::to_string(k));
        EXPECT_EQ(sent[k].arguments, (OscArguments{f(expected[k].x), f(expected[k].y)}));
    }

    // A mesh with too few points draws nothing: no corner to answer, and a
    // line says so rather than the query vanishing.
    sent.clear();
    handle("/prismeta/surface/1/corner/2", {OscArgument::text("?")});
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(logMentions("has no corner/2"));
}

TEST_F(Controller, WarpCornersPointsResetAndBlendMapsWithQueriesAndFeedback) {
    OscMessage subscribe;
    subscribe.address = "/prismeta/subscribe";
    subscribe.sender = client;
    controller.handle(subscribe, Clock::now());
    const std::size_t history = model.undoStack().size();
    const std::string id = model.outputs()[0].id.text();
    const auto has = [&](const std::string& address, const OscArguments& arguments) {
        return std::any_of(sent.begin(), sent.end(), [&](const OscOutgoing& out) {
            return out.address == address && out.arguments == arguments;
        });
    };

    // A corner gives the output a warp; the others stay at the raster's.
    handle("/prismeta/output/0/warp/corner/2", {f(0.9f), f(0.8f)});
    ASSERT_TRUE(model.outputs()[0].warp);
    EXPECT_EQ(model.outputs()[0].warp->corners[2], (Pt{0.9f, 0.8f}));
    EXPECT_EQ(model.outputs()[0].warp->corners[1], (Pt{1, 0}));
    controller.update(Clock::now());
    EXPECT_TRUE(has("/prismeta/output/" + id + "/warp/corner/2", {f(0.9f), f(0.8f)}));

    // Points need a mesh.
    handle("/prismeta/output/0/warp/point/1", {f(0.5f), f(0.1f)});
    EXPECT_TRUE(logMentions("has no mesh"));
    OutputWarp meshed = *model.outputs()[0].warp;
    meshed.mesh =
        WarpMesh::from(std::vector<Pt>(meshed.corners.begin(), meshed.corners.end()), 2, 1);
    model.setOutputWarp(model.outputs()[0].id, meshed);
    handle("/prismeta/output/0/warp/point/2", {f(0.95f), f(-0.05f)}); // the top-right corner
    EXPECT_EQ(model.outputs()[0].warp->corners[1], (Pt{0.95f, -0.05f}));
    handle("/prismeta/output/0/warp/point/9", {f(0), f(0)});
    EXPECT_TRUE(logMentions("has no point 9"));
    handle("/prismeta/output/0/warp/point/2", {OscArgument::text("?")});
    EXPECT_TRUE(has("/prismeta/output/0/warp/point/2", {f(0.95f), f(-0.05f)}));
    controller.update(Clock::now());
    EXPECT_TRUE(has("/prismeta/output/" + id + "/warp/point/2", {f(0.95f), f(-0.05f)}));

    // The mesh's interpolation by name.
    const auto text = [](const char* t) { return OscArguments{OscArgument::text(t)}; };
    handle("/prismeta/output/0/warp/mesh/interpolation", text("smooth"));
    EXPECT_EQ(model.outputs()[0].warp->mesh->interpolation, WarpMesh::Interpolation::smooth);
    handle("/prismeta/output/0/warp/mesh/interpolation", text("bent"));
    EXPECT_TRUE(logMentions("is not an interpolation (cells, smooth)"));
    EXPECT_EQ(model.outputs()[0].warp->mesh->interpolation, WarpMesh::Interpolation::smooth);
    handle("/prismeta/output/0/warp/mesh/interpolation", text("?"));
    EXPECT_TRUE(has("/prismeta/output/0/warp/mesh/interpolation", text("smooth")));
    controller.update(Clock::now() + 1s); // past the throttle of the mesh's first feedback
    EXPECT_TRUE(has("/prismeta/output/" + id + "/warp/mesh/interpolation", text("smooth")));

    // The blend map: an existing file or nothing.
    handle("/prismeta/output/0/blendMap", {OscArgument::text("/no/such/map.png")});
    EXPECT_FALSE(model.outputs()[0].blendMap);
    OscMessage map;
    map.address = "/prismeta/output/0/blendMap";
    map.arguments = {OscArgument::text("/show/map.png")};
    map.textNamesRegularFile = true; // as the server finds it
    controller.handle(map, Clock::time_point{} + 2s);
    EXPECT_EQ(model.outputs()[0].blendMap, "/show/map.png");
    handle("/prismeta/output/0/blendMap", {OscArgument::text("")});
    EXPECT_FALSE(model.outputs()[0].blendMap);

    handle("/prismeta/output/0/warp/reset", {f(1)});
    EXPECT_TRUE(model.outputs()[0].warp);
    handle("/prismeta/output/0/warp/reset");
    EXPECT_FALSE(model.outputs()[0].warp);
    // Over OSC, as the other output fields: no undo steps (one from the setter above).
    EXPECT_EQ(model.undoStack().size(), history + 1);
}

TEST_F(Controller, ASurfacesMeshInterpolationIsSetByNameOnlyWhereItHasAMesh) {
    const auto text = [](const char* t) { return OscArguments{OscArgument::text(t)}; };
    handle("/prismeta/surface/0/mesh/interpolation", text("smooth"));
    EXPECT_TRUE(logMentions("the surface has no warp mesh"));
    Surface bent = surface(0);
    bent.mesh = WarpMesh::from(bent.corners, 2, 2);
    model.replaceSurface(0, bent);
    handle("/prismeta/surface/0/mesh/interpolation", text("smooth"));
    EXPECT_EQ(surface(0).mesh->interpolation, WarpMesh::Interpolation::smooth);
    handle("/prismeta/surface/0/mesh/interpolation", text("cells"));
    EXPECT_EQ(surface(0).mesh->interpolation, WarpMesh::Interpolation::cells);
    EXPECT_EQ(surface(0).mesh->points, bent.mesh->points);
}

TEST_F(Controller, SelectionTakesTheFirstMatchAndIsNotAnUndoStep) {
    Surface wall = surface(1);
    wall.name = "wall";
    model.replaceSurface(1, wall);
    const std::size_t steps = model.undoStack().size();
    handle("/prismeta/surface/*/select");
    EXPECT_EQ(model.selectedID(), surface(0).id);
    handle("/prismeta/surface/wall/select");
    EXPECT_EQ(model.selectedID(), surface(1).id);
    EXPECT_EQ(model.undoStack().size(), steps);

    handle("/prismeta/surface/*/select", {OscArgument::text("?")});
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].arguments, (OscArguments{OscArgument::int32(0)}));
    EXPECT_EQ(sent[1].arguments, (OscArguments{OscArgument::int32(1)}));
}

TEST_F(Controller, AnswersNeedASenderAndQueriesDoNotNest) {
    OscMessage anonymous;
    anonymous.address = "/prismeta/snap";
    anonymous.arguments = {OscArgument::text("?")};
    controller.handle(anonymous, Clock::now());
    handle("/prismeta/query", {OscArgument::text("/prismeta/query")});
    handle("/prismeta/query", {OscArgument::int32(3)});
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(logMentions("the sender is unknown"));
    EXPECT_TRUE(logMentions("a query cannot ask about queries"));
    EXPECT_TRUE(logMentions("takes s (the address to ask about)"));
}

TEST_F(Controller, AFollowerAnswersButRefusesEdits) {
    controller.refuseEdits("this machine follows the show's leader");
    const std::vector<Surface> before = model.surfaces().vector();
    const std::size_t steps = model.undoStack().size();
    handle("/prismeta/surface/0/opacity", {f(0.25f)});
    handle("/prismeta/undo");
    EXPECT_EQ(model.surfaces().vector(), before);
    EXPECT_EQ(model.undoStack().size(), steps);
    EXPECT_TRUE(logMentions("/prismeta/surface/0/opacity"));
    EXPECT_TRUE(logMentions("this machine follows the show's leader"));

    handle("/prismeta/surface/0/opacity", {OscArgument::text("?")});
    handle("/prismeta/list/surfaces");
    EXPECT_GE(sent.size(), 2u);

    controller.refuseEdits(std::nullopt);
    handle("/prismeta/surface/0/opacity", {f(0.25f)});
    EXPECT_EQ(surface(0).opacity, 0.25);
}

TEST_F(Controller, SubscribersAreCappedAndTold) {
    for (std::uint16_t port = 1; port <= OscController::maxSubscribers + 2; ++port) {
        OscMessage m;
        m.address = "/prismeta/subscribe";
        m.sender = OscEndpoint{"127.0.0.1", port};
        controller.handle(m, Clock::now());
    }
    EXPECT_EQ(controller.subscribers().size(), OscController::maxSubscribers);
    EXPECT_TRUE(logMentions("subscribers; 127.0.0.1:17 was not added"));
}

TEST_F(Controller, FeedbackCoversNewSurfacesTheListTheSelectionAndOutputs) {
    OscMessage m;
    m.address = "/prismeta/subscribe";
    m.sender = client;
    controller.handle(m, Clock::now());

    model.addSurface(); // a new surface, selected
    OutputConfig output = model.outputs()[0];
    output.blendRight = 0.3f;
    model.replaceOutput(0, output);
    controller.update(Clock::now());

    const std::string id = surface(2).id.text();
    const auto has = [&](const std::string& address, const OscArguments& arguments) {
        return std::any_of(sent.begin(), sent.end(), [&](const OscOutgoing& out) {
            return out.to == client && out.address == address && out.arguments == arguments;
        });
    };
    EXPECT_TRUE(has("/prismeta/surface/" + id + "/opacity", {f(1)}));
    EXPECT_TRUE(has("/prismeta/surface/" + id + "/mediaKind", {OscArgument::text("testPattern")}));
    EXPECT_TRUE(has("/prismeta/surface/" + id + "/select", {OscArgument::int32(1)}));
    EXPECT_TRUE(has("/prismeta/list/surfaces/count", {OscArgument::int32(3)}));
    EXPECT_TRUE(has("/prismeta/list/surfaces", {OscArgument::text(id), OscArgument::int32(2),
                                                OscArgument::text("Surface 3")}));
    EXPECT_TRUE(has("/prismeta/output/" + output.id.text() + "/blend/right", {f(0.3f)}));
    EXPECT_FALSE(has("/prismeta/output/" + output.id.text() + "/blend/left", {f(0)}))
        << "only what changed";
    EXPECT_FALSE(has("/prismeta/list/outputs/count", {OscArgument::int32(1)}))
        << "the outputs' listing did not change";
}

TEST_F(Controller, APatternTooCostlyForTheShowIsRefusedWholeNotHalfDone) {
    // Long names, and a long pattern that must try each name to its end.
    std::vector<Surface> many(200);
    for (Surface& s : many) {
        s.name = std::string(1000, 'a');
    }
    model.setSurfaces(std::move(many));
    std::string pattern;
    while (pattern.size() + 2 <= OscPattern::maxLength) {
        pattern += "*a";
    }
    pattern += "b";
    const SurfaceList before = model.surfaces();
    handle("/prismeta/surface/" + pattern + "/opacity", {f(0)});
    EXPECT_TRUE(model.surfaces().sharesStorageWith(before));
    EXPECT_TRUE(logMentions("too costly to match against every name of this show"));
    // A short pattern over the same names is fine.
    handle("/prismeta/surface/a*/opacity", {f(0)});
    EXPECT_DOUBLE_EQ(surface(199).opacity, 0.0);
}

TEST_F(Controller, AnswersToOneDestinationAreBudgeted) {
    std::vector<Surface> many(OscController::replyBudget / 2 + 10);
    model.setSurfaces(std::move(many));
    // Two answers per surface (opacity and feather): over the budget.
    handle("/prismeta/surface/*/{opacity,feather}", {OscArgument::text("?")});
    EXPECT_EQ(sent.size(), OscController::replyBudget);
    EXPECT_TRUE(logMentions("messages to 127.0.0.1:50000: more than"));
}

} // namespace
} // namespace prismeta
