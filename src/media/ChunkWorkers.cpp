#include "media/ChunkWorkers.h"

#include <algorithm>
#include <system_error>

namespace prismeta {

ChunkWorkers::ChunkWorkers(int helpers) {
    threads_.reserve(static_cast<std::size_t>(std::max(0, helpers)));
    for (int i = 0; i < helpers; ++i) {
        try {
            threads_.emplace_back([this] { helperLoop(); });
        } catch (const std::system_error&) {
            break; // fewer helpers: the caller does more of the work
        }
    }
}

ChunkWorkers::~ChunkWorkers() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

int ChunkWorkers::defaultHelpers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 4u)) - 1;
}

void ChunkWorkers::work() {
    for (;;) {
        const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= count_) {
            return;
        }
        call_(context_, i);
    }
}

void ChunkWorkers::runErased(std::size_t count, void* context, Call call) {
    if (count == 0) {
        return;
    }
    if (count == 1 || threads_.empty()) {
        for (std::size_t i = 0; i < count; ++i) {
            call(context, i);
        }
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        context_ = context;
        call_ = call;
        count_ = count;
        next_.store(0, std::memory_order_relaxed);
        working_ = static_cast<int>(threads_.size());
        ++generation_;
    }
    wake_.notify_all();
    work();
    // Every helper checks in, even one that woke too late to find a job, so
    // none can still be reading this list when the next one is set up.
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return working_ == 0; });
}

void ChunkWorkers::helperLoop() {
    unsigned long long seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) {
            return;
        }
        seen = generation_;
        lock.unlock();
        work();
        lock.lock();
        if (--working_ == 0) {
            done_.notify_one();
        }
    }
}

} // namespace prismeta
