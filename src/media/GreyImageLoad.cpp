#include "media/GreyImageLoad.h"

#include "media/ImageDecoder.h"
#include "media/LoaderPool.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

namespace prismeta {

struct GreyImageLoad::Job final : LoaderTask {
    std::string path;
    ImageLimits limits;
    std::atomic<bool> cancelled{false};

    mutable std::mutex mutex;
    mutable std::condition_variable finished;
    State state = State::loading;
    std::optional<GreyImage> image;

    void run() override {
        std::optional<GreyImage> result;
        if (!cancelled) {
            try {
                result = decodeGreyImageFile(path, limits, &cancelled);
            } catch (const std::bad_alloc&) {
                // Too large for this machine's memory: the same as undecodable.
            }
        }
        {
            const std::lock_guard lock(mutex);
            state = result ? State::ready : State::failed;
            image = std::move(result);
        }
        finished.notify_all();
    }

    void cancel() override { cancelled = true; }
};

GreyImageLoad::GreyImageLoad(std::string path, ImageLimits limits) : job_(std::make_shared<Job>()) {
    job_->path = std::move(path);
    job_->limits = limits;
    submitLoad(job_);
}

GreyImageLoad::~GreyImageLoad() {
    job_->cancel();
}

GreyImageLoad::State GreyImageLoad::state() const {
    const std::lock_guard lock(job_->mutex);
    return job_->state;
}

std::optional<GreyImage> GreyImageLoad::takeImage() {
    const std::lock_guard lock(job_->mutex);
    std::optional<GreyImage> image = std::move(job_->image);
    job_->image.reset();
    return image;
}

void GreyImageLoad::wait() const {
    std::unique_lock lock(job_->mutex);
    job_->finished.wait(lock, [this] { return job_->state != State::loading; });
}

} // namespace prismeta
