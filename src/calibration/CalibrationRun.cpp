#include "calibration/CalibrationRun.h"

#include "calibration/PatternManifest.h"

#include <chrono>

namespace prismeta::calibration {

CalibrationRun::CalibrationRun(std::vector<RunOutput> outputs, std::shared_ptr<CameraSource> camera,
                               PatternShower show, CalibrationOptions options)
    : outputs_(std::move(outputs)), camera_(std::move(camera)), show_(std::move(show)),
      options_(std::move(options)) {
    for (const RunOutput& o : outputs_) {
        progress_.total += o.patterns.patterns.size();
    }
    thread_ = std::thread([this] { run(); });
}

CalibrationRun::~CalibrationRun() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void CalibrationRun::cancel() {
    cancel_.store(true);
}

CalibrationRun::Progress CalibrationRun::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::optional<GreyImage> CalibrationRun::takeLatestPicture() {
    std::lock_guard lock(mutex_);
    std::optional<GreyImage> out = std::move(latest_);
    latest_.reset();
    return out;
}

std::optional<CalibrationRun::Outcome> CalibrationRun::takeOutcome() {
    std::lock_guard lock(mutex_);
    std::optional<Outcome> out = std::move(outcome_);
    outcome_.reset();
    return out;
}

void CalibrationRun::run() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Outcome outcome;
    std::vector<DecodedOutput> decoded;
    decoded.reserve(outputs_.size());
    std::size_t captured = 0;
    const auto finish = [&] {
        // Every window black again, whatever happened.
        const std::atomic<bool> never{false};
        show_(0, nullptr, never);
        std::lock_guard lock(mutex_);
        progress_.finished = true;
        progress_.secondsLeft = 0.0;
        outcome_ = std::move(outcome);
    };
    for (std::size_t k = 0; k < outputs_.size(); ++k) {
        const PatternSet& set = outputs_[k].patterns;
        std::vector<GreyImage> pictures;
        pictures.reserve(set.patterns.size());
        for (std::size_t p = 0; p < set.patterns.size(); ++p) {
            if (cancel_.load()) {
                outcome.cancelled = true;
                outcome.problem = "cancelled";
                finish();
                return;
            }
            const GreyImage pattern = renderPattern(set, p);
            if (!show_(k, &pattern, cancel_)) {
                outcome.cancelled = cancel_.load();
                outcome.problem = outcome.cancelled ? "cancelled"
                                                    : "Output '" + outputs_[k].name +
                                                          "': its pattern could not be shown";
                finish();
                return;
            }
            Result<GreyImage> picture =
                camera_->capture(patternFileName(k, set.patterns[p]), cancel_);
            if (!picture) {
                outcome.cancelled = cancel_.load();
                outcome.problem = outcome.cancelled
                                      ? "cancelled"
                                      : "Output '" + outputs_[k].name + "': " + picture.error();
                finish();
                return;
            }
            pictures.push_back(std::move(picture.value()));
            ++captured;
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            std::lock_guard lock(mutex_);
            latest_ = pictures.back();
            progress_.captured = captured;
            progress_.secondsLeft = elapsed / captured * (progress_.total - captured);
        }
        decoded.push_back(decodePatterns(set, pictures));
    }
    std::vector<const DecodedOutput*> pointers;
    std::vector<std::string> names;
    for (std::size_t k = 0; k < decoded.size(); ++k) {
        pointers.push_back(&decoded[k]);
        names.push_back(outputs_[k].name);
    }
    outcome.result = calibrate(pointers, names, options_);
    outcome.decoded = std::move(decoded);
    finish();
}

} // namespace prismeta::calibration
