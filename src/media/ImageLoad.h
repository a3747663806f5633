#pragma once

#include "media/ImageLimits.h"
#include "media/PixelImage.h"

#include <memory>
#include <optional>
#include <string>

namespace prismeta {

// One still image being decoded off the calling thread (decodeImageFile on a
// small pool of process-wide loader threads), so that the interface thread
// only polls. A load is tried once: a failure stays a failure, nothing is
// retried. Made, polled and destroyed on one thread (the interface thread);
// owned by whoever made it. Destroying it cancels the decode without waiting
// for it: a queued load never starts, a running one stops at its next read
// or step and its result is dropped.
class ImageLoad {
public:
    enum class State { loading, ready, failed };

    ImageLoad(std::string path, ImageLimits limits = {});
    ~ImageLoad();
    ImageLoad(const ImageLoad&) = delete;
    ImageLoad& operator=(const ImageLoad&) = delete;

    // Never blocks.
    State state() const;
    // The decoded image, handed over once: the first call in state ready moves
    // it out; every other call gives none. Never blocks.
    std::optional<PixelImage> takeImage();
    // Blocks until the load has finished (the command-line tool and tests).
    void wait() const;

    struct Job;

private:
    std::shared_ptr<Job> job_;
};

} // namespace prismeta
