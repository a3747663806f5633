// calibration_screen_camera -o FILE X,Y,W,H...
//
// What the synthetic rig's camera (ScreenRig.h) sees when each listed
// rectangle of the X desktop is one of its projectors' rasters, in the rig's
// order: the desktop grabbed there, taken as grey, lit onto the rig's wall
// and seen through its camera, written to FILE as a greyscale PNG. Its sensor
// noise is seeded by FILE's name, so that every picture has noise of its
// own. The capture command of the application's end-to-end calibration
// test; exits 1 with a line on standard error when it cannot.
#include "ScreenRig.h"

#include "calibration/ImageFiles.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace cal = prismeta::calibration;

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    std::string file;
    std::vector<QRect> screens;
    const QStringList args = QGuiApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o") && i + 1 < args.size()) {
            file = args[++i].toStdString();
            continue;
        }
        const QStringList n = args[i].split(QLatin1Char(','));
        if (n.size() != 4) {
            std::fprintf(stderr, "calibration_screen_camera: not X,Y,W,H: %s\n",
                         qPrintable(args[i]));
            return 1;
        }
        screens.emplace_back(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt());
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (file.empty() || screens.size() != 2 || screen == nullptr) {
        std::fprintf(stderr, "usage: calibration_screen_camera -o FILE X,Y,W,H X,Y,W,H\n");
        return 1;
    }
    const std::uint32_t seed = static_cast<std::uint32_t>(
        std::hash<std::string>{}(std::filesystem::path(file).filename().string()));
    prismeta::rig::SyntheticRig rig =
        prismeta::rig::makeGridRig(prismeta::rig::screenRigSpec(seed));

    // A grab is placed relative to the screen it is made from.
    const QPoint corner = screen->geometry().topLeft();
    std::vector<cal::GreyImage> rasters;
    for (const QRect& area : screens) {
        const QImage grabbed = screen
                                   ->grabWindow(0, area.x() - corner.x(), area.y() - corner.y(),
                                                area.width(), area.height())
                                   .toImage()
                                   .convertToFormat(QImage::Format_RGB32);
        if (grabbed.size() != area.size()) {
            std::fprintf(stderr, "calibration_screen_camera: cannot grab the desktop\n");
            return 1;
        }
        cal::GreyImage raster(area.width(), area.height());
        for (int y = 0; y < area.height(); ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(grabbed.constScanLine(y));
            for (int x = 0; x < area.width(); ++x) {
                raster.pixels[static_cast<std::size_t>(y) * area.width() + x] =
                    static_cast<std::uint8_t>(qGray(row[x]));
            }
        }
        rasters.push_back(std::move(raster));
    }
    std::vector<const cal::GreyImage*> pictures;
    for (const cal::GreyImage& raster : rasters) {
        pictures.push_back(&raster);
    }
    if (const prismeta::Status written = cal::writeGreyPng(file, rig.capture(pictures)); !written) {
        std::fprintf(stderr, "calibration_screen_camera: %s\n", written.error.c_str());
        return 1;
    }
    return 0;
}
