#pragma once

#include "media/GreyImage.h"
#include "media/ImageLimits.h"

#include <memory>
#include <optional>
#include <string>

namespace prismeta {

// One greyscale still (decodeGreyImageFile) being decoded on the loader
// threads, as ImageLoad does for colour stills: tried once, polled without
// blocking, cancelled by destruction. Made, polled and destroyed on one
// thread.
class GreyImageLoad {
public:
    enum class State { loading, ready, failed };

    explicit GreyImageLoad(std::string path, ImageLimits limits = {});
    ~GreyImageLoad();
    GreyImageLoad(const GreyImageLoad&) = delete;
    GreyImageLoad& operator=(const GreyImageLoad&) = delete;

    State state() const;
    // The image, handed over once in state ready; none otherwise.
    std::optional<GreyImage> takeImage();
    // Blocks until the load has finished (the command-line tool and tests).
    void wait() const;

    struct Job;

private:
    std::shared_ptr<Job> job_;
};

} // namespace prismeta
