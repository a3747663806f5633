#pragma once

#include "calibration/CameraSource.h"
#include "calibration/WarpFit.h"
#include "core/Result.h"

#include <memory>
#include <string>

class QSettings;

namespace prismeta {

// Where the camera's pictures come from.
enum class CameraKind {
    v4l2,    // a live camera on this machine
    command, // a still camera, one command a picture
    folder,  // pictures taken beforehand of the written patterns
};

// What the calibration dialog was last set to, kept between runs.
struct CalibrationSettings {
    CameraKind kind = CameraKind::v4l2;
    std::string device = "/dev/video0";
    int width = 0; // 0: the camera's own choice
    int height = 0;
    int framesPerSecond = 0;
    std::string command =
        "gphoto2 --capture-image-and-download --force-overwrite --filename %f.jpg";
    std::string folder;
    // How long a pattern is up before its picture is taken: the projector's
    // own delay (a still camera's command adds its own).
    int projectorDelayMs = 100;
    calibration::WarpModel warp = calibration::WarpModel::automatic;
    bool matchBrightness = true;

    friend bool operator==(const CalibrationSettings&, const CalibrationSettings&) = default;
};

// Unreadable values read as the defaults.
CalibrationSettings readCalibrationSettings(const QSettings& settings);
void writeCalibrationSettings(QSettings& settings, const CalibrationSettings& chosen);

// The camera the settings name, opened (a V4L2 device is opened here, so
// this may take a moment: call it off the interface thread).
Result<std::unique_ptr<calibration::CameraSource>> openCamera(const CalibrationSettings& chosen);

} // namespace prismeta
