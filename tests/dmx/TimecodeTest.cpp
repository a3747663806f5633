// Timecode: the four rates' labels and frame numbers (drop-frame's skipped
// labels included), and a show chasing incoming timecode: cues reached, jumps
// cut to the cue in force, small steps back, the freewheel and the hold.
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "dmx/TimecodeChase.h"
#include "dmx/TimecodeRate.h"

#include <gtest/gtest.h>

#include <optional>

namespace prismeta {
namespace {

TEST(TimecodeRate, EveryFrameOfADayHasOneLabelAndBack) {
    for (TimecodeRate rate : {TimecodeRate::film24, TimecodeRate::ebu25,
                              TimecodeRate::dropFrame2997, TimecodeRate::smpte30}) {
        const std::int64_t day = framesPerDay(rate);
        Timecode previous{-1, 0, 0, 0};
        for (std::int64_t frame = 0; frame < day; ++frame) {
            const Timecode label = timecodeAt(frame, rate);
            ASSERT_TRUE(existsAt(label, rate)) << timecodeText(label);
            ASSERT_EQ(frameNumber(label, rate), frame) << timecodeText(label);
            ASSERT_LT(previous, label);
            previous = label;
        }
        EXPECT_EQ(timecodeAt(day, rate), Timecode{}); // wraps at 24 hours
    }
    // Drop-frame: ;00 and ;01 skipped at each minute but every tenth; a
    // real second is a little more than 30 labels.
    const TimecodeRate df = TimecodeRate::dropFrame2997;
    EXPECT_EQ(timecodeAt(1799, df), (Timecode{0, 0, 59, 29}));
    EXPECT_EQ(timecodeAt(1800, df), (Timecode{0, 1, 0, 2}));
    EXPECT_EQ(timecodeAt(17982, df), (Timecode{0, 10, 0, 0}));
    EXPECT_FALSE(existsAt(Timecode{0, 1, 0, 1}, df));
    EXPECT_TRUE(existsAt(Timecode{0, 10, 0, 1}, df));
    EXPECT_EQ(frameNumber(Timecode{0, 1, 0, 0}, df), 1800); // a skipped label: the next frame
    EXPECT_EQ(framesPerDay(df), 2589408);
    // Drop-frame keeps labels to the wall clock: 86.4 ms a day off.
    EXPECT_NEAR(framesPerDay(df) / framesPerSecond(df), 86400 - 0.0864, 1e-6);
    EXPECT_EQ(frameNumber(Timecode{0, 0, 1, 29}, TimecodeRate::ebu25), 49); // 29 reads as 24
}

Cue timedCue(const char* name, const Uuid& surface, double opacity, Timecode at,
             double fade = 0.0) {
    Cue cue;
    cue.name = name;
    cue.fade = fade;
    cue.timecode = at;
    CueLook look;
    look.surface = surface;
    look.opacity = opacity;
    cue.looks.push_back(look);
    return cue;
}

struct Chase {
    ProjectModel model;
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner{model, showClock, wallClock};
    TimecodeChase chase{runner, model};
    Uuid surface;
    double now = 100.0;

    Chase() {
        Surface s;
        s.mediaKind = MediaKind::color;
        surface = s.id;
        model.setSurfaces(std::vector<Surface>{s});
        // Three cues a second apart at 25 fps from 01:00:00:00; the
        // middle one fades.
        model.setCues(std::vector<Cue>{
            timedCue("One", surface, 0.8, {1, 0, 0, 0}),
            timedCue("Two", surface, 0.6, {1, 0, 1, 0}, 2.0),
            timedCue("Three", surface, 0.4, {1, 0, 2, 0}),
            Cue(), // without a timecode: chasing never goes there
        });
    }
    // Codes every frame from `from`, `count` of them, as a desk sends them.
    void play(Timecode from, int count) {
        const std::int64_t first = frameNumber(from, TimecodeRate::ebu25);
        for (int i = 0; i < count; ++i) {
            showClock.seconds = now;
            chase.receive(timecodeAt(first + i, TimecodeRate::ebu25), TimecodeRate::ebu25, now);
            now += 0.04;
        }
    }
    std::optional<std::size_t> live() const { return runner.liveIndex(); }
};

TEST(TimecodeChase, CuesGoAsTheTimeReachesThemWithTheirFades) {
    Chase show;
    show.play({0, 59, 59, 0}, 25); // before the first cue: nothing in force
    EXPECT_FALSE(show.live());
    show.play({1, 0, 0, 0}, 1);
    EXPECT_EQ(show.live(), 0u);
    show.play({1, 0, 0, 1}, 24);
    EXPECT_EQ(show.live(), 0u);
    show.play({1, 0, 1, 0}, 1);
    EXPECT_EQ(show.live(), 1u);
    EXPECT_EQ(show.runner.state().fade, 2.0); // a GO from the cue before, with its fade
    show.play({1, 0, 1, 1}, 40);
    EXPECT_EQ(show.live(), 2u);
}

TEST(TimecodeChase, JumpsCutToTheCueInForceAndSmallStepsBackGoNowhere) {
    Chase show;
    show.play({1, 0, 2, 10}, 3); // the first code: a jump into "Three"
    EXPECT_EQ(show.live(), 2u);
    EXPECT_EQ(show.runner.state().fade, 0.0);
    show.play({1, 0, 2, 0}, 2); // 10 frames back: nothing
    EXPECT_EQ(show.live(), 2u);
    show.play({1, 0, 1, 0}, 2); // more than a second back: the cue in force
    EXPECT_EQ(show.live(), 1u);
    EXPECT_EQ(show.runner.state().fade, 0.0); // as a cut, not its 2 s fade
    show.play({0, 10, 0, 0}, 1);              // before every cue: stays
    EXPECT_EQ(show.live(), 1u);
    show.play({1, 30, 0, 0}, 1); // far ahead
    EXPECT_EQ(show.live(), 2u);
}

TEST(TimecodeChase, StoppedTimecodeFreewheelsThenHolds) {
    Chase show;
    show.chase.setFreewheelFrames(10);
    show.play({1, 0, 0, 10}, 5); // up to 01:00:00:14
    const double last = show.now - 0.04;
    EXPECT_EQ(show.chase.position(last).state, TimecodeChase::State::running);
    EXPECT_EQ(show.chase.position(last + 0.2).state, TimecodeChase::State::freewheeling);
    EXPECT_EQ(show.chase.position(last + 0.2).timecode, (Timecode{1, 0, 0, 19}));
    EXPECT_EQ(show.chase.position(last + 5.0).state, TimecodeChase::State::stopped);
    EXPECT_EQ(show.chase.position(last + 5.0).timecode, (Timecode{1, 0, 0, 24}));
    EXPECT_FALSE(show.chase.moving(last + 5.0));
    // The hold stops short of "Two" at 01:00:01:00; a longer freewheel reaches it.
    show.chase.tick(last + 5.0);
    EXPECT_EQ(show.live(), 0u);
    show.chase.setFreewheelFrames(20);
    show.chase.tick(last + 0.5);
    EXPECT_EQ(show.live(), 1u);
}

} // namespace
} // namespace prismeta
