#include "media/ThreadReaper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace prismeta {
namespace {

// A thread that ends only when let go, as a decoding thread in the middle of
// a picture does; whether what it uses is still alive is seen through a
// weak pointer.
struct SlowThread {
    std::promise<void> letGo;
    std::shared_ptr<int> uses = std::make_shared<int>(7);
    std::atomic<bool> ended{false};
    std::thread thread;

    SlowThread() {
        thread = std::thread([this, released = letGo.get_future(), seen = uses.get()]() mutable {
            released.wait();
            ended = *seen == 7; // reads what it uses after the caller let it go
        });
    }
};

TEST(ThreadReaper, RetireReturnsAtOnceAndKeepsWhatTheThreadUsesUntilItIsJoined) {
    ThreadReaper& reaper = ThreadReaper::instance();
    SlowThread slow;
    std::weak_ptr<int> uses = slow.uses;

    // The caller does not wait for the thread: it has not been let go yet.
    reaper.retire(std::move(slow.thread), std::move(slow.uses));
    EXPECT_FALSE(slow.thread.joinable());
    EXPECT_FALSE(uses.expired()) << "what a running thread uses must stay alive";
    EXPECT_FALSE(slow.ended);

    slow.letGo.set_value();
    reaper.waitIdle();
    EXPECT_TRUE(slow.ended);
    EXPECT_TRUE(uses.expired()) << "let go once the thread has been joined";
}

TEST(ThreadReaper, WaitIdleCoversEveryThreadRetiredBeforeIt) {
    ThreadReaper& reaper = ThreadReaper::instance();
    std::atomic<int> ended{0};
    for (int i = 0; i < 8; ++i) {
        reaper.retire(std::thread([&ended, i] {
                          std::this_thread::sleep_for(std::chrono::milliseconds(i % 3));
                          ended.fetch_add(1);
                      }),
                      nullptr);
    }
    reaper.retire(std::thread(), nullptr); // nothing to join: ignored
    reaper.waitIdle();
    EXPECT_EQ(ended.load(), 8);
}

} // namespace
} // namespace prismeta
