// The cue addresses: GO (with a fade of its own), Back, GO on a cue by id,
// position, name or pattern, the live cue as a query and as feedback, the
// blackout, the cue list, and what is refused.
#include "control/OscController.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = OscController::Clock;

const OscEndpoint cueClient{"127.0.0.1", 50001};

class OscCues : public ::testing::Test {
protected:
    OscCues()
        : sink([this](std::string_view line) { logged.emplace_back(line); }),
          controller(
              model, [this](const OscOutgoing& m) { sent.push_back(m); }, 0s) {
        model.addSurface();
        std::vector<Cue> cues;
        for (const char* name : {"Preshow", "Opening", "Finale"}) {
            Cue cue;
            cue.name = name;
            cue.fade = 3.0;
            CueLook look;
            look.surface = model.surfaces()[0].id;
            look.opacity = static_cast<double>(cues.size()) / 4;
            cue.looks.push_back(look);
            cues.push_back(cue);
        }
        model.setCues(cues);
        controller.setCueRunner(&runner);
    }

    void handle(std::string address, OscArguments arguments = {}) {
        OscMessage m;
        m.address = std::move(address);
        m.arguments = std::move(arguments);
        m.sender = cueClient;
        m.received = at;
        controller.handle(m, at);
    }
    bool logMentions(std::string_view text) const {
        return std::any_of(logged.begin(), logged.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    ProjectModel model;
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner{model, showClock, wallClock};
    std::vector<std::string> logged;
    ScopedLogSink sink;
    std::vector<OscOutgoing> sent;
    OscController controller;
    Clock::time_point at = Clock::time_point{} + 1s;
};

TEST_F(OscCues, GoBackAndGoOnATarget) {
    handle("/prismeta/cue/go");
    EXPECT_EQ(runner.liveIndex(), 0u);
    EXPECT_EQ(runner.state().fade, 3.0);
    handle("/prismeta/cue/go", {OscArgument::float32(0.5f)});
    EXPECT_EQ(runner.liveIndex(), 1u);
    EXPECT_EQ(runner.state().fade, 0.5) << "the fade given replaces the cue's";
    handle("/prismeta/cue/back");
    EXPECT_EQ(runner.liveIndex(), 0u);
    handle("/prismeta/cue/2/go");
    EXPECT_EQ(runner.liveIndex(), 2u) << "positions are 0-based, as for surfaces";
    handle("/prismeta/cue/Opening/go", {OscArgument::int32(0)});
    EXPECT_EQ(runner.liveIndex(), 1u);
    EXPECT_EQ(runner.state().fade, 0.0);
    handle("/prismeta/cue/Pre*/go");
    EXPECT_EQ(runner.liveIndex(), 0u);
    handle("/prismeta/cue/" + model.cues()[2].id.text() + "/go");
    EXPECT_EQ(runner.liveIndex(), 2u);
    EXPECT_EQ(model.surfaces()[0].opacity, 0.5);
}

TEST_F(OscCues, BadMessagesAreRefusedWithALogLine) {
    handle("/prismeta/cue/go", {OscArgument::float32(-1.0f)});
    handle("/prismeta/cue/go", {OscArgument::text("soon")});
    handle("/prismeta/cue/Nothing/go");
    handle("/prismeta/cue/[/go");
    handle("/prismeta/cue/0/stop");
    handle("/prismeta/blackout", {OscArgument::int32(2)});
    handle("/prismeta/cue/back");
    EXPECT_FALSE(runner.liveIndex());
    EXPECT_TRUE(logMentions("no cue matches"));
    EXPECT_TRUE(logMentions("no cue before"));
    // A runner that shows another machine's cues refuses GO and blackout.
    runner.adopt(ShowState(), nullptr);
    handle("/prismeta/cue/go");
    handle("/prismeta/blackout", {OscArgument::int32(1)});
    EXPECT_TRUE(logMentions("shows the cues of the show's leader"));
    EXPECT_FALSE(runner.state().blackout.on);
    controller.setCueRunner(nullptr);
    handle("/prismeta/cue/go");
    EXPECT_TRUE(logMentions("no show is running here"));
}

TEST_F(OscCues, CurrentCueIsAnsweredAndFedToSubscribers) {
    handle("/prismeta/cue/current");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].arguments[1], OscArgument::int32(-1));
    handle("/prismeta/subscribe");
    controller.update(at);
    sent.clear();
    handle("/prismeta/cue/1/go");
    at += 1s;
    controller.update(at);
    const auto current = std::find_if(sent.begin(), sent.end(), [](const OscOutgoing& m) {
        return m.address == "/prismeta/cue/current";
    });
    ASSERT_NE(current, sent.end());
    EXPECT_EQ(current->to, cueClient);
    EXPECT_EQ(current->arguments,
              (OscArguments{OscArgument::text(model.cues()[1].id.text()), OscArgument::int32(1),
                            OscArgument::text("Opening")}));
}

TEST_F(OscCues, BlackoutAndTheCueList) {
    handle("/prismeta/blackout", {OscArgument{'T', {}}});
    EXPECT_TRUE(runner.state().blackout.on);
    handle("/prismeta/blackout", {OscArgument::int32(0)});
    EXPECT_FALSE(runner.state().blackout.on);
    sent.clear();
    handle("/prismeta/list/cues");
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].address, "/prismeta/list/cues/count");
    EXPECT_EQ(sent[0].arguments[0], OscArgument::int32(3));
    EXPECT_EQ(sent[3].arguments[2], OscArgument::text("Finale"));
}

// The lighting desk's and the timecode's status, from whatever the
// application hands the controller, and what is said without them.
TEST_F(OscCues, DmxStatusAndTimecodeAreAnswered) {
    handle("/prismeta/dmx/status");
    handle("/prismeta/timecode", {OscArgument::text("?")});
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].address, "/prismeta/dmx/status/count");
    EXPECT_EQ(sent[0].arguments, OscArguments{OscArgument::int32(0)});
    EXPECT_EQ(sent[1].arguments[2], OscArgument::text("off"));

    OscController::ShowInputs inputs;
    inputs.dmxSources = [] {
        return std::vector<OscArguments>{{OscArgument::int32(1), OscArgument::text("sacn"),
                                          OscArgument::text("Console"), OscArgument::int32(150),
                                          OscArgument::float32(44.0f)}};
    };
    inputs.timecode = [] {
        return std::optional<OscArguments>({OscArgument::text("01:00:00:00"),
                                            OscArgument::text("25"), OscArgument::text("running")});
    };
    controller.setShowInputs(inputs);
    sent.clear();
    handle("/prismeta/query", {OscArgument::text("/prismeta/dmx/status")});
    handle("/prismeta/timecode");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].address, "/prismeta/dmx/status");
    EXPECT_EQ(typeTags(sent[1].arguments), "issif");
    EXPECT_EQ(sent[2].arguments[0], OscArgument::text("01:00:00:00"));
    handle("/prismeta/timecode", {OscArgument::float32(1.0f)});
    EXPECT_TRUE(logMentions("takes no arguments"));
}

} // namespace
} // namespace prismeta
