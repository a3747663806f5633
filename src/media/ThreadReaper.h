#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace prismeta {

// Joins threads that have been told to stop, on a thread of its own, so the
// one that let them go (the interface thread, releasing a video) never waits
// for them: a decoding thread may be in the middle of a picture and its codec
// has threads of its own to end, tens of milliseconds in all. What a retired
// thread uses is kept alive until it has been joined.
//
// One per process, started on the first retire; at exit every thread handed
// over is joined before the process ends.
class ThreadReaper {
public:
    static ThreadReaper& instance();

    ~ThreadReaper();
    ThreadReaper(const ThreadReaper&) = delete;
    ThreadReaper& operator=(const ThreadReaper&) = delete;

    // Joins thread in the background, then lets keepAlive go. The thread
    // must already have been asked to stop. Joins at once where no reaping
    // thread can be started.
    void retire(std::thread thread, std::shared_ptr<void> keepAlive);

    // Waits until every thread retired so far has been joined.
    void waitIdle();

private:
    ThreadReaper() = default;
    void reap();

    struct Retired {
        std::thread thread;
        std::shared_ptr<void> keepAlive;
    };

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Retired> queue_;
    bool busy_ = false;
    bool quitting_ = false;
    std::thread reaper_;
};

} // namespace prismeta
