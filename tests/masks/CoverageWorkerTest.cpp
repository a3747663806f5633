#include "masks/CoverageWorker.h"
#include "masks/MaskRaster.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

CoverageWorker::Request leftHalf(std::uint64_t slot, std::uint64_t generation, int width) {
    Mask m;
    m.points = {MaskPoint{0, 0, {}, {}}, MaskPoint{0.5f, 0, {}, {}}, MaskPoint{0.5f, 1, {}, {}},
                MaskPoint{0, 1, {}, {}}};
    return CoverageWorker::Request{slot, generation, {m}, MaskSpace{}, width, 4, false};
}

TEST(CoverageWorker, RasterisesOffTheCallerAndKeepsOnlyTheNewestRequestOfASlot) {
    CoverageWorker worker;
    EXPECT_TRUE(worker.idle());
    for (std::uint64_t generation = 1; generation <= 20; ++generation) {
        worker.submit(leftHalf(7, generation, 8));
    }
    worker.submit(leftHalf(9, 1, 16));
    worker.waitIdle();
    EXPECT_TRUE(worker.idle());
    std::vector<CoverageWorker::Finished> finished;
    worker.takeFinished(finished);
    // The newest of slot 7 always arrives; queued ones it replaced never do.
    ASSERT_GE(finished.size(), 2u);
    ASSERT_LE(finished.size(), 21u);
    std::uint64_t newest7 = 0;
    bool saw9 = false;
    for (const auto& done : finished) {
        if (done.slot == 7) {
            EXPECT_GT(done.generation, newest7);
            // The first is the whole image; the same masks again change
            // nothing: empty patches over the one before.
            EXPECT_EQ(done.patch, newest7 != 0);
            if (done.patch) {
                EXPECT_EQ(done.base, newest7);
                EXPECT_TRUE(done.area.empty());
            } else {
                EXPECT_EQ(done.image.width, 8);
                EXPECT_EQ(done.image.at(1, 1), 255);
                EXPECT_EQ(done.image.at(6, 1), 0);
            }
            newest7 = done.generation;
        } else {
            saw9 = done.slot == 9 && done.image.width == 16;
        }
    }
    EXPECT_EQ(newest7, 20u);
    EXPECT_TRUE(saw9);
    worker.takeFinished(finished);
    EXPECT_TRUE(finished.empty());
}

TEST(CoverageWorker, APointDragComesBackAsAPatchOfTheRowsItChanged) {
    CoverageWorker worker;
    CoverageWorker::Request request = leftHalf(3, 1, 64);
    request.height = 64;
    request.masks[0].feather = 0.1f;
    auto& points = request.masks[0].points;
    points.insert(points.begin() + 2, MaskPoint{0.5f, 0.6f, {}, {}});
    points[0].x = 0.1f; // slanted already: Cairo fills it the same way after the drag
    worker.submit(request);
    worker.waitIdle();
    std::vector<CoverageWorker::Finished> finished;
    worker.takeFinished(finished);
    ASSERT_EQ(finished.size(), 1u);
    ASSERT_FALSE(finished[0].patch);
    CoverageImage image = finished[0].image;

    // The bottom right corner moves right: rows from the middle down change.
    request.generation = 2;
    points[3].x = 0.75f;
    worker.submit(request);
    worker.waitIdle();
    worker.takeFinished(finished);
    ASSERT_EQ(finished.size(), 1u);
    const CoverageWorker::Finished& patch = finished[0];
    ASSERT_TRUE(patch.patch);
    EXPECT_EQ(patch.base, 1u);
    EXPECT_EQ(patch.area.width, 64);
    EXPECT_GT(patch.area.y, 0);
    EXPECT_EQ(patch.area.bottom(), 64);
    for (int y = 0; y < patch.area.height; ++y) {
        for (int x = 0; x < patch.area.width; ++x) {
            image.pixels[static_cast<std::size_t>(patch.area.y + y) * image.stride +
                         static_cast<std::size_t>(patch.area.x + x)] = patch.image.at(x, y);
        }
    }
    const CoverageImage whole = rasterizeMasks(request.masks, request.space, 64, 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_NEAR(image.at(x, y), whole.at(x, y), 1) << x << "," << y;
        }
    }

    // Asked for the whole image, or for another slot in between: no patch.
    request.generation = 3;
    request.whole = true;
    worker.submit(request);
    worker.waitIdle();
    worker.takeFinished(finished);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_FALSE(finished[0].patch);
    request.whole = false;
    request.slot = 4;
    worker.submit(request);
    worker.waitIdle();
    request.slot = 3;
    request.generation = 4;
    points[3].x = 0.7f;
    worker.submit(request);
    worker.waitIdle();
    worker.takeFinished(finished);
    ASSERT_EQ(finished.size(), 2u);
    for (const auto& done : finished) {
        EXPECT_FALSE(done.patch);
        EXPECT_EQ(done.image.width, 64);
    }
}

TEST(CoverageWorker, EndsWithRequestsStillQueued) {
    CoverageWorker worker;
    for (std::uint64_t slot = 0; slot < 50; ++slot) {
        worker.submit(leftHalf(slot, 1, 512));
    }
    // The destructor stops the thread without waiting for the queue.
}

} // namespace
} // namespace prismeta
