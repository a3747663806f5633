// Output > Calibrate Outputs… end to end, under a private X server whose
// desktop is the operator's screen and two projectors' 480 x 270 screens
// (RandR monitors, run-with-screens): the outputs' windows open full screen
// on their projectors, each pattern is shown there, and the capture command
// grabs those screens and passes them through the synthetic rig's camera
// (calibration_screen_camera). The application decodes, fits and applies;
// the warps in the project are checked against the rig's truth with the
// bounds of the engine's tests.
#include "RigCalibration.h"
#include "ScreenRig.h"

#include "app/AppCommands.h"
#include "app/CanvasView.h"
#include "app/MainWindow.h"
#include "app/PrismetaApp.h"
#include "app/calibration/CalibrationDialog.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/FileIO.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace prismeta;
namespace cal = prismeta::calibration;

namespace {

QTemporaryDir* home() {
    static QTemporaryDir dir;
    return &dir;
}

// The two outputs full screen on the projectors' screens P1 and P2.
const char* const project = R"({
  "backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
  "outputs": [
    {"blendBottom": 0, "blendGamma": 2.2, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0, "cropY": 0,
     "display": {"fullScreen": true, "height": 270, "screen": "P1", "width": 480,
                 "x": 1024, "y": 0},
     "id": "9A4C2B1E-0D6F-4E8A-9B3C-1F2E3D4C5B6A", "name": "Left"},
    {"blendBottom": 0, "blendGamma": 2.2, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0.5, "cropY": 0,
     "display": {"fullScreen": true, "height": 270, "screen": "P2", "width": 480,
                 "x": 1504, "y": 0},
     "id": "5B6A4C3D-2E1F-4A0B-8C9D-0E1F2A3B4C5D", "name": "Right"}
  ],
  "surfaces": [
    {"color": {"a": 1, "b": 0.2, "g": 0.6, "r": 0.9},
     "corners": [{"x": 0.1, "y": 0.1}, {"x": 0.9, "y": 0.1},
                 {"x": 0.9, "y": 0.9}, {"x": 0.1, "y": 0.9}],
     "feather": 0, "id": "0C1D2E3F-4A5B-4C6D-8E7F-8091A2B3C4D5",
     "mediaKind": "color", "name": "Panel", "opacity": 1}
  ]
})";

// An output's crop and warp as the engine's fit, to measure.
cal::WarpFit fitOf(const OutputConfig& output) {
    cal::WarpFit fit;
    fit.projectorWidth = rig::screenRigProjectorWidth;
    fit.projectorHeight = rig::screenRigProjectorHeight;
    fit.crop = {output.cropX, output.cropY, output.cropWidth, output.cropHeight};
    for (std::size_t c = 0; c < 4; ++c) {
        fit.corners[c] = {output.warp->corners[c].x, output.warp->corners[c].y};
    }
    if (output.warp->mesh) {
        fit.meshCols = output.warp->mesh->cols;
        fit.meshRows = output.warp->mesh->rows;
        for (const Pt& p : output.warp->mesh->points) {
            fit.meshPoints.push_back({p.x, p.y});
        }
        fit.interpolation = output.warp->mesh->interpolation;
        cal::prepareMeshMap(fit);
    }
    return fit;
}

} // namespace

class ScreenCalibrationTest : public QObject {
    Q_OBJECT

public:
    // Before the application exists: the settings and data it writes go to
    // a folder of the test's own.
    static void initMain() {
        qputenv("XDG_CONFIG_HOME", home()->filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", home()->filePath(QStringLiteral("data")).toUtf8());
        CanvasView::installDefaultSurfaceFormat();
    }

private slots:
    void calibratesTheOutputsOnTheirScreens() {
        QCOMPARE(QGuiApplication::screens().size(), 3);
        const std::filesystem::path file =
            home()->filePath(QStringLiteral("show.prismeta.json")).toStdString();
        QVERIFY(writeFileAtomically(file, project));

        PrismetaApp app;
        QVERIFY(app.openAtLaunch(file));
        app.show();
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        app.commands().calibrateOutputs()->trigger();
        CalibrationDialog* dialog = app.calibrationDialog();
        QVERIFY(dialog != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->cameraBox()->setCurrentIndex(
            dialog->cameraBox()->findData(static_cast<int>(CameraKind::command)));
        dialog->commandEdit()->setText(QStringLiteral("'%1' -o %f 1024,0,480,270 1504,0,480,270")
                                           .arg(QStringLiteral(SCREEN_CAMERA)));

        QElapsedTimer timer;
        timer.start();
        dialog->startButton()->click();
        // Both windows open on their projectors.
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().count() == 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->stage() == CalibrationDialog::Stage::result ||
                                     dialog->stage() == CalibrationDialog::Stage::choosing,
                                 240000);
        std::printf("calibrated in %.1f s\n", timer.elapsed() / 1000.0);
        QVERIFY2(dialog->calibrationResult().has_value(),
                 qPrintable(dialog->statusLabel()->text()));
        const cal::CalibrationResult result = *dialog->calibrationResult();
        QVERIFY2(result.applicable(), qPrintable(dialog->resultLabel()->text()));
        for (const cal::OutputCalibration& o : result.outputs) {
            std::printf("%s\n", cal::summaryLine(o).c_str());
            QVERIFY(o.decodedShare >= 0.9);
        }

        dialog->applyButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(app.calibrationDialog() == nullptr, 30000);
        QCOMPARE(app.model().undoName(), std::string("Calibrate Outputs"));
        // The warps written, against the truth: where the rig's projector
        // really lights each canvas point, seen through the canvas's corners.
        const rig::SyntheticRig truth = rig::makeGridRig(rig::screenRigSpec());
        for (std::size_t p = 0; p < 2; ++p) {
            const OutputConfig& output = app.model().outputs()[p];
            QVERIFY(output.warp.has_value());
            QVERIFY(output.blendMap.has_value());
            const rig::Error e = rig::warpError(truth, p, fitOf(output), result.region);
            std::printf("'%s' against the truth: %.3f px RMS, %.3f px max over %zu points\n",
                        output.name.c_str(), e.rms, e.max, e.points);
            QVERIFY(e.points > 1000);
            QVERIFY(e.rms <= 0.25);
            QVERIFY(e.max <= 1.0);
        }
        // The windows stay open, showing the calibrated outputs.
        QCOMPARE(app.outputWindows().count(), 2);
    }
};

QTEST_MAIN(ScreenCalibrationTest)
#include "ScreenCalibrationTest.moc"
