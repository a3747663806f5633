#include "app/calibration/CameraFeed.h"

namespace prismeta {

CameraFeed::~CameraFeed() {
    stop();
}

void CameraFeed::start(const Opener& opener, Pictures pictures, std::string pictureName) {
    stop();
    stop_.store(false);
    running_.store(true);
    thread_ = std::thread(
        [this, opener, pictures, name = std::move(pictureName)] { run(opener, pictures, name); });
}

void CameraFeed::stop() {
    stop_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    running_.store(false);
}

void CameraFeed::forget() {
    stop();
    std::lock_guard lock(mutex_);
    camera_.reset();
}

bool CameraFeed::running() const {
    return running_.load();
}

std::shared_ptr<calibration::CameraSource> CameraFeed::camera() const {
    if (running_.load()) {
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    return camera_;
}

CameraFeed::Update CameraFeed::poll() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, Update{});
}

void CameraFeed::run(Opener opener, Pictures pictures, std::string pictureName) {
    std::shared_ptr<calibration::CameraSource> camera;
    {
        std::lock_guard lock(mutex_);
        camera = camera_;
    }
    if (!camera) {
        Result<std::unique_ptr<calibration::CameraSource>> opened = opener();
        std::lock_guard lock(mutex_);
        if (!opened) {
            pending_.problem = opened.error();
            running_.store(false);
            return;
        }
        camera_ = std::move(opened.value());
        camera = camera_;
    }
    while (pictures != Pictures::none && !stop_.load()) {
        Result<calibration::GreyImage> picture = camera->capture(pictureName, stop_);
        if (stop_.load()) {
            break;
        }
        std::lock_guard lock(mutex_);
        if (!picture) {
            pending_.problem = picture.error();
            break;
        }
        pending_.picture = std::move(picture.value());
        pending_.problem.clear();
        if (pictures == Pictures::one) {
            break;
        }
    }
    running_.store(false);
}

} // namespace prismeta
