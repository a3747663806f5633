#include "media/ImageLoad.h"

#include "media/ImageDecoder.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace prismeta {

struct ImageLoad::Job {
    std::string path;
    ImageLimits limits;
    std::atomic<bool> cancel{false};

    mutable std::mutex mutex;
    mutable std::condition_variable finished;
    State state = State::loading;
    std::optional<PixelImage> image;

    void finish(std::optional<PixelImage> result) {
        {
            const std::lock_guard lock(mutex);
            state = result ? State::ready : State::failed;
            image = std::move(result);
        }
        finished.notify_all();
    }
};

namespace {

// The process-wide loader threads. Two keep a second still loading while a
// large one decodes without taking every core from video playback. They live
// until the process exits.
class LoaderPool {
public:
    static LoaderPool& instance() {
        static LoaderPool pool;
        return pool;
    }

    void submit(std::shared_ptr<ImageLoad::Job> job) {
        {
            const std::lock_guard lock(mutex_);
            if (workers_.empty()) {
                for (int i = 0; i < threadCount; ++i) {
                    workers_.emplace_back([this] { run(); });
                }
            }
            queue_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

    ~LoaderPool() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            for (const auto& job : queue_) {
                job->cancel = true;
            }
        }
        wake_.notify_all();
        for (auto& worker : workers_) {
            worker.join();
        }
    }

private:
    static constexpr int threadCount = 2;

    LoaderPool() = default;

    void run() {
        for (;;) {
            std::shared_ptr<ImageLoad::Job> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            if (job->cancel) {
                job->finish(std::nullopt);
                continue;
            }
            std::optional<PixelImage> image;
            try {
                image = decodeImageFile(job->path, job->limits, &job->cancel);
            } catch (const std::bad_alloc&) {
                // Too large for this machine's memory: the same as undecodable.
            }
            job->finish(std::move(image));
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<ImageLoad::Job>> queue_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

} // namespace

ImageLoad::ImageLoad(std::string path, ImageLimits limits) : job_(std::make_shared<Job>()) {
    job_->path = std::move(path);
    job_->limits = limits;
    LoaderPool::instance().submit(job_);
}

ImageLoad::~ImageLoad() {
    job_->cancel = true;
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
