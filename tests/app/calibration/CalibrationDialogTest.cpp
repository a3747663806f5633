// Output > Calibrate Outputs… on Qt's offscreen platform: a folder of the
// synthetic rig's pictures run to a result, the corners dragged and fitted
// again, Apply as one undo step; a capture command whose camera sees nothing
// (the patterns on the output windows meanwhile) ends in failure lines and
// nothing to apply; Cancel in the middle of a run closes what it opened and
// uncovers the rest.
#include "RigCalibration.h"

#include "app/ModelAdapter.h"
#include "app/calibration/CalibrationDialog.h"
#include "app/calibration/CameraPictureView.h"
#include "app/calibration/PatternScreens.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "calibration/ImageFiles.h"
#include "calibration/PatternManifest.h"
#include "core/FileIO.h"
#include "core/ProjectModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <memory>

using namespace prismeta;
namespace cal = prismeta::calibration;
namespace fs = std::filesystem;

namespace {

// Two outputs made for projectors of gamma 2.2 on a 16:9 canvas.
const char* const project = R"({
  "backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
  "outputs": [
    {"blendBottom": 0, "blendGamma": 2.2, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0, "cropY": 0,
     "id": "9A4C2B1E-0D6F-4E8A-9B3C-1F2E3D4C5B6A", "name": "Left"},
    {"blendBottom": 0, "blendGamma": 2.2, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0.5, "cropY": 0,
     "id": "5B6A4C3D-2E1F-4A0B-8C9D-0E1F2A3B4C5D", "name": "Right"}
  ],
  "surfaces": []
})";

rig::RigSetup twoProjectors() {
    rig::RigSetup setup;
    setup.projectorWidth = 480;
    setup.projectorHeight = 270;
    setup.cameraWidth = 480;
    setup.cameraHeight = 270;
    setup.cols = 2;
    setup.rows = 1;
    return setup;
}

} // namespace

class CalibrationDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<ProjectModel> model_;
    std::unique_ptr<ModelAdapter> adapter_;
    std::unique_ptr<OutputWindowRegistry> windows_;
    std::unique_ptr<CalibrationDialog> dialog_;

    fs::path path(const char* name) const { return fs::path(dir_.path().toStdString()) / name; }
    Uuid outputID(std::size_t k) const { return model_->outputs()[k].id; }

    void makeDialog(CameraKind kind) {
        CalibrationSettings settings;
        settings.kind = kind;
        settings.projectorDelayMs = 0;
        dialog_ = std::make_unique<CalibrationDialog>(*adapter_, *windows_, settings, nullptr,
                                                      path("data"));
        dialog_->show();
    }

    // The rig's camera pictures of both outputs' patterns, in a folder with
    // the patterns.json prismeta-cli calibration-patterns writes.
    fs::path rigPictures() {
        const fs::path folder = path("captures");
        fs::create_directories(folder);
        rig::SyntheticRig rig = rig::makeGridRig(twoProjectors());
        std::vector<cal::ManifestOutput> manifest;
        for (std::size_t k = 0; k < 2; ++k) {
            cal::ManifestOutput entry;
            entry.id = outputID(k).text();
            entry.name = model_->outputs()[k].name;
            entry.width = 480;
            entry.height = 270;
            const cal::PatternSet set = entry.patternSet();
            for (std::size_t p = 0; p < set.patterns.size(); ++p) {
                entry.images.push_back(cal::patternFileName(k, set.patterns[p]));
                const cal::GreyImage seen = rig.captureOne(k, cal::renderPattern(set, p));
                if (!cal::writeGreyPng((folder / entry.images.back()).string(), seen)) {
                    return {};
                }
            }
            manifest.push_back(std::move(entry));
        }
        return writeFileAtomically(folder / "patterns.json", cal::writeManifest(manifest))
                   ? folder
                   : fs::path();
    }

    // A still camera that always sees the same picture, after `wait`.
    void useCommandSeeing(const cal::GreyImage& picture, const char* wait = "") {
        const fs::path file = path("seen.png");
        QVERIFY(cal::writeGreyPng(file.string(), picture));
        dialog_->cameraBox()->setCurrentIndex(
            dialog_->cameraBox()->findData(static_cast<int>(CameraKind::command)));
        dialog_->commandEdit()->setText(
            QStringLiteral("%1cp '%2' %f").arg(QLatin1String(wait), QString::fromStdString(file)));
    }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QVERIFY(writeFileAtomically(path("show.prismeta.json"), project));
        model_ = std::make_unique<ProjectModel>();
        QVERIFY(model_->load(path("show.prismeta.json")));
        adapter_ = std::make_unique<ModelAdapter>(*model_);
        windows_ = std::make_unique<OutputWindowRegistry>(*adapter_);
    }

    void cleanup() {
        dialog_.reset();
        windows_.reset();
        adapter_.reset();
        model_.reset();
    }

    void folderOfPicturesFitsMovesAndAppliesAsOneStep() {
        const fs::path folder = rigPictures();
        QVERIFY(!folder.empty());
        makeDialog(CameraKind::folder);
        dialog_->folderEdit()->setText(QString::fromStdString(folder.string()));
        QCOMPARE(dialog_->outputList()->count(), 2);

        // The corners are marked on a picture: there is none yet, and it says so.
        QVERIFY(!dialog_->markCornersBox()->isEnabled());
        QVERIFY(dialog_->markCornersNote()->text().contains(QStringLiteral("Show First Picture")));
        dialog_->pictureButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->pictureView()->picture().isNull(), 10000);
        QCOMPARE(dialog_->pictureView()->picture().size(), QSize(480, 270));
        QVERIFY(dialog_->markCornersBox()->isEnabled());
        QVERIFY(dialog_->markCornersNote()->isHidden());
        // Both outputs lit together: the brighter of their white pictures.
        QVERIFY2(dialog_->statusLabel()->text().contains(QStringLiteral("white pictures together")),
                 qPrintable(dialog_->statusLabel()->text()));
        const cal::GreyImage left =
            cal::readGreyImage((folder / "out1-00-white.png").string()).value();
        const cal::GreyImage right =
            cal::readGreyImage((folder / "out2-00-white.png").string()).value();
        const QImage shown = dialog_->pictureView()->picture();
        int litLeft = 0;
        int litRight = 0;
        for (int y = 0; y < 270; y += 3) {
            for (int x = 0; x < 480; x += 3) {
                const std::size_t i = static_cast<std::size_t>(y) * 480 + x;
                QCOMPARE(qGray(shown.pixel(x, y)), int(std::max(left.pixels[i], right.pixels[i])));
                litLeft += left.pixels[i] > 128 && right.pixels[i] < 64;
                litRight += right.pixels[i] > 128 && left.pixels[i] < 64;
            }
        }
        QVERIFY(litLeft > 1000 && litRight > 1000);

        dialog_->startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->stage() == CalibrationDialog::Stage::result, 60000);
        QCOMPARE(dialog_->progressBar()->value(), dialog_->progressBar()->maximum());
        QVERIFY2(dialog_->calibrationResult()->applicable(),
                 qPrintable(dialog_->resultLabel()->text()));
        QVERIFY(dialog_->applyButton()->isEnabled());
        // Each projector's footprint lies on the camera's picture, labelled
        // with its residual.
        const auto& footprints = dialog_->pictureView()->footprints();
        QCOMPARE(footprints.size(), std::size_t{2});
        for (const CameraPictureView::Footprint& footprint : footprints) {
            QVERIFY(!footprint.outline.isEmpty());
            QVERIFY(QRectF(-20, -20, 520, 310).contains(footprint.outline.boundingRect()));
            QVERIFY(footprint.label.contains(QStringLiteral("px RMS")));
        }

        // The top-left corner dragged inwards: fitted again, the canvas's
        // corner lands elsewhere on the left projector.
        const cal::Vec2 firstCorner = dialog_->calibrationResult()->outputs[0].fit->corners[0];
        CameraPictureView* view = dialog_->pictureView();
        const QPointF corner = (*view->corners())[0];
        const QPoint from = view->toView(corner).toPoint();
        const QPoint to = view->toView(corner + QPointF(25, 12)).toPoint();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->stage() == CalibrationDialog::Stage::result, 30000);
        QVERIFY(std::abs(dialog_->calibrationResult()->region[0].x - (corner.x() + 25)) < 1.0);
        const cal::Vec2 corner0 = dialog_->calibrationResult()->outputs[0].fit->corners[0];
        QVERIFY(std::hypot(corner0.x - firstCorner.x, corner0.y - firstCorner.y) > 0.01);

        const std::vector<OutputConfig> before = model_->outputs();
        const std::size_t steps = model_->undoStack().size();
        dialog_->applyButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->isVisible(), 30000);
        QCOMPARE(dialog_->result(), QDialog::Accepted);
        QCOMPARE(model_->undoStack().size(), steps + 1);
        QCOMPARE(model_->undoName(), std::string("Calibrate Outputs"));
        for (const OutputConfig& output : model_->outputs()) {
            QVERIFY(output.warp.has_value());
            QVERIFY(output.blendMap.has_value());
            // Beside the project, in a folder of this calibration's own.
            const fs::path map(*output.blendMap);
            QCOMPARE(map.parent_path().parent_path(), path("show-calibration"));
            QVERIFY(cal::readGreyImage(map.string()));
        }
        model_->undo();
        QVERIFY(model_->outputs() == before);
    }

    // With no camera attached the dialog starts where it can work, says why
    // a control is disabled, and forgets one source's problem on another.
    void noCameraStartsOnASourceThatExists() {
        const bool cameras = !QDir(QStringLiteral("/dev"))
                                  .entryList({QStringLiteral("video*")}, QDir::System)
                                  .isEmpty();
        makeDialog(CameraKind::v4l2);
        const auto kind = static_cast<CameraKind>(dialog_->cameraBox()->currentData().toInt());
        if (cameras) {
            QCOMPARE(kind, CameraKind::v4l2);
            QVERIFY(QFileInfo::exists(dialog_->deviceBox()->currentText()));
        } else {
            QCOMPARE(kind, CameraKind::folder);
        }
        dialog_->cameraBox()->setCurrentIndex(
            dialog_->cameraBox()->findData(static_cast<int>(CameraKind::v4l2)));
        dialog_->deviceBox()->setCurrentText(QStringLiteral("/dev/no-such-video9"));
        QVERIFY(!dialog_->pictureButton()->isEnabled());
        QVERIFY(dialog_->deviceNote()->text().contains(QStringLiteral("does not exist")));
        QVERIFY(!dialog_->markCornersBox()->isEnabled());
        QVERIFY(dialog_->markCornersNote()->text().contains(QStringLiteral("Show Live Picture")));

        dialog_->cameraBox()->setCurrentIndex(
            dialog_->cameraBox()->findData(static_cast<int>(CameraKind::folder)));
        dialog_->folderEdit()->setText(QString::fromStdString(path("nothing here").string()));
        QVERIFY(dialog_->pictureButton()->isEnabled());
        dialog_->pictureButton()->click();
        QVERIFY(dialog_->statusLabel()->text().contains(QStringLiteral("No patterns.json")));
        QVERIFY(!dialog_->statusLabel()->styleSheet().isEmpty());
        dialog_->cameraBox()->setCurrentIndex(
            dialog_->cameraBox()->findData(static_cast<int>(CameraKind::command)));
        QVERIFY(!dialog_->statusLabel()->text().contains(QStringLiteral("patterns.json")));
        QVERIFY(dialog_->statusLabel()->styleSheet().isEmpty());
    }

    void aCameraThatSeesNothingAppliesNothing() {
        makeDialog(CameraKind::command);
        // A window open beforehand stays; the other one opens for the run.
        OutputWindow* left = windows_->open(outputID(0));
        left->resize(320, 180);
        QVERIFY(QTest::qWaitForWindowExposed(left));
        useCommandSeeing(cal::GreyImage(160, 90, 3));
        dialog_->startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->stage() == CalibrationDialog::Stage::running, 20000);
        // Each output's patterns take its window's raster, pixel for pixel.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->patternScreens()->shownOn(0).isNull(), 20000);
        QCOMPARE(dialog_->patternScreens()->shownOn(0).size(), PatternScreens::rasterSize(*left));
        QVERIFY(!left->view()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->stage() == CalibrationDialog::Stage::result, 60000);
        QVERIFY(!dialog_->calibrationResult()->applicable());
        QVERIFY(!dialog_->applyButton()->isEnabled());
        QVERIFY2(dialog_->resultLabel()->text().contains(QStringLiteral("not seen by the camera")),
                 qPrintable(dialog_->resultLabel()->text()));
        QVERIFY(left->view()->isVisible());
        QVERIFY(!model_->hasUnsavedChanges());
    }

    void cancelInTheMiddleLeavesEverythingAsItWas() {
        makeDialog(CameraKind::command);
        OutputWindow* left = windows_->open(outputID(0));
        QVERIFY(QTest::qWaitForWindowExposed(left));
        useCommandSeeing(cal::GreyImage(160, 90, 3), "sleep 0.1; ");
        dialog_->startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog_->progressBar()->value() >= 3, 30000);
        QVERIFY(windows_->window(outputID(1)) != nullptr);
        QVERIFY(!left->view()->isVisible());

        dialog_->cancelButton()->click();
        QCOMPARE(dialog_->result(), QDialog::Rejected);
        QVERIFY(dialog_->patternScreens() == nullptr);
        QTRY_COMPARE(windows_->count(), 1);
        QCOMPARE(windows_->window(outputID(0)), left);
        QVERIFY(left->view()->isVisible());
        QVERIFY(model_->undoStack().empty());
        QVERIFY(!model_->hasUnsavedChanges());
    }
};

QTEST_MAIN(CalibrationDialogTest)
#include "CalibrationDialogTest.moc"
