#include "media/PlaybackClock.h"

#include "TestFiles.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace prismeta {
namespace {

using namespace videotest;

TEST(PlaybackClock, FirstMemberStartsLaterOnesJoinTheLastOneEndsIt) {
    const std::size_t before = PlaybackClock::activePlaybacks();
    const Uuid surface = Uuid::random();
    std::optional<PlaybackClock> editor(std::in_place, surface, "video|/a.mp4", 10.0);
    PlaybackClock output(surface, "video|/a.mp4", 14.5);
    EXPECT_EQ(editor->start(), 10.0);
    EXPECT_EQ(output.start(), 10.0);
    EXPECT_EQ(PlaybackClock::activePlaybacks(), before + 1);

    // Another path, or another surface with the same path, is another playback.
    PlaybackClock otherPath(surface, "video|/b.mp4", 15.0);
    PlaybackClock otherSurface(Uuid::random(), "video|/a.mp4", 16.0);
    EXPECT_EQ(otherPath.start(), 15.0);
    EXPECT_EQ(otherSurface.start(), 16.0);

    // The first member leaving first does not end the playback...
    editor.reset();
    PlaybackClock late(surface, "video|/a.mp4", 20.0);
    EXPECT_EQ(late.start(), 10.0);

    // ...the last one does, and the next member starts afresh.
    {
        PlaybackClock moved(std::move(late));
        EXPECT_EQ(moved.start(), 10.0);
        PlaybackClock outputMoved = std::move(output);
    }
    PlaybackClock fresh(surface, "video|/a.mp4", 30.0);
    EXPECT_EQ(fresh.start(), 30.0);
}

// Two renderers of one surface: the second opens while the first is playing,
// part-way into its third loop, and both show the same picture at every host
// time from then on: the one due then.
TEST(PlaybackClock, RenderersOfOneSurfaceShowTheSamePictureAtTheSameHostTime) {
    const char* encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    testfiles::TempDir dir("clock");
    constexpr int frames = 40; // key frames every 12 pictures, loop of 4/3 s
    fixtures::VideoSpec spec;
    spec.encoder = encoder;
    spec.frames = frames;
    const std::string path = dir.file("clip.mp4");
    ASSERT_TRUE(fixtures::writeVideo(path, spec));
    const Uuid surface = Uuid::random();
    const std::string signature = "video|" + path;

    const double opened = 500.0;
    PlaybackClock editorClock(surface, signature, opened);
    VideoPlayer editor(path, editorClock.start(), opened);
    Screen editorScreen;
    for (int step = 0; step < 20; ++step) {
        editorScreen.step(editor, opened + step * 0.05);
    }

    // A window opened while the editor shows media time 3.37 s: 0.703 s into
    // the third loop, picture 21, after the key frame at 12. Then another,
    // after the first has closed, at picture 27 of the fourth loop.
    for (const double joinAt : {3.37, 4.9}) {
        const double now = opened + joinAt;
        PlaybackClock outputClock(surface, signature, now);
        ASSERT_EQ(outputClock.start(), opened);
        VideoPlayer output(path, outputClock.start(), now);
        Screen outputScreen;
        for (int step = 0; step < 45; ++step) {
            const double hostTime = now + step / 60.0;
            editorScreen.step(editor, hostTime);
            outputScreen.step(output, hostTime);
            const int due = dueNumber(hostTime - opened, frames);
            ASSERT_EQ(editorScreen.shown, due) << "editor at " << hostTime - opened;
            ASSERT_EQ(outputScreen.shown, due) << "output at " << hostTime - opened;
        }
    }
}

// A show decides starts: a GO's start is kept for the members to come,
// moves a running playback, starts a cued one, and at most one start per
// surface waits without members.
TEST(PlaybackClock, StartsGivenBeforeOrAfterMembersJoinAreWhatEveryMemberReads) {
    const std::size_t before = PlaybackClock::activePlaybacks();
    const Uuid surface = Uuid::random();
    const std::string x = "video|/x.mp4";
    const std::string y = "video|/y.mp4";

    // Opened ahead of its GO: waits, and a second cued member does not start it.
    std::optional<PlaybackClock> editor(std::in_place, surface, x, 5.0, PlaybackClock::Join::cued);
    PlaybackClock output(surface, x, 6.0, PlaybackClock::Join::cued);
    EXPECT_EQ(editor->start(), PlaybackClock::notStarted);
    EXPECT_TRUE(PlaybackClock::snapshot().empty() ||
                std::none_of(PlaybackClock::snapshot().begin(), PlaybackClock::snapshot().end(),
                             [&](const auto& s) { return s.surface == surface; }));
    PlaybackClock::startAt(surface, x, 8.0);
    EXPECT_EQ(editor->start(), 8.0);
    EXPECT_EQ(output.start(), 8.0);
    // Restarted while running: every member reads the new start.
    PlaybackClock::startAt(surface, x, 9.5);
    EXPECT_EQ(editor->start(), 9.5);
    EXPECT_EQ(output.start(), 9.5);
    output.startIfCued(20.0);
    EXPECT_EQ(output.start(), 9.5);

    // A start for a video nobody plays yet is kept for its first member...
    PlaybackClock::startAt(surface, y, 12.0);
    PlaybackClock late(surface, y, 13.0);
    EXPECT_EQ(late.start(), 12.0);
    const auto snapshot = PlaybackClock::snapshot();
    std::vector<std::pair<std::string, double>> mine;
    for (const auto& started : snapshot) {
        if (started.surface == surface) {
            mine.emplace_back(started.signature, started.hostStart);
        }
    }
    EXPECT_EQ(mine, (std::vector<std::pair<std::string, double>>{{x, 9.5}, {y, 12.0}}));

    // ...but only the newest of those waiting without one, per surface.
    const Uuid other = Uuid::random();
    PlaybackClock::startAt(other, x, 1.0);
    PlaybackClock::startAt(other, y, 2.0);
    EXPECT_EQ(PlaybackClock(other, y, 3.0).start(), 2.0);
    EXPECT_EQ(PlaybackClock(other, x, 4.0).start(), 4.0);

    // A plain member finding a cued playback starts it; a cued one about to
    // be shown starts it too.
    const Uuid third = Uuid::random();
    {
        PlaybackClock cued(third, x, 1.0, PlaybackClock::Join::cued);
        PlaybackClock shown(third, x, 2.0);
        EXPECT_EQ(cued.start(), 2.0);
    }
    {
        PlaybackClock cued(third, x, 1.0, PlaybackClock::Join::cued);
        cued.startIfCued(3.0);
        EXPECT_EQ(cued.start(), 3.0);
    }
    editor.reset();
    EXPECT_EQ(PlaybackClock::activePlaybacks(), before + 2); // x and y of the first surface
}

} // namespace
} // namespace prismeta
