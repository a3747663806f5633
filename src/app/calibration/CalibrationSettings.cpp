#include "app/calibration/CalibrationSettings.h"

#include <QSettings>

#include <algorithm>

namespace prismeta {

namespace {

const char* const kindNames[] = {"v4l2", "command", "folder"};
const char* const warpNames[] = {"automatic", "homography", "mesh"};

template <typename Enum, std::size_t N>
Enum fromName(const QString& text, const char* const (&names)[N], Enum fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == QLatin1String(names[i])) {
            return static_cast<Enum>(i);
        }
    }
    return fallback;
}

int wholeNumber(const QSettings& settings, const char* key, int fallback, int low, int high) {
    bool ok = false;
    const int value = settings.value(QLatin1String(key)).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

std::string text(const QSettings& settings, const char* key, const std::string& fallback) {
    const QVariant value = settings.value(QLatin1String(key));
    return value.isValid() ? value.toString().toStdString() : fallback;
}

} // namespace

CalibrationSettings readCalibrationSettings(const QSettings& settings) {
    const CalibrationSettings defaults;
    CalibrationSettings out;
    out.kind = fromName(settings.value(QStringLiteral("calibration/camera")).toString(), kindNames,
                        defaults.kind);
    out.device = text(settings, "calibration/device", defaults.device);
    out.width = wholeNumber(settings, "calibration/width", 0, 0, 16384);
    out.height = wholeNumber(settings, "calibration/height", 0, 0, 16384);
    if ((out.width == 0) != (out.height == 0)) {
        out.width = out.height = 0;
    }
    out.framesPerSecond = wholeNumber(settings, "calibration/framesPerSecond", 0, 0, 1000);
    out.command = text(settings, "calibration/command", defaults.command);
    out.folder = text(settings, "calibration/folder", defaults.folder);
    out.projectorDelayMs =
        wholeNumber(settings, "calibration/projectorDelayMs", defaults.projectorDelayMs, 0, 5000);
    out.warp = fromName(settings.value(QStringLiteral("calibration/warp")).toString(), warpNames,
                        defaults.warp);
    out.matchBrightness =
        settings.value(QStringLiteral("calibration/matchBrightness"), defaults.matchBrightness)
            .toBool();
    return out;
}

void writeCalibrationSettings(QSettings& settings, const CalibrationSettings& chosen) {
    settings.setValue(QStringLiteral("calibration/camera"),
                      QLatin1String(kindNames[static_cast<int>(chosen.kind)]));
    settings.setValue(QStringLiteral("calibration/device"), QString::fromStdString(chosen.device));
    settings.setValue(QStringLiteral("calibration/width"), chosen.width);
    settings.setValue(QStringLiteral("calibration/height"), chosen.height);
    settings.setValue(QStringLiteral("calibration/framesPerSecond"), chosen.framesPerSecond);
    settings.setValue(QStringLiteral("calibration/command"),
                      QString::fromStdString(chosen.command));
    settings.setValue(QStringLiteral("calibration/folder"), QString::fromStdString(chosen.folder));
    settings.setValue(QStringLiteral("calibration/projectorDelayMs"), chosen.projectorDelayMs);
    settings.setValue(QStringLiteral("calibration/warp"),
                      QLatin1String(warpNames[static_cast<int>(chosen.warp)]));
    settings.setValue(QStringLiteral("calibration/matchBrightness"), chosen.matchBrightness);
}

Result<std::unique_ptr<calibration::CameraSource>> openCamera(const CalibrationSettings& chosen) {
    using Source = std::unique_ptr<calibration::CameraSource>;
    switch (chosen.kind) {
    case CameraKind::v4l2: {
        calibration::V4l2Options options;
        options.device = chosen.device;
        options.width = chosen.width;
        options.height = chosen.height;
        options.framesPerSecond = chosen.framesPerSecond;
        return calibration::openV4l2Camera(options);
    }
    case CameraKind::command:
        if (chosen.command.find("%f") == std::string::npos) {
            return Result<Source>::failure(
                "the capture command must name the picture's file with %f");
        }
        return Source(calibration::makeCommandCamera(chosen.command));
    case CameraKind::folder:
        if (chosen.folder.empty()) {
            return Result<Source>::failure("choose the folder of pictures");
        }
        return Source(calibration::makeFolderCamera(chosen.folder));
    }
    return Result<Source>::failure("no camera chosen");
}

} // namespace prismeta
