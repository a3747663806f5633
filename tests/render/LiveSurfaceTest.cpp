// Live surfaces drawn and read back, fed by ffmpeg on the loopback: the last
// picture held for the hold time and then the placeholder, the picture back
// by itself, two windows on one reader, and a cue switching to a live source
// that was opened ahead of its GO. Drawn at real host times, as a window
// draws, with generous waits for arrival.
#include "GlTestSupport.h"
#include "HeadlessCanvas.h"
#include "streams/StreamSenders.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "media/LiveSources.h"
#include "render/FFmpegMediaBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace prismeta::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int liveSize = 32;
const std::array<int, 4> livePlaceholder = {38, 38, 43, 255};
constexpr auto arrival = 40s;

double now() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

bool isRed(const Picture& picture) {
    const auto pixel = picture.at(liveSize / 2, liveSize / 2);
    return pixel[0] > 215 && pixel[1] < 40 && pixel[2] < 40;
}

// Draws (as a window does, at the host time of each frame) until the
// predicate holds for a frame, or the time is up.
template <typename Predicate>
bool drawUntil(HeadlessCanvas& canvas, Predicate&& holds, Clock::duration wait = arrival) {
    const auto deadline = Clock::now() + wait;
    do {
        if (holds(canvas.draw(now()))) {
            return true;
        }
        std::this_thread::sleep_for(16ms);
    } while (Clock::now() < deadline);
    return false;
}

Surface liveSurface(const std::string& url) {
    Surface surface;
    surface.corners = fullCanvas();
    surface.mediaKind = MediaKind::live;
    surface.mediaPath = url;
    return surface;
}

std::vector<std::string> udpOutput(const std::string& url) {
    return {"-f", "mpegts", url + "?pkt_size=1316"};
}

class LiveSurface : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(useGlContext()); }
    void TearDown() override { LiveSources::setHoldSeconds(LiveSources::defaultHoldSeconds); }

    std::string url_ = "udp://127.0.0.1:" + std::to_string(testing::freeUdpPort());
};

TEST_F(LiveSurface, HoldsItsLastPictureForTheHoldTimeThenThePlaceholderAndComesBack) {
    LiveSources::setHoldSeconds(1.0);
    ProjectModel model;
    model.setSurfaces({liveSurface(url_)});
    HeadlessCanvas canvas(model, liveMediaBackend(), liveSize, liveSize);
    ASSERT_TRUE(canvas);
    // Nothing yet: the placeholder, and the window keeps drawing.
    EXPECT_EQ(canvas.draw(now()).at(16, 16), livePlaceholder);
    EXPECT_TRUE(canvas.renderer->needsFrames());

    auto sender =
        std::make_unique<testing::StreamSender>(testing::SenderPicture{}, udpOutput(url_));
    ASSERT_TRUE(drawUntil(canvas, isRed));
    sender.reset();
    const auto pulled = Clock::now();
    // Held (at least until the hold time has passed since the last picture),
    // then the placeholder.
    ASSERT_TRUE(drawUntil(canvas, [&](const Picture& picture) {
        const bool held = isRed(picture);
        EXPECT_TRUE(held || Clock::now() - pulled > 900ms);
        return !held;
    }));
    EXPECT_EQ(canvas.draw(now()).at(16, 16), livePlaceholder);
    EXPECT_TRUE(canvas.renderer->needsFrames());

    sender = std::make_unique<testing::StreamSender>(testing::SenderPicture{}, udpOutput(url_));
    EXPECT_TRUE(drawUntil(canvas, isRed));
}

