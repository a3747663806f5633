#include "media/ImageLoad.h"

#include "MediaFixtures.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using testfiles::TempDir;

// Polls as the render loop would, without waiting on the load.
ImageLoad::State pollUntilDone(const ImageLoad& load) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (load.state() == ImageLoad::State::loading &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return load.state();
}

TEST(ImageLoad, DecodesOffTheCallingThreadAndHandsTheImageOverOnce) {
    TempDir dir("load");
    const std::string path = dir.file("a.png");
    ASSERT_TRUE(fixtures::writeStill(path, "png", 40, 30, [](int x, int) {
        return x < 20 ? fixtures::Rgba8{255, 0, 0, 255} : fixtures::Rgba8{0, 0, 255, 255};
    }));
    ImageLoad load(path);
    ASSERT_EQ(pollUntilDone(load), ImageLoad::State::ready);
    auto image = load.takeImage();
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 40);
    EXPECT_EQ(image->height, 30);
    EXPECT_EQ(image->pixel(0, 0)[0], 255);
    EXPECT_EQ(image->pixel(39, 0)[2], 255);
    EXPECT_FALSE(load.takeImage().has_value());
}

TEST(ImageLoad, FailureIsFinalAndSilent) {
    TempDir dir("load");
    ImageLoad load(dir.file("later.png"));
    load.wait();
    EXPECT_EQ(load.state(), ImageLoad::State::failed);
    // Putting the file in place afterwards changes nothing for this load.
    ASSERT_TRUE(fixtures::writeStill(dir.file("later.png"), "png", 4, 4,
                                     [](int, int) { return fixtures::Rgba8{}; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(load.state(), ImageLoad::State::failed);
    EXPECT_FALSE(load.takeImage().has_value());
}

TEST(ImageLoad, DroppingLoadsInFlightNeitherBlocksNorDisturbsOthers) {
    TempDir dir("load");
    const std::string path = dir.file("big.png");
    ASSERT_TRUE(fixtures::writeStill(path, "png", 1024, 768, [](int x, int y) {
        return fixtures::Rgba8{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7, 255};
    }));
    // Dropping only cancels (bench_media measures how long it takes); the
    // loads still queued or running must not get in the way of the next.
    {
        std::vector<std::unique_ptr<ImageLoad>> dropped;
        for (int i = 0; i < 16; ++i) {
            dropped.push_back(std::make_unique<ImageLoad>(path));
        }
    }

    ImageLoad kept(path);
    kept.wait();
    ASSERT_EQ(kept.state(), ImageLoad::State::ready);
    const auto image = kept.takeImage();
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->pixel(200, 100)[0], 200);
    EXPECT_EQ(image->pixel(200, 100)[1], 100);
}

} // namespace
} // namespace prismeta
