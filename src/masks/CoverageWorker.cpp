#include "masks/CoverageWorker.h"

#include <algorithm>
#include <utility>

namespace prismeta {

CoverageWorker::~CoverageWorker() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void CoverageWorker::submit(Request request) {
    {
        const std::lock_guard lock(mutex_);
        const auto queued = std::find_if(queue_.begin(), queue_.end(),
                                         [&](const Request& r) { return r.slot == request.slot; });
        if (queued != queue_.end()) {
            *queued = std::move(request);
        } else {
            queue_.push_back(std::move(request));
        }
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { run(); });
        }
    }
    wake_.notify_one();
}

void CoverageWorker::takeFinished(std::vector<Finished>& into) {
    into.clear();
    const std::lock_guard lock(mutex_);
    if (!finished_.empty()) {
        std::swap(into, finished_);
    }
}

bool CoverageWorker::idle() const {
    const std::lock_guard lock(mutex_);
    return queue_.empty() && !busy_;
}

void CoverageWorker::waitIdle() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void CoverageWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        Request request = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        Finished finished{
            request.slot, request.generation,
            rasterizeMasks(request.masks, request.space, request.width, request.height)};
        lock.lock();
        finished_.push_back(std::move(finished));
        busy_ = false;
        if (queue_.empty()) {
            done_.notify_all();
        }
    }
}

} // namespace prismeta
