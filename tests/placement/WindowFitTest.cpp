#include "placement/WindowFit.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

// The framed rectangle of a client rectangle.
ScreenRect framed(const ScreenRect& client, FrameMargins frame) {
    return {client.x - frame.left, client.y - frame.top, client.width + frame.left + frame.right,
            client.height + frame.top + frame.bottom};
}

TEST(CentredWindow, AWindowThatFitsIsCentredWithItsFrame) {
    const FrameMargins frame{4, 30, 4, 4};
    const ScreenRect area{1920, 0, 1920, 1050};
    const ScreenRect client = centredWindow({960, 540}, area, frame);
    EXPECT_EQ(client.width, 960);
    EXPECT_EQ(client.height, 540);
    // Frame 968 x 574 centred in 1920 x 1050: 476 and 238 from the corner.
    EXPECT_EQ(client.x, 1920 + 476 + 4);
    EXPECT_EQ(client.y, 238 + 30);
    EXPECT_TRUE(area.contains(framed(client, frame)));
}

TEST(CentredWindow, ATooLargeWindowShrinksWithItsAspectAndStaysOnTheScreen) {
    const FrameMargins frame{2, 24, 2, 2};
    // A small projector left of the primary screen.
    const ScreenRect area{-800, 0, 800, 600};
    const ScreenRect client = centredWindow({960, 540}, area, frame);
    EXPECT_EQ(client.width, 796);
    EXPECT_EQ(client.height, 447); // 540 * 796 / 960, rounded down
    EXPECT_TRUE(area.contains(framed(client, frame)));

    // Too tall rather than too wide.
    const ScreenRect tall = centredWindow({400, 2000}, {0, 0, 1920, 1080}, {});
    EXPECT_EQ(tall.height, 1080);
    EXPECT_EQ(tall.width, 216);
    EXPECT_EQ(tall.x, (1920 - 216) / 2);
}

TEST(CentredWindow, DegenerateSizesAndAreasGiveAtLeastOnePixel) {
    EXPECT_EQ(centredWindow({0, -5}, {0, 0, 100, 100}, {}), (ScreenRect{49, 49, 1, 1}));
    // An area no larger than its frame: the first pixel inside the frame.
    EXPECT_EQ(centredWindow({960, 540}, {10, 10, 8, 8}, {4, 30, 4, 4}), (ScreenRect{14, 40, 1, 1}));
}

} // namespace
} // namespace prismeta
