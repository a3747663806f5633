#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace prismeta {

// A few helper threads that work through one list of independent jobs
// together with the calling thread: the chunks of one compressed picture,
// decompressed side by side. The threads are made once and wait between
// lists, so running a list allocates nothing. The caller never waits for a
// helper that has not started a job: on a busy machine a helper may wake too
// late, and the caller then does the work itself.
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
    struct List {
        std::uint32_t generation = 0;
        void* context = nullptr;
        Call call = nullptr;
        std::size_t count = 0;
    };

    void runErased(std::size_t count, void* context, Call call);
    // Claims and runs jobs of list until none is left, or until the list is
    // no longer the current one (a helper that woke too late).
    void work(const List& list);
    void helperLoop();

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool stop_ = false;
    List list_; // the current list, written under the mutex
    // The current list's generation (high 32 bits) and its next unclaimed
    // job (low 32 bits): a job is claimed only while its list is current.
    std::atomic<std::uint64_t> ticket_{0};
    // Jobs of the current list not yet finished.
    std::atomic<std::size_t> remaining_{0};
};

} // namespace prismeta
