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

void ChunkWorkers::work(const List& list) {
    for (;;) {
        std::uint64_t ticket = ticket_.load();
        std::size_t job = 0;
        for (;;) {
            job = static_cast<std::size_t>(ticket & 0xFFFFFFFFu);
            if (static_cast<std::uint32_t>(ticket >> 32) != list.generation || job >= list.count) {
                return;
            }
            if (ticket_.compare_exchange_weak(ticket, ticket + 1)) {
                break;
            }
        }
        list.call(list.context, job);
        // A claimed job keeps the caller waiting, so the list it belongs to
        // (on the caller's stack) outlives it.
        if (remaining_.fetch_sub(1) == 1) {
            const std::lock_guard lock(mutex_);
            done_.notify_all();
        }
    }
}

void ChunkWorkers::runErased(std::size_t count, void* context, Call call) {
    if (count <= 1 || threads_.empty() || count > 0xFFFFFFFFu) {
        for (std::size_t i = 0; i < count; ++i) {
            call(context, i);
        }
        return;
    }
    List list;
    {
        const std::lock_guard lock(mutex_);
        list = List{list_.generation + 1, context, call, count};
        list_ = list;
        remaining_.store(count);
        ticket_.store(static_cast<std::uint64_t>(list.generation) << 32);
    }
    wake_.notify_all();
    work(list);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return remaining_.load() == 0; });
}

void ChunkWorkers::helperLoop() {
    std::uint32_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || list_.generation != seen; });
        if (stop_) {
            return;
        }
        const List list = list_;
        seen = list.generation;
        lock.unlock();
        work(list);
        lock.lock();
    }
}

} // namespace prismeta
