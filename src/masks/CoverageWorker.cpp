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

CoverageWorker::Finished CoverageWorker::rasterise(const Request& request) {
    Finished finished;
    finished.slot = request.slot;
    finished.generation = request.generation;
    const bool patchable = !request.whole && keptSlot_ == request.slot;
    if (!patchable) {
        kept_.reset();
    }
    const PixelRect redrawn =
        kept_.update(request.masks, request.space, request.width, request.height);
    const CoverageImage& image = kept_.image();
    const PixelRect all{0, 0, image.width, image.height};
    if (patchable && redrawn != all) {
        finished.patch = true;
        finished.area = redrawn;
        finished.base = keptGeneration_;
        if (!redrawn.empty()) {
            CoverageImage& part = finished.image;
            part.width = redrawn.width;
            part.height = redrawn.height;
            part.stride = (redrawn.width + 3) / 4 * 4;
            part.pixels.resize(static_cast<std::size_t>(part.stride) *
                               static_cast<std::size_t>(part.height));
            for (int row = 0; row < redrawn.height; ++row) {
                const auto from = image.pixels.begin() +
                                  static_cast<std::ptrdiff_t>(
                                      static_cast<std::size_t>(redrawn.y + row) * image.stride +
                                      static_cast<std::size_t>(redrawn.x));
                std::copy(from, from + redrawn.width,
                          part.pixels.begin() + static_cast<std::ptrdiff_t>(
                                                    static_cast<std::size_t>(row) * part.stride));
            }
        }
    } else {
        finished.area = all;
        finished.image = image;
    }
    keptSlot_ = request.slot;
    keptGeneration_ = request.generation;
    return finished;
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
        Finished finished = rasterise(request);
        lock.lock();
        finished_.push_back(std::move(finished));
        busy_ = false;
        if (queue_.empty()) {
            done_.notify_all();
        }
    }
}

} // namespace prismeta
