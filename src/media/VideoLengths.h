#pragma once

#include <memory>
#include <string>
#include <thread>

namespace prismeta {

// The lengths of video files as a VideoPlayer plays them once: from the first
// picture to the end of the last (VideoStream's loop length L), measured by
// decoding the file's last pictures on a thread of this object's own, never
// on the caller's. Each path is measured once and remembered; a file changed
// on disk afterwards keeps its first answer.
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

    // What is known of path's length; the first question about a path queues
    // its measurement and answers `measuring`. Never blocks on a file.
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
