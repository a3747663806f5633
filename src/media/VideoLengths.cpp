#include "media/VideoLengths.h"

#include "media/FFmpegLog.h"
#include "media/VideoStream.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>

namespace prismeta {

namespace {

// As a player would: the largest picture a video may have at all.
constexpr std::int64_t maxPixels = std::int64_t{8192} * 8192;

VideoLengths::Answer measure(const std::string& path, const std::atomic<bool>& stop) {
    silenceFFmpegLogging();
    auto stream = VideoStream::open(path, maxPixels, 1, &stop);
    const std::optional<double> seconds = stream ? stream->measureLength() : std::nullopt;
    if (!seconds || !(*seconds > 0.0)) {
        return {VideoLengths::State::unplayable, 0.0};
    }
    return {VideoLengths::State::known, *seconds};
}

} // namespace

struct VideoLengths::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    std::map<std::string, Answer, std::less<>> answers;
    std::deque<std::string> queue;
    bool busy = false;
    std::atomic<bool> stop{false};

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop.load() || !queue.empty(); });
            if (stop.load()) {
                return;
            }
            const std::string path = std::move(queue.front());
            queue.pop_front();
            busy = true;
            lock.unlock();
            const Answer answer = measure(path, stop);
            lock.lock();
            busy = false;
            answers[path] = answer;
            done.notify_all();
        }
    }
};

VideoLengths::VideoLengths() : shared_(std::make_shared<Shared>()) {}

VideoLengths::~VideoLengths() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->wake.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

VideoLengths::Answer VideoLengths::length(const std::string& path) {
    const std::lock_guard lock(shared_->mutex);
    if (const auto found = shared_->answers.find(path); found != shared_->answers.end()) {
        return found->second;
    }
    shared_->answers.emplace(path, Answer{});
    shared_->queue.push_back(path);
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([shared = shared_.get()] { shared->run(); });
        } catch (const std::system_error&) {
            // No thread to measure on: nothing this file's length would decide.
            shared_->queue.clear();
            shared_->answers[path] = Answer{State::unplayable, 0.0};
            return shared_->answers[path];
        }
    }
    shared_->wake.notify_one();
    return Answer{};
}

void VideoLengths::waitIdle() {
    std::unique_lock lock(shared_->mutex);
    shared_->done.wait(lock, [this] {
        return shared_->stop.load() || (shared_->queue.empty() && !shared_->busy);
    });
}

} // namespace prismeta
