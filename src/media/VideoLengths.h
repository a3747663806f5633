#pragma once

#include <memory>
#include <string>
#include <thread>

namespace prismeta {

// The lengths of video files as a VideoPlayer plays them once: from the first
// picture to the end of the last (VideoStream's loop length L), measured by
// decoding the file's last pictures on a thread of this object's own, never
// on the caller's. An answer is kept for the file as it was measured (its
// path, size and modification time): a file replaced or rewritten on disk
// is measured again when next asked about.
//
// Any thread. Destruction stops a measurement under way (reads are
// interruptible) and joins the thread.
class VideoLengths {
public:
    VideoLengths();
    ~VideoLengths();
    VideoLengths(const VideoLengths&) = delete;
    VideoLengths& operator=(const VideoLengths&) = delete;

    enum class State { measuring, known, unplayable };
    struct Answer {
        State state = State::measuring;
        double seconds = 0.0;
    };

    // What is known of path's length; the first question about a path, and
    // the first after its file changed, queues its measurement and answers
    // `measuring`. Looks at the file's size and time (one stat) but never
    // opens it.
    Answer length(const std::string& path);

    // Waits until every measurement asked for so far is done, for tests and
    // the command-line tool.
    void waitIdle();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace prismeta
