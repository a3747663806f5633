#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace prismeta {

// A few helper threads that work through one list of independent jobs
// together with the calling thread: the chunks of one compressed picture,
// decompressed side by side. The threads are made once and wait between
// lists, so running a list allocates nothing.
//
// Owned and driven by one thread (a video player's decoding thread); run is
// not reentrant. Destruction stops and joins the helpers.
class ChunkWorkers {
public:
    // Helpers beside the caller; where a thread cannot be made, fewer.
    explicit ChunkWorkers(int helpers);
    ~ChunkWorkers();
    ChunkWorkers(const ChunkWorkers&) = delete;
    ChunkWorkers& operator=(const ChunkWorkers&) = delete;

    int helpers() const { return static_cast<int>(threads_.size()); }

    // Calls job(i) once for every i below count, on this thread and the
    // helpers, and returns when all calls have returned. Jobs must not throw.
    template <typename Job> void run(std::size_t count, Job& job) {
        runErased(count, &job,
                  [](void* context, std::size_t i) { (*static_cast<Job*>(context))(i); });
    }

    // The helpers worth having here: one fewer than the cores (at most 3).
    static int defaultHelpers();

private:
    using Call = void (*)(void*, std::size_t);

    void runErased(std::size_t count, void* context, Call call);
    void work();
    void helperLoop();

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool stop_ = false;
    unsigned long long generation_ = 0;
    int working_ = 0;
    // The list being worked through; written under the mutex before the
    // generation changes.
    void* context_ = nullptr;
    Call call_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
};

} // namespace prismeta
