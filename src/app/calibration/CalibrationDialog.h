#pragma once

#include "app/calibration/CalibrationSettings.h"
#include "app/calibration/CameraFeed.h"
#include "calibration/Calibration.h"
#include "calibration/CalibrationRun.h"
#include "core/Uuid.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace prismeta {

class CameraPictureView;
class ModelAdapter;
class OutputWindow;
class OutputWindowRegistry;
class PatternScreens;

// Output > Calibrate Outputs…: one fixed camera aligns and blends the
// chosen outputs.
//
// The operator chooses the camera (a V4L2 device, a still camera's capture
// command, or a folder of pictures taken of `prismeta-cli
// calibration-patterns`) and the outputs, sees the camera's picture, may
// mark the canvas's corners on it, and presses Start. The chosen outputs'
// windows open where they go (those not open yet), every open output window
// turns black, and each output in turn shows its patterns while the camera
// takes them; a progress bar counts the patterns and the time left. The
// result shows each projector's footprint and residual over the camera's
// white pictures, with the canvas's corners, which the operator can drag (the
// outputs are fitted again, off the interface thread). Apply writes the blend
// maps to a folder of their own and the crops, warps and blend maps as one
// undo step, then closes. Cancel, at any moment, stops what runs, closes the
// windows the dialog opened and uncovers the others: the project and the
// windows are as they were.
//
// The patterns are shown and the pictures taken on the calibration run's
// own thread (CalibrationRun, PatternScreens); the camera's picture comes
// from CameraFeed's; fitting again and writing the maps run on threads of
// their own. The dialog polls them: nothing here waits on the camera.
//
// Interface thread only. Borrows the adapter (and model) and the window
// registry, which must outlive it.
class CalibrationDialog : public QDialog {
    Q_OBJECT

public:
    // `placeWindows` puts output windows that were just opened where they go,
    // now rather than on the next turn (the application's placer); `dataFolder`
    // holds the blend maps of a project never saved.
    CalibrationDialog(ModelAdapter& adapter, OutputWindowRegistry& windows,
                      const CalibrationSettings& settings, std::function<void()> placeWindows,
                      std::filesystem::path dataFolder, QWidget* parent = nullptr);
    ~CalibrationDialog() override;

    enum class Stage {
        choosing,  // the camera and the outputs
        preparing, // the camera opening, the windows being placed
        running,   // patterns shown and taken
        fitting,   // fitting again with other corners
        result,
        applying, // the blend maps being written
    };
    Stage stage() const { return stage_; }

    // What the controls say now.
    CalibrationSettings settings() const;
    // The chosen outputs' ids, in the project's order.
    std::vector<Uuid> chosenOutputs() const;
    // The last result and the outputs it is for, in its order.
    const std::optional<calibration::CalibrationResult>& calibrationResult() const {
        return result_;
    }
    const std::vector<Uuid>& resultOutputs() const { return runOutputs_; }
    // While patterns are shown.
    PatternScreens* patternScreens() const { return screens_.get(); }

    QComboBox* cameraBox() const { return camera_; }
    QLineEdit* commandEdit() const { return command_; }
    QLineEdit* folderEdit() const { return folder_; }
    QComboBox* deviceBox() const { return device_; }
    QListWidget* outputList() const { return outputs_; }
    QCheckBox* markCornersBox() const { return markCorners_; }
    QSpinBox* delayBox() const { return delay_; }
    QPushButton* pictureButton() const { return picture_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* statusLabel() const { return status_; }
    QLabel* markCornersNote() const { return markCornersNote_; }
    QLabel* deviceNote() const { return deviceNote_; }
    QLabel* resultLabel() const { return resultText_; }
    CameraPictureView* pictureView() const { return view_; }

    // Cancel: stops everything, leaves the project and the windows as they were.
    void reject() override;

signals:
    // Start was pressed with these settings: worth remembering.
    void settingsChosen(const prismeta::CalibrationSettings& settings);
    // The calibration is in the project.
    void applied();

private:
    struct RunPlan;

    void buildControls(const CalibrationSettings& settings);
    void refreshOutputs();
    void refreshControls();
    void cameraSettingsChanged();
    void takePicture();
    void markCornersToggled(bool on);
    void start();
    void beginRun();
    void finishRun(calibration::CalibrationRun::Outcome outcome);
    void fitAgain();
    void showResult();
    void apply();
    void finishApply();
    void tick();
    void stopEverything();
    void closeOpenedWindows();
    void setStage(Stage stage);
    void say(const QString& text, bool problem = false);
    // A disabled control's reason beside it; hidden when empty.
    static void showNote(QLabel* note, const QString& text);

    ModelAdapter& adapter_;
    OutputWindowRegistry& windows_;
    std::function<void()> placeWindows_;
    std::filesystem::path dataFolder_;

    QComboBox* camera_ = nullptr;
    QStackedWidget* cameraPages_ = nullptr;
    QComboBox* device_ = nullptr;
    QComboBox* size_ = nullptr;
    QSpinBox* rate_ = nullptr;
    QLineEdit* command_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLabel* deviceNote_ = nullptr;
    QPushButton* picture_ = nullptr;
    QLabel* pictureNote_ = nullptr;
    QListWidget* outputs_ = nullptr;
    QLabel* outputNote_ = nullptr;
    QComboBox* warp_ = nullptr;
    QCheckBox* brightness_ = nullptr;
    QSpinBox* delay_ = nullptr;
    QCheckBox* markCorners_ = nullptr;
    QLabel* markCornersNote_ = nullptr;
    QLabel* startNote_ = nullptr;
    CameraPictureView* view_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* timeLeft_ = nullptr;
    QLabel* resultText_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;

    Stage stage_ = Stage::choosing;
    QTimer ticker_;
    CameraFeed feed_;
    bool livePicture_ = false;
    bool problemShown_ = false;
    // What the camera's picture is, said when it comes ("every output's white
    // picture together").
    QString pictureKind_;
    // The camera's size, once a picture came.
    QSize cameraSize_;

    std::unique_ptr<RunPlan> plan_;
    QElapsedTimer preparing_;
    std::vector<QPointer<OutputWindow>> opened_; // by the dialog, closed on Cancel
    std::unique_ptr<PatternScreens> screens_;
    std::unique_ptr<calibration::CalibrationRun> run_;

    std::vector<Uuid> runOutputs_;
    std::vector<std::string> runNames_;
    calibration::CalibrationOptions options_;
    std::shared_ptr<const std::vector<calibration::DecodedOutput>> decoded_;
    std::optional<calibration::CalibrationResult> result_;
    QImage resultPicture_;
    std::future<calibration::CalibrationResult> refit_;
    bool refitAgain_ = false;
    std::future<Result<std::vector<std::string>>> writing_;
};

} // namespace prismeta
