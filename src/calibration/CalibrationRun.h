#pragma once

#include "calibration/Calibration.h"
#include "calibration/CameraSource.h"
#include "calibration/PatternSet.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace prismeta::calibration {

// One output to calibrate: its name and the raster its patterns fill.
struct RunOutput {
    std::string name;
    PatternSet patterns;
};

// Puts a pattern on one output's window, every other output black, and
// returns once it is on screen (false: it could not be shown, or cancel was
// raised). Called on the run's thread; whoever owns the windows does the
// showing on theirs. A null pattern: every output black again.
using PatternShower = std::function<bool(std::size_t output, const GreyImage* pattern,
                                         const std::atomic<bool>& cancel)>;

// A whole calibration, off the calling thread: each output's patterns shown
// in turn and captured, each output decoded as soon as its pictures are in,
// then the fit. Made, polled and destroyed on one thread (the interface
// thread); destroying it cancels it and waits for its thread.
class CalibrationRun {
public:
    CalibrationRun(std::vector<RunOutput> outputs, std::shared_ptr<CameraSource> camera,
                   PatternShower show, CalibrationOptions options);
    ~CalibrationRun();
    CalibrationRun(const CalibrationRun&) = delete;
    CalibrationRun& operator=(const CalibrationRun&) = delete;

    struct Progress {
        std::size_t captured = 0;
        std::size_t total = 0;
        double secondsLeft = -1.0; // unknown until the first picture
        bool finished = false;
    };
    Progress progress() const;

    // The newest camera picture since the last call, if any: what the camera
    // sees of the patterns, to show while it runs.
    std::optional<GreyImage> takeLatestPicture();

    // Stops at the next pattern or picture; the run then finishes cancelled.
    void cancel();

    // Once finished: the result, or why there is none ("cancelled", a
    // capture failure). Handed over once.
    struct Outcome {
        std::optional<CalibrationResult> result;
        std::string problem;
        bool cancelled = false;
        // What each output's pictures told, in the run's order, with a
        // result: to fit again with other canvas corners, and the camera's
        // white pictures to show it over.
        std::vector<DecodedOutput> decoded;
    };
    std::optional<Outcome> takeOutcome();

private:
    void run();

    std::vector<RunOutput> outputs_;
    std::shared_ptr<CameraSource> camera_;
    PatternShower show_;
    CalibrationOptions options_;
    std::atomic<bool> cancel_{false};
    mutable std::mutex mutex_;
    Progress progress_;
    std::optional<Outcome> outcome_;
    std::optional<GreyImage> latest_;
    std::thread thread_;
};

} // namespace prismeta::calibration
