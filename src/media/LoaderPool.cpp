#include "media/LoaderPool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace prismeta {

namespace {

class LoaderPool {
public:
    static LoaderPool& instance() {
        static LoaderPool pool;
        return pool;
    }

    void submit(std::shared_ptr<LoaderTask> task) {
        {
            const std::lock_guard lock(mutex_);
            if (workers_.empty()) {
                for (int i = 0; i < threadCount; ++i) {
                    workers_.emplace_back([this] { run(); });
                }
            }
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

    ~LoaderPool() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            for (const auto& task : queue_) {
                task->cancel();
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
            std::shared_ptr<LoaderTask> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task->run();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<LoaderTask>> queue_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

} // namespace

void submitLoad(std::shared_ptr<LoaderTask> task) {
    LoaderPool::instance().submit(std::move(task));
}

} // namespace prismeta
