#include "media/VideoLengths.h"

#include "media/FFmpegLog.h"
#include "media/VideoStream.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <system_error>

namespace prismeta {

// Which file a path named when it was measured: its size and modification
// time (nanoseconds), or none for a path with nothing there.
struct VideoFileStamp {
    std::int64_t size = -1;
    std::int64_t modified = 0;
    friend bool operator==(const VideoFileStamp&, const VideoFileStamp&) = default;
};

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

VideoFileStamp stampOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                status.st_mtim.tv_nsec};
}

} // namespace

struct VideoLengths::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    struct Known {
        VideoFileStamp stamp;
        Answer answer;
    };
    struct Queued {
        std::string path;
        VideoFileStamp stamp;
    };
    // The newest answer (or measurement under way) per path, for the file
    // its stamp names.
    std::map<std::string, Known, std::less<>> answers;
    std::deque<Queued> queue;
    bool busy = false;
    std::atomic<bool> stop{false};

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop.load() || !queue.empty(); });
            if (stop.load()) {
                return;
            }
            const Queued queued = std::move(queue.front());
            queue.pop_front();
            busy = true;
            lock.unlock();
            const Answer answer = measure(queued.path, stop);
            lock.lock();
            busy = false;
            // A file that changed while it was measured is measured again.
            if (const auto found = answers.find(queued.path);
                found != answers.end() && found->second.stamp == queued.stamp) {
                found->second.answer = answer;
            }
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
    const VideoFileStamp stamp = stampOf(path);
    const std::lock_guard lock(shared_->mutex);
    if (const auto found = shared_->answers.find(path);
        found != shared_->answers.end() && found->second.stamp == stamp) {
        return found->second.answer;
    }
    shared_->answers.insert_or_assign(path, Shared::Known{stamp, Answer{}});
    shared_->queue.push_back({path, stamp});
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([shared = shared_.get()] { shared->run(); });
        } catch (const std::system_error&) {
            // No thread to measure on: nothing this file's length would decide.
            shared_->queue.clear();
            Answer& answer = shared_->answers[path].answer;
            answer = Answer{State::unplayable, 0.0};
            return answer;
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
