#include "masks/CoverageWorker.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

CoverageWorker::Request leftHalf(std::uint64_t slot, std::uint64_t generation, int width) {
    Mask m;
    m.points = {MaskPoint{0, 0, {}, {}}, MaskPoint{0.5f, 0, {}, {}}, MaskPoint{0.5f, 1, {}, {}},
                MaskPoint{0, 1, {}, {}}};
    return CoverageWorker::Request{slot, generation, {m}, MaskSpace{}, width, 4};
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
            newest7 = done.generation;
            EXPECT_EQ(done.image.width, 8);
            EXPECT_EQ(done.image.at(1, 1), 255);
            EXPECT_EQ(done.image.at(6, 1), 0);
        } else {
            saw9 = done.slot == 9 && done.image.width == 16;
        }
    }
    EXPECT_EQ(newest7, 20u);
    EXPECT_TRUE(saw9);
    worker.takeFinished(finished);
    EXPECT_TRUE(finished.empty());
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
