#pragma once

#include "calibration/CameraSource.h"
#include "core/Result.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace prismeta {

// The camera while the calibration dialog is open: opened, and its pictures
// taken, on a thread of its own, so that a slow device or a still camera's
// command never holds up the interface. The dialog polls it.
//
// Made, polled, stopped and destroyed on one thread (the interface thread).
// stop() and the destructor wait for the thread, which ends within one
// picture: every source gives up on the cancel it is handed.
class CameraFeed {
public:
    using Opener = std::function<Result<std::unique_ptr<calibration::CameraSource>>()>;

    enum class Pictures {
        none,       // open the camera only
        one,        // one picture (a still camera, a folder)
        continuous, // a live picture until stopped
    };

    CameraFeed() = default;
    ~CameraFeed();
    CameraFeed(const CameraFeed&) = delete;
    CameraFeed& operator=(const CameraFeed&) = delete;

    // Stops what runs, then opens the camera with `opener` unless one is
    // open already (forget() closes it), and takes pictures, each under
    // `pictureName` (a folder's pictures are found by it).
    void start(const Opener& opener, Pictures pictures, std::string pictureName);
    void stop();
    // Closes the camera (its settings changed).
    void forget();

    bool running() const;
    // The open camera, once opened and while no picture is being taken; the
    // run takes pictures with it next.
    std::shared_ptr<calibration::CameraSource> camera() const;

    // What happened since the last poll: the newest picture, or why the
    // camera could not be opened or a picture not be taken.
    struct Update {
        std::optional<calibration::GreyImage> picture;
        std::string problem;
    };
    Update poll();

private:
    void run(Opener opener, Pictures pictures, std::string pictureName);

    mutable std::mutex mutex_;
    std::shared_ptr<calibration::CameraSource> camera_;
    Update pending_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace prismeta
