// Mask fields over remote control: set, queried, refused and fed back, on
// surfaces (with undo) and outputs (without, as their other fields).
#include "control/OscController.h"

#include "core/Log.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = OscController::Clock;

const OscEndpoint maskClient{"127.0.0.1", 50001};

Mask triangle() {
    Mask m;
    m.points = {MaskPoint{0.1f, 0.1f, std::nullopt, Pt{0.2f, 0.1f}},
                MaskPoint{0.9f, 0.1f, std::nullopt, std::nullopt},
                MaskPoint{0.5f, 0.9f, std::nullopt, std::nullopt}};
    return m;
}

class MaskRemote : public ::testing::Test {
protected:
    MaskRemote()
        : sink([this](std::string_view line) { logged.emplace_back(line); }),
          controller(
              model, [this](const OscOutgoing& m) { sent.push_back(m); }, 0s) {
        model.addSurface();
        model.addOutput(OutputPreset::leftHalf);
        std::vector<Surface> surfaces = model.surfaces().copy();
        surfaces[0].masks = {triangle(), triangle()};
        model.setSurfaces(std::move(surfaces));
        OutputConfig output = model.outputs()[0];
        output.masks = {triangle()};
        model.replaceOutput(0, output);
    }

    void handle(std::string address, OscArguments arguments = {},
                Clock::time_point at = Clock::time_point{} + 1s) {
        OscMessage m;
        m.address = std::move(address);
        m.arguments = std::move(arguments);
        m.sender = maskClient;
        m.received = at;
        controller.handle(m, at);
    }