TEST_F(LiveSurface, TwoWindowsShowOneSourceThroughOneReader) {
    ProjectModel model;
    model.setSurfaces({liveSurface(url_)});
    HeadlessCanvas editor(model, liveMediaBackend(), liveSize, liveSize);
    HeadlessCanvas output(model, liveMediaBackend(), liveSize, liveSize);
    ASSERT_TRUE(editor && output);
    testing::StreamSender sender(testing::SenderPicture{}, udpOutput(url_));
    ASSERT_TRUE(drawUntil(editor, isRed));
    EXPECT_TRUE(drawUntil(output, isRed));
    EXPECT_EQ(LiveSources::openReaders(), 1);
    EXPECT_EQ(LiveSources::acquire(url_, {})->connections(), 1u);
}

// On many machines each node opens only the sources its outputs show: an
// output connects to a live source while its surface reaches the crop, and
// lets it go when the surface moves out.
TEST_F(LiveSurface, AnOutputOpensOnlyTheLiveSourcesItsCropReaches) {
    Surface left = liveSurface(url_);
    const std::vector<Pt> leftCorners = {{0, 0}, {0.4f, 0}, {0.4f, 1}, {0, 1}};
    left.corners = leftCorners;
    ProjectModel model;
    model.setSurfaces({left});
    OutputConfig rightHalf(Uuid::random());
    rightHalf.cropX = 0.5f;
    rightHalf.cropWidth = 0.5f;
    auto output = Renderer::create(model, rightHalf, liveMediaBackend());
    auto fb = OffscreenFramebuffer::create(liveSize, liveSize);
    ASSERT_TRUE(output && fb);
    output->draw(fb->target(), now());
    EXPECT_EQ(LiveSources::openReaders(), 0);

    left.corners = {{0.3f, 0}, {0.6f, 0}, {0.6f, 1}, {0.3f, 1}};
    model.setSurfaces({left});
    output->draw(fb->target(), now());
    EXPECT_EQ(LiveSources::openReaders(), 1);
    left.corners = leftCorners;
    model.setSurfaces({left});
    output->draw(fb->target(), now());
    EXPECT_EQ(LiveSources::openReaders(), 0);
    // The editor's canvas shows the whole canvas.
    HeadlessCanvas editor(model, liveMediaBackend(), liveSize, liveSize);
    editor.draw(now());
    EXPECT_EQ(LiveSources::openReaders(), 1);
}

// The next cue's live source is connected while the cue before runs, unseen;
// its GO shows the live picture on its first frame.
TEST_F(LiveSurface, ACueSwitchesToALiveSourceOpenedAhead) {
    Surface blue;
    blue.corners = fullCanvas();
    blue.mediaKind = MediaKind::color;
    blue.color = {0, 0, 1, 1};
    ProjectModel model;
    model.setSurfaces({blue});
    CueLook toBlue;
    toBlue.surface = blue.id;
    toBlue.mediaKind = MediaKind::color;
    CueLook toLive;
    toLive.surface = blue.id;
    toLive.mediaKind = MediaKind::live;
    toLive.mediaPath = url_;
    Cue first;
    first.looks = {toBlue};
    Cue second;
    second.looks = {toLive};
    model.setCues({first, second});
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner(model, showClock, wallClock);
    HeadlessCanvas canvas(model, liveMediaBackend(), liveSize, liveSize);
    ASSERT_TRUE(canvas);
    testing::StreamSender sender(testing::SenderPicture{}, udpOutput(url_));

    ASSERT_TRUE(runner.go());
    canvas.renderer->setPreload(runner.preload());
    ASSERT_EQ(runner.preload()->size(), 1u);
    const auto deadline = Clock::now() + arrival;
    for (;;) {
        EXPECT_EQ(canvas.draw(now()).at(16, 16), (std::array{0, 0, 255, 255}));
        const auto status = LiveSources::status(url_, {});
        ASSERT_TRUE(status) << "opened ahead";
        if (status->state == LiveStatus::State::connected || Clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(16ms);
    }
    ASSERT_TRUE(runner.go());
    canvas.renderer->setPreload(runner.preload());
    EXPECT_TRUE(isRed(canvas.draw(now())));
}

} // namespace
} // namespace prismeta::test
