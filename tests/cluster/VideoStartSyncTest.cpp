// Video starts from the leader's playback clock onto the show clock, and from
// there onto a follower's playback clock in its own host time.
#include "cluster/VideoStartSync.h"
#include "media/PlaybackClock.h"

#include <gtest/gtest.h>

using namespace prismeta;

TEST(VideoStartSync, StartsTravelOnTheShowClock) {
    Surface video;
    video.mediaKind = MediaKind::video;
    video.mediaPath = "/show/intro.mov";
    Surface still;
    still.mediaKind = MediaKind::image;
    still.mediaPath = "/show/still.png";
    const std::string signature = mediaSignature(video);
    // The leader: its renderer started the video at host time 50 s.
    PlaybackClock playing(video.id, signature, 50.0);
    PlaybackClock stale(still.id, "video|/show/old.mov", 40.0); // media it no longer shows
    ShowStateMessage message;
    const ClockReading leader{60.0, 1'765'000'000'000'000};
    putVideoStarts(message, SurfaceList({video, still}), leader);
    EXPECT_EQ(message.videoStarts.size(), std::size_t{1});
    EXPECT_EQ(message.videoStarts.at(video.id), std::int64_t{1'765'000'000'000'000 - 10'000'000});
    EXPECT_EQ(message.videoMedia.at(video.id), signature);
    // Read again a little later: the start sent stays as it was.
    putVideoStarts(message, SurfaceList({video, still}), ClockReading{61.0, 1'765'000'001'000'300});
    EXPECT_EQ(message.videoStarts.at(video.id), std::int64_t{1'765'000'000'000'000 - 10'000'000});

    // A follower whose steady clock reads 500 s at that show time: the
    // start lands at 490 s, for its members now and to come.
    FollowedVideoStarts follower;
    follower.apply(message, ClockReading{500.0, 1'765'000'000'000'000});
    EXPECT_EQ(playing.start(), 490.0);
    PlaybackClock joining(video.id, signature, 700.0);
    EXPECT_EQ(joining.start(), 490.0);
}
