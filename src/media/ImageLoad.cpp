#include "media/ImageLoad.h"

#include "media/ImageDecoder.h"
#include "media/LoaderPool.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

namespace prismeta {

struct ImageLoad::Job final : LoaderTask {
    std::string path;
    ImageLimits limits;
    std::atomic<bool> cancelled{false};

    mutable std::mutex mutex;
    mutable std::condition_variable finished;
    State state = State::loading;
    std::optional<PixelImage> image;

    void run() override {
        std::optional<PixelImage> result;
        if (!cancelled) {
            try {
                result = decodeImageFile(path, limits, &cancelled);
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

ImageLoad::ImageLoad(std::string path, ImageLimits limits) : job_(std::make_shared<Job>()) {
    job_->path = std::move(path);
    job_->limits = limits;
    submitLoad(job_);
}

ImageLoad::~ImageLoad() {
    job_->cancel();
}

ImageLoad::State ImageLoad::state() const {
    const std::lock_guard lock(job_->mutex);
    return job_->state;
}

std::optional<PixelImage> ImageLoad::takeImage() {
    const std::lock_guard lock(job_->mutex);
    std::optional<PixelImage> image = std::move(job_->image);
    job_->image.reset();
    return image;
}

void ImageLoad::wait() const {
    std::unique_lock lock(job_->mutex);
    job_->finished.wait(lock, [this] { return job_->state != State::loading; });
}

} // namespace prismeta
