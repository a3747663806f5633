// The renderer's media cache: when sources are made, kept and released, and
// which texture a surface shows.
#include "FakeMedia.h"
#include "GlTestSupport.h"

#include "core/MediaLocations.h"
#include "core/ProjectModel.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

namespace prismeta::test {
namespace {

class MediaSources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(useGlContext());
        fb_ = OffscreenFramebuffer::create(4, 4);
        renderer_ = Renderer::create(model_, std::nullopt, media_.backend());
        ASSERT_TRUE(fb_ && renderer_);
    }

    std::array<int, 4> frame(double time = 0) {
        renderer_->draw(fb_->target(), time);
        return Picture{4, 4, fb_->readPixels()}.at(2, 2);
    }

    static Surface media(MediaKind kind, std::optional<std::string> path) {
        Surface s;
        s.corners = fullCanvas();
        s.mediaKind = kind;
        s.mediaPath = std::move(path);
        return s;
    }

    FakeMedia media_;
    ProjectModel model_;
    std::unique_ptr<OffscreenFramebuffer> fb_;
    std::unique_ptr<Renderer> renderer_;
};

const std::array<int, 4> placeholder = {38, 38, 43, 255}; // (0.15, 0.15, 0.17) * 255

TEST_F(MediaSources, DeletedSurfaceReleasesItsVideoEvenWhenTheListDoesNotShrink) {
    Surface video = media(MediaKind::video, "/a.mov");
    Surface colour = colourSurface(fullCanvas(), {1, 1, 1, 1});
    model_.setSurfaces(std::vector<Surface>{video, colour});
    frame();
    EXPECT_EQ(media_.live("/a.mov"), 1);
    EXPECT_EQ(renderer_->mediaSourceCount(), 1u);

    // The video goes; a new surface of the same count takes its place.
    model_.setSurfaces(std::vector<Surface>{colour, media(MediaKind::testPattern, std::nullopt)});
    frame();
    EXPECT_EQ(media_.live("/a.mov"), 0);
    EXPECT_EQ(renderer_->mediaSourceCount(), 1u);

    // And with [image, colour] where the image goes: the list is as long as the cache.
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::image, "/b.png"), colour});
    frame();
    EXPECT_EQ(media_.live("/b.png"), 1);
    model_.setSurfaces(std::vector<Surface>{colour});
    frame();
    EXPECT_EQ(media_.live("/b.png"), 0);
    EXPECT_EQ(renderer_->mediaSourceCount(), 0u);
}

TEST_F(MediaSources, SurfacesSharingAnIdKeepTheirOwnSources) {
    Surface a = media(MediaKind::video, "/a.mov");
    Surface b = media(MediaKind::image, "/b.png");
    b.id = a.id; // a file may repeat an id
    model_.setSurfaces(std::vector<Surface>{a, b});
    for (int i = 0; i < 5; ++i) {
        frame(i);
    }
    EXPECT_EQ(media_.opened["/a.mov"], 1);
    EXPECT_EQ(media_.opened["/b.png"], 1);
    EXPECT_EQ(renderer_->mediaSourceCount(), 2u);
}

TEST_F(MediaSources, OnlyAChangeOfKindOrPathMakesANewSource) {
    Surface s = media(MediaKind::image, "/a.png");
    model_.setSurfaces(std::vector<Surface>{s});
    frame();
    s.color = {0, 1, 0, 1};
    s.opacity = 0.3;
    s.feather = 0.2f;
    s.corners = rect(0.1f, 0.1f, 0.6f, 0.6f);
    s.mesh = WarpMesh::from(s.corners, 2, 2);
    model_.setSurfaces(std::vector<Surface>{s});
    frame();
    s.mediaPath = "/a.png"; // the same file chosen again
    model_.setSurfaces(std::vector<Surface>{s});
    frame();
    EXPECT_EQ(media_.opened["/a.png"], 1);

    s.mediaKind = MediaKind::color;
    model_.setSurfaces(std::vector<Surface>{s});
    frame();
    EXPECT_EQ(media_.live("/a.png"), 0);
    EXPECT_EQ(renderer_->mediaSourceCount(), 0u);

    s.mediaKind = MediaKind::image;
    model_.setSurfaces(std::vector<Surface>{s});
    frame();
    EXPECT_EQ(media_.opened["/a.png"], 2);

    s.mediaKind = MediaKind::video; // same path, other kind
    model_.setSurfaces(std::vector<Surface>{s});
    frame();
    EXPECT_EQ(media_.live("/a.png"), 1);
    EXPECT_EQ(media_.opened["/a.png"], 3);
}

TEST_F(MediaSources, ImageWithoutPathIsCachedAndNeverOpened) {
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::image, std::nullopt)});
    EXPECT_EQ(frame(), placeholder);
    EXPECT_EQ(frame(), placeholder);
    EXPECT_EQ(renderer_->mediaSourceCount(), 1u);
    EXPECT_TRUE(media_.opened.empty());
}

