// The leader's cues as a follower draws them: the show message on the show
// clock, GOs ahead of time, late GOs, looks that come after their GO, cuts
// and the blackout, without a network.
#include "cluster/FollowedCues.h"
#include "cluster/ClusterMessages.h"
#include "cluster/CueTiming.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

constexpr std::int64_t epoch = 1'765'000'000'000'000; // show clock, µs

Surface coloured(const Uuid& id, float red) {
    Surface surface;
    surface.id = id;
    surface.mediaKind = MediaKind::color;
    surface.color = RGBA{red, 0.0f, 0.0f, 1.0f};
    surface.opacity = 1.0;
    return surface;
}

double redAt(const FollowedCues& cues, const Surface& drawn, double steady) {
    return cues.crossfade() ? cues.crossfade()->onScreen(drawn, steady).color.r : drawn.color.r;
}

TEST(ShowStateMessageTest, CarriesTheCueAndTheBlackoutOnTheShowClock) {
    ShowStateMessage show;
    show.go = ShowStateMessage::Go{Uuid::random(), epoch + 100'000, 2.5};
    show.blackout = ShowStateMessage::BlackoutSwitch{true, epoch, 1.0, 0.25};
    const Uuid video = Uuid::random();
    show.videoStarts[video] = epoch;
    show.videoMedia[video] = "video|/show/intro.mov";
    const auto read = readShowState(writeShowState(show));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value(), show);
    EXPECT_EQ(readShowState(writeShowState(ShowStateMessage())).value(), ShowStateMessage());

    const std::string id = Uuid::random().text();
    for (const std::string& bad : std::vector<std::string>{
             R"({"cue":{"id":"x","go":1,"fade":0}})",
             R"({"cue":{"id":")" + id + R"(","go":-1,"fade":0}})",
             R"({"cue":{"id":")" + id + R"(","go":1,"fade":3601}})",
             R"({"cue":{"id":")" + id + R"(","go":1.5,"fade":1}})", R"({"cue":")" + id + R"("})",
             R"({"blackout":{"on":1,"at":1,"fade":1,"from":0}})",
             R"({"blackout":{"on":true,"at":1,"fade":1,"from":2}})",
             R"({"blackout":{"on":true,"at":1,"fade":1e999,"from":0}})",
             R"({"videoMedia":{")" + id + R"(":7}})"}) {
        EXPECT_FALSE(readShowState(bad)) << bad;
    }

    // Steady seconds to the show clock and back, both machines' way.
    ShowState state;
    state.liveCue = Uuid::random();
    state.goTime = 500.1;
    state.fade = 3.0;
    state.blackout = Blackout{true, 499.0, 1.0, 0.0};
    ShowStateMessage message;
    putCueState(message, state, ClockReading{500.0, epoch});
    EXPECT_EQ(message.go->atMicros, epoch + 100'000);
    EXPECT_EQ(message.blackout->atMicros, epoch - 1'000'000);
    const ShowState there = cueStateOf(message, ClockReading{20.0, epoch + 50'000});
    EXPECT_EQ(there.liveCue, state.liveCue);
    EXPECT_NEAR(there.goTime, 20.05, 1e-9);
    EXPECT_NEAR(there.blackout.start, 18.95, 1e-9);
    EXPECT_EQ(there.blackout.on, true);
    EXPECT_FALSE(cueStateOf(ShowStateMessage(), ClockReading{20.0, epoch}).liveCue);
}

TEST(FollowedCuesTest, StartsEachGoOnItsTimeFromWhatWasShown) {
    const Uuid a = Uuid::random();
    const Uuid b = Uuid::random();
    const SurfaceList dark({coloured(a, 0.0f), coloured(b, 0.0f)});
    const SurfaceList lit({coloured(a, 1.0f), coloured(b, 0.0f)});
    FollowedCues cues;
    ShowStateMessage message;
    cues.update(message, dark, dark, ClockReading{10.0, epoch});
    EXPECT_FALSE(cues.crossfade());

    // A GO 100 ms ahead with a 1 s fade; its look comes a frame later.
    const Uuid cue = Uuid::random();
    message.go = ShowStateMessage::Go{cue, epoch + 100'000, 1.0};
    cues.update(message, dark, dark, ClockReading{10.0, epoch});
    EXPECT_EQ(cues.state().liveCue, cue);
    EXPECT_DOUBLE_EQ(cues.state().goTime, 10.1);
    const std::uint64_t revision = cues.revision();
    cues.update(message, dark, lit, ClockReading{10.016, epoch + 16'000});
    EXPECT_GT(cues.revision(), revision);
    EXPECT_DOUBLE_EQ(redAt(cues, lit[0], 10.05), 0.0) << "nothing before the GO's time";
    EXPECT_NEAR(redAt(cues, lit[0], 10.6), 0.5, 1e-6);
    EXPECT_DOUBLE_EQ(redAt(cues, lit[0], 11.2), 1.0);
    EXPECT_DOUBLE_EQ(redAt(cues, lit[1], 10.6), 0.0) << "a surface the cue leaves alone";

    // Nothing new: nothing changes (and nothing is made).
    const auto fade = cues.crossfade();
    cues.update(message, lit, lit, ClockReading{10.3, epoch + 300'000});
    EXPECT_EQ(cues.crossfade(), fade);

    // An edit after the GO ends that surface's fade at the new value.
    const SurfaceList edited({coloured(a, 0.2f), coloured(b, 0.0f)});
    cues.update(message, lit, edited, ClockReading{10.5, epoch + 500'000});
    EXPECT_FLOAT_EQ(static_cast<float>(redAt(cues, edited[0], 10.6)), 0.2f);

    // A GO at 20 s with a 4 s fade, back to dark, arriving 3 s late (a
    // follower that was away): it starts at once, three quarters in.
    const Uuid second = Uuid::random();
    message.go = ShowStateMessage::Go{second, epoch + 10'000'000, 4.0};
    cues.update(message, edited, dark, ClockReading{23.0, epoch + 13'000'000});
    EXPECT_NEAR(redAt(cues, dark[0], 23.0), 0.2 * 0.25, 1e-6);
    EXPECT_DOUBLE_EQ(redAt(cues, dark[0], 24.0), 0.0);
}

TEST(FollowedCuesTest, ACutWaitsForItsFrameAndTheBlackoutFollows) {
    const Uuid a = Uuid::random();
    const SurfaceList dark({coloured(a, 0.0f)});
    const SurfaceList lit({coloured(a, 1.0f)});
    FollowedCues cues;
    ShowStateMessage message;
    message.go = ShowStateMessage::Go{Uuid::random(), epoch + 100'000, 0.0};
    cues.update(message, dark, lit, ClockReading{10.0, epoch});
    EXPECT_DOUBLE_EQ(redAt(cues, lit[0], 10.099), 0.0);
    EXPECT_DOUBLE_EQ(redAt(cues, lit[0], 10.1), 1.0);

    message.blackout = ShowStateMessage::BlackoutSwitch{true, epoch + 100'000, 2.0, 0.0};
    cues.update(message, lit, lit, ClockReading{10.0, epoch});
    EXPECT_DOUBLE_EQ(cues.state().blackout.level(10.05), 0.0);
    EXPECT_DOUBLE_EQ(cues.state().blackout.level(11.1), 0.5);
    // A blackout switched without a fade also waits for its moment.
    message.blackout = ShowStateMessage::BlackoutSwitch{false, epoch + 5'100'000, 0.0, 1.0};
    cues.update(message, lit, lit, ClockReading{15.0, epoch + 5'000'000});
    EXPECT_DOUBLE_EQ(cues.state().blackout.level(15.09), 1.0);
    EXPECT_DOUBLE_EQ(cues.state().blackout.level(15.1), 0.0);
}

} // namespace
} // namespace prismeta
