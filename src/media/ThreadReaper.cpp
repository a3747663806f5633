#include "media/ThreadReaper.h"

#include <system_error>
#include <utility>

namespace prismeta {

ThreadReaper& ThreadReaper::instance() {
    static ThreadReaper reaper;
    return reaper;
}

ThreadReaper::~ThreadReaper() {
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    wake_.notify_all();
    if (reaper_.joinable()) {
        reaper_.join();
    }
    // Anything retired after the reaping thread could not start.
    for (Retired& retired : queue_) {
        if (retired.thread.joinable()) {
            retired.thread.join();
        }
    }
}

void ThreadReaper::retire(std::thread thread, std::shared_ptr<void> keepAlive) {
    if (!thread.joinable()) {
        return;
    }
    std::unique_lock lock(mutex_);
    if (!reaper_.joinable() && !quitting_) {
        try {
            reaper_ = std::thread([this] { reap(); });
        } catch (const std::system_error&) {
            // No thread to spare: join here, as if there were no reaper.
        }
    }
    if (!reaper_.joinable() || quitting_) {
        lock.unlock();
        thread.join();
        return;
    }
    queue_.push_back(Retired{std::move(thread), std::move(keepAlive)});
    lock.unlock();
    wake_.notify_one();
}

void ThreadReaper::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void ThreadReaper::reap() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quitting_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // quitting, with nothing left to join
        }
        Retired retired = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        retired.thread.join();
        retired.keepAlive.reset();
        lock.lock();
        busy_ = false;
        if (queue_.empty()) {
            idle_.notify_all();
        }
    }
}

} // namespace prismeta