TEST_F(MediaSources, ImageShowsOnceItsDecoderDelivers) {
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::image, "/late.png")});
    EXPECT_EQ(frame(), placeholder);
    media_.images["/late.png"] = solid(10, 200, 30);
    EXPECT_EQ(frame(), (std::array{10, 200, 30, 255}));
    media_.images["/late.png"] = solid(0, 0, 0); // loaded once: later changes do not show
    EXPECT_EQ(frame(), (std::array{10, 200, 30, 255}));
    EXPECT_EQ(media_.live("/late.png"), 0); // its decoder is done and released
}

TEST_F(MediaSources, VideoKeepsItsLastFrameBetweenNewOnes) {
    media_.videos["/v.mov"] = {{1.0, solid(255, 0, 0)},
                               {3.0, {2, 1, {0, 0, 255, 255, 0, 0, 255, 255}}}};
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::video, "/v.mov")});
    EXPECT_EQ(frame(0.5), placeholder); // nothing decoded yet
    EXPECT_EQ(frame(1.0), (std::array{255, 0, 0, 255}));
    EXPECT_EQ(frame(2.0), (std::array{255, 0, 0, 255})); // no new frame: the last one stays
    EXPECT_EQ(frame(3.0), (std::array{0, 0, 255, 255})); // a new size is fine too
    EXPECT_EQ(frame(4.0), (std::array{0, 0, 255, 255}));
}

TEST_F(MediaSources, FailingDecodersAndBadFramesShowThePlaceholder) {
    media_.throwOnOpen = true;
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::video, "/x.mov")});
    EXPECT_EQ(frame(), placeholder);

    media_.throwOnOpen = false;
    FakeMedia::Picture bad = solid(255, 255, 255);
    bad.height = 0; // a picture without rows is not uploaded
    media_.images["/bad.png"] = bad;
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::image, "/bad.png")});
    EXPECT_EQ(frame(), placeholder);
}

TEST_F(MediaSources, MovedFilesOpenWhereTheyWereFoundAndFollowNewLocations) {
    media_.images["/new/still.png"] = solid(0, 200, 0);
    media_.videos["/new/loop.mov"] = {{0.0, solid(0, 0, 200)}};
    Surface still = media(MediaKind::image, "/old/still.png");
    Surface video = media(MediaKind::video, "/old/loop.mov");
    video.corners = {{0.5f, 0.5f}, {1, 0.5f}, {1, 1}, {0.5f, 1}}; // the bottom-right quarter
    still.corners = {{0, 0}, {0.5f, 0}, {0.5f, 0.5f}, {0, 0.5f}}; // the top-left quarter
    model_.setSurfaces(std::vector<Surface>{still, video});
    const auto both = [&](double time) {
        renderer_->draw(fb_->target(), time);
        const Picture picture{4, 4, fb_->readPixels()};
        return std::pair{picture.at(0, 0), picture.at(3, 3)};
    };
    EXPECT_EQ(both(0), std::pair(placeholder, placeholder));

    // Found elsewhere: the sources are made again on the found files, while
    // the surfaces keep their stored paths.
    auto found = std::make_shared<MediaLocations>();
    found->add("/old/still.png", "/new/still.png");
    found->add("/old/loop.mov", "/new/loop.mov");
    renderer_->setMediaLocations(found);
    EXPECT_EQ(both(1), std::pair(std::array{0, 200, 0, 255}, std::array{0, 0, 200, 255}));
    EXPECT_EQ(media_.opened["/new/still.png"], 1);
    EXPECT_EQ(media_.live("/old/loop.mov"), 0);
    EXPECT_EQ(model_.surfaces()[0].mediaPath, "/old/still.png");

    // Locations that do not change a source's file leave it running.
    auto more = std::make_shared<MediaLocations>(*found);
    more->add("/old/other.png", "/new/other.png");
    renderer_->setMediaLocations(more);
    both(2);
    EXPECT_EQ(media_.opened["/new/loop.mov"], 1);

    // Lost again: back to the stored path, which shows the placeholder.
    renderer_->setMediaLocations(nullptr);
    EXPECT_EQ(both(3), std::pair(placeholder, placeholder));
    EXPECT_EQ(media_.live("/new/loop.mov"), 0);
    EXPECT_EQ(media_.live("/old/loop.mov"), 1);

    // A relinked surface names the found file itself: opened as it is.
    model_.setSurfaces(std::vector<Surface>{media(MediaKind::image, "/new/still.png")});
    EXPECT_EQ(frame(4), (std::array{0, 200, 0, 255}));
    EXPECT_EQ(media_.opened["/new/still.png"], 2);
}

TEST_F(MediaSources, ReleasingTheRendererReleasesEverySource) {
    model_.setSurfaces(
        std::vector<Surface>{media(MediaKind::video, "/a.mov"), media(MediaKind::image, "/b.png")});
    frame();
    renderer_.reset();
    EXPECT_EQ(media_.live("/a.mov"), 0);
    EXPECT_EQ(media_.live("/b.png"), 0);
}

} // namespace
} // namespace prismeta::test