    bool logMentions(std::string_view text) const {
        return std::any_of(logged.begin(), logged.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    bool sentOut(const std::string& address, const OscArguments& arguments) const {
        return std::any_of(sent.begin(), sent.end(), [&](const OscOutgoing& out) {
            return out.address == address && out.arguments == arguments;
        });
    }

    const Mask& surfaceMask(std::size_t n) const { return model.surfaces()[0].masks[n]; }

    ProjectModel model;
    std::vector<std::string> logged;
    ScopedLogSink sink;
    std::vector<OscOutgoing> sent;
    OscController controller;
};

OscArgument maskFloat(float v) {
    return OscArgument::float32(v);
}

TEST_F(MaskRemote, FieldsAreSetAndQueriedOnSurfacesAndOutputs) {
    const std::size_t steps = model.undoStack().size();
    handle("/prismeta/surface/0/mask/1/enabled", {OscArgument{'F', {}}});
    handle("/prismeta/surface/0/mask/1/invert", {OscArgument::int32(1)});
    handle("/prismeta/surface/0/mask/1/feather", {maskFloat(0.9f)});
    handle("/prismeta/surface/0/mask/0/point/0", {maskFloat(0.3f), maskFloat(0.4f)},
           Clock::time_point{} + 5s);
    EXPECT_FALSE(surfaceMask(1).enabled);
    EXPECT_TRUE(surfaceMask(1).invert);
    EXPECT_EQ(surfaceMask(1).feather, 0.5f) << "clamped to its range";
    // The point moves with its handle, so the curve keeps its shape.
    EXPECT_EQ(surfaceMask(0).points[0].x, 0.3f);
    EXPECT_EQ(surfaceMask(0).points[0].y, 0.4f);
    ASSERT_TRUE(surfaceMask(0).points[0].out);
    EXPECT_FLOAT_EQ(surfaceMask(0).points[0].out->x, 0.4f);
    EXPECT_FLOAT_EQ(surfaceMask(0).points[0].out->y, 0.4f);
    EXPECT_GT(model.undoStack().size(), steps) << "surface masks are undone with the surface";

    const std::size_t afterSurface = model.undoStack().size();
    handle("/prismeta/output/0/mask/0/invert", {OscArgument{'T', {}}});
    handle("/prismeta/output/0/mask/0/point/2", {maskFloat(0.5f), maskFloat(1.0f)});
    EXPECT_TRUE(model.outputs()[0].masks[0].invert);
    EXPECT_EQ(model.outputs()[0].masks[0].points[2].y, 1.0f);
    EXPECT_EQ(model.undoStack().size(), afterSurface) << "outputs have no undo steps";

    const OscArguments query = {OscArgument::text("?")};
    handle("/prismeta/surface/0/mask/1/feather", query);
    handle("/prismeta/surface/0/mask/0/point/0", query);
    handle("/prismeta/output/0/mask/0/invert", query);
    EXPECT_TRUE(sentOut("/prismeta/surface/0/mask/1/feather", {maskFloat(0.5f)}));
    EXPECT_TRUE(sentOut("/prismeta/surface/0/mask/0/point/0", {maskFloat(0.3f), maskFloat(0.4f)}));
    EXPECT_TRUE(sentOut("/prismeta/output/0/mask/0/invert", {OscArgument::int32(1)}));
}

TEST_F(MaskRemote, HandlesAreSetQueriedAndFedBack) {
    OscMessage subscribe;
    subscribe.address = "/prismeta/subscribe";
    subscribe.sender = maskClient;
    controller.handle(subscribe, Clock::now());
    sent.clear();

    // Point 1 has no handles: setting its in handle gives it one and leaves
    // its out handle standing on the point.
    handle("/prismeta/surface/0/mask/0/point/1/in", {maskFloat(0.8f), maskFloat(0.3f)});
    handle("/prismeta/output/0/mask/0/point/0/out", {maskFloat(0.25f), maskFloat(0.05f)});
    ASSERT_TRUE(surfaceMask(0).points[1].in);
    EXPECT_EQ(*surfaceMask(0).points[1].in, (Pt{0.8f, 0.3f}));
    EXPECT_FALSE(surfaceMask(0).points[1].out);
    EXPECT_EQ(surfaceMask(0).points[1].x, 0.9f) << "the point stays";
    EXPECT_EQ(model.outputs()[0].masks[0].points[0].out, (Pt{0.25f, 0.05f}));

    const OscArguments query = {OscArgument::text("?")};
    handle("/prismeta/surface/0/mask/0/point/1/in", query);
    handle("/prismeta/surface/0/mask/0/point/1/out", query);
    EXPECT_TRUE(
        sentOut("/prismeta/surface/0/mask/0/point/1/in", {maskFloat(0.8f), maskFloat(0.3f)}));
    EXPECT_TRUE(
        sentOut("/prismeta/surface/0/mask/0/point/1/out", {maskFloat(0.9f), maskFloat(0.1f)}))
        << "a missing handle answers where it stands: on its point";

    controller.update(Clock::now());
    const std::string id = model.surfaces()[0].id.text();
    EXPECT_TRUE(sentOut("/prismeta/surface/" + id + "/mask/0/point/1/in",
                        {maskFloat(0.8f), maskFloat(0.3f)}));
    EXPECT_FALSE(sentOut("/prismeta/surface/" + id + "/mask/0/point/1/out",
                         {maskFloat(0.9f), maskFloat(0.1f)}))
        << "unchanged handles are not fed back";

    const Surface before = model.surfaces()[0];
    handle("/prismeta/surface/0/mask/0/point/1/in", {maskFloat(0.5f)});
    EXPECT_TRUE(logMentions("takes ff, got f"));
    handle("/prismeta/surface/0/mask/0/point/9/out", {maskFloat(0.5f), maskFloat(0.5f)});
    EXPECT_TRUE(logMentions("has no point 9"));
    handle("/prismeta/surface/0/mask/0/point/1/sideways", {maskFloat(0.5f), maskFloat(0.5f)});
    handle("/prismeta/surface/0/mask/0/point/1/in/more", {maskFloat(0.5f), maskFloat(0.5f)});
    EXPECT_EQ(model.surfaces()[0], before);
}

TEST_F(MaskRemote, WrongAddressesArgumentsAndValuesAreRefusedAndLogged) {
    const Surface before = model.surfaces()[0];
    handle("/prismeta/surface/0/mask/7/enabled", {OscArgument::int32(0)});
    EXPECT_TRUE(logMentions("no mask 7"));
    handle("/prismeta/surface/0/mask/0/point/3", {maskFloat(0), maskFloat(0)});
    EXPECT_TRUE(logMentions("has no point 3"));
    handle("/prismeta/surface/0/mask/0/point/0", {maskFloat(0)});
    EXPECT_TRUE(logMentions("takes ff, got f"));
    handle("/prismeta/surface/0/mask/0/point/0",
           {maskFloat(std::numeric_limits<float>::quiet_NaN()), maskFloat(0)});
    EXPECT_TRUE(logMentions("not a finite number"));
    handle("/prismeta/surface/0/mask/0/point/0", {OscArgument{'d', 1e300}, maskFloat(0)});
    EXPECT_TRUE(logMentions("beyond the range of a 32-bit float"));
    handle("/prismeta/surface/0/mask/x/enabled", {OscArgument::int32(0)});
    EXPECT_TRUE(logMentions("addressed by its number"));
    handle("/prismeta/surface/0/mask/0/colour", {maskFloat(1)});
    handle("/prismeta/surface/0/mask/99999999999999999999/enabled", {OscArgument::int32(0)});
    EXPECT_EQ(model.surfaces()[0], before);
}

TEST_F(MaskRemote, SubscribersAreToldOfChangedMaskFieldsOnly) {
    OscMessage m;
    m.address = "/prismeta/subscribe";
    m.sender = maskClient;
    controller.handle(m, Clock::now());
    sent.clear();

    std::vector<Surface> surfaces = model.surfaces().copy();
    surfaces[0].masks[1].points[2] = MaskPoint{0.25f, 0.75f, std::nullopt, std::nullopt};
    model.setSurfaces(std::move(surfaces));
    controller.update(Clock::now());
    const std::string id = model.surfaces()[0].id.text();
    EXPECT_TRUE(sentOut("/prismeta/surface/" + id + "/mask/1/point/2",
                        {maskFloat(0.25f), maskFloat(0.75f)}));
    EXPECT_FALSE(
        sentOut("/prismeta/surface/" + id + "/mask/1/point/1", {maskFloat(0.9f), maskFloat(0.1f)}));
    EXPECT_FALSE(sentOut("/prismeta/surface/" + id + "/mask/0/enabled", {OscArgument::int32(1)}));
}

} // namespace
} // namespace prismeta
