#pragma once

#include "core/Mask.h"
#include "masks/CoverageImage.h"
#include "masks/IncrementalCoverage.h"
#include "masks/MaskRaster.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace prismeta {

// Rasterises mask coverage on a thread of its own, so a mask edit never
// stalls the thread that draws. Requests are numbered per slot (one surface's
// or one output's masks); a newer request for a slot replaces one still
// queued, so a drag that outruns the rasteriser costs one image, not a
// backlog. The thread starts with the first request and ends with the worker.
//
// The worker keeps the last image it made (one slot's): when the next request
// for that slot only moves points, it redraws and hands back only the rows
// that changed, a patch over the image it handed back before
// (IncrementalCoverage).
//
// submit, takeFinished, idle and waitIdle may be called from any one thread
// (the renderer's).
class CoverageWorker {
public:
    struct Request {
        std::uint64_t slot = 0;
        std::uint64_t generation = 0;
        std::vector<Mask> masks;
        MaskSpace space;
        int width = 0;
        int height = 0;
        // Rasterise the whole image, not a patch (the caller lost the one
        // a patch would go over).
        bool whole = false;
    };
    struct Finished {
        std::uint64_t slot = 0;
        std::uint64_t generation = 0;
        // The whole image or, for a patch, the pixels of `area` only.
        CoverageImage image;
        bool patch = false;
        PixelRect area;
        // The generation of the slot's image the patch goes over: the one
        // handed back just before it.
        std::uint64_t base = 0;
    };

    CoverageWorker() = default;
    ~CoverageWorker();
    CoverageWorker(const CoverageWorker&) = delete;
    CoverageWorker& operator=(const CoverageWorker&) = delete;

    void submit(Request request);
    // Moves the images finished since the last call into `into` (cleared
    // first). Allocates nothing when none finished.
    void takeFinished(std::vector<Finished>& into);
    // Whether nothing is queued or being rasterised.
    bool idle() const;
    // Blocks until idle.
    void waitIdle();

private:
    void run();
    Finished rasterise(const Request& request);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Request> queue_;
    std::vector<Finished> finished_;
    // The worker thread's alone.
    IncrementalCoverage kept_;
    std::uint64_t keptSlot_ = 0;
    std::uint64_t keptGeneration_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace prismeta
