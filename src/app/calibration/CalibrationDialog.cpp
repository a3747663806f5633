#include "app/calibration/CalibrationDialog.h"

#include "app/ModelAdapter.h"
#include "app/calibration/BlendMapFiles.h"
#include "app/calibration/CameraPictureView.h"
#include "app/calibration/PatternScreens.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "calibration/ApplyCalibration.h"
#include "calibration/PatternManifest.h"
#include "core/FileIO.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

namespace prismeta {

namespace cal = calibration;

namespace {

constexpr int idRole = Qt::UserRole;

template <typename T> bool ready(const std::future<T>& job) {
    return job.valid() && job.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

QString quotedName(const std::string& name) {
    return QStringLiteral("“%1”").arg(QString::fromStdString(name));
}

// "1 min 20 s", "40 s".
QString duration(double seconds) {
    const int whole = std::max(0, static_cast<int>(std::lround(seconds)));
    if (whole >= 60) {
        return CalibrationDialog::tr("%1 min %2 s").arg(whole / 60).arg(whole % 60);
    }
    return CalibrationDialog::tr("%1 s").arg(whole);
}

// A folder of pictures taken of the written patterns: the run's names for
// them ("out1-00-white.png" for its first output) are the names patterns.json
// gave the chosen outputs' pictures, which may have been written for other
// outputs too, in another order.
class ManifestCamera final : public cal::CameraSource {
public:
    ManifestCamera(std::unique_ptr<cal::CameraSource> folder,
                   std::map<std::string, std::string> names)
        : folder_(std::move(folder)), names_(std::move(names)) {}
    Result<cal::GreyImage> capture(const std::string& patternName,
                                   const std::atomic<bool>& cancel) override {
        const auto found = names_.find(patternName);
        return folder_->capture(found != names_.end() ? found->second : patternName, cancel);
    }
    std::string description() const override { return folder_->description(); }

private:
    std::unique_ptr<cal::CameraSource> folder_;
    std::map<std::string, std::string> names_;
};

// Whether the V4L2 device exists: a camera is attached.
bool deviceExists(const QString& device) {
    return !device.isEmpty() && QFileInfo::exists(device);
}

// The corners of the canvas's aspect centred on a picture, 80 % of it.
std::array<QPointF, 4> centredCorners(QSize picture, double aspect) {
    QSizeF size(picture.width() * 0.8, picture.width() * 0.8 / aspect);
    if (size.height() > picture.height() * 0.8) {
        size = QSizeF(picture.height() * 0.8 * aspect, picture.height() * 0.8);
    }
    const QRectF r((picture.width() - size.width()) / 2, (picture.height() - size.height()) / 2,
                   size.width(), size.height());
    return {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
}

cal::CanvasCorners toCorners(const std::array<QPointF, 4>& points) {
    cal::CanvasCorners corners;
    for (std::size_t k = 0; k < 4; ++k) {
        corners[k] = {points[k].x(), points[k].y()};
    }
    return corners;
}

std::array<QPointF, 4> toPoints(const cal::CanvasCorners& corners) {
    std::array<QPointF, 4> points;
    for (std::size_t k = 0; k < 4; ++k) {
        points[k] = QPointF(corners[k].x, corners[k].y);
    }
    return points;
}

} // namespace

// What Start settled on: the outputs, and for a folder of pictures, the
// patterns they were taken of.
struct CalibrationDialog::RunPlan {
    CalibrationSettings settings;
    std::vector<Uuid> ids;
    std::vector<std::string> names;
    std::vector<cal::ManifestOutput> manifest; // a folder's, one per id
    std::map<std::string, std::string> pictureNames;
};

CalibrationDialog::CalibrationDialog(ModelAdapter& adapter, OutputWindowRegistry& windows,
                                     const CalibrationSettings& settings,
                                     std::function<void()> placeWindows,
                                     std::filesystem::path dataFolder, QWidget* parent)
    : QDialog(parent), adapter_(adapter), windows_(windows), placeWindows_(std::move(placeWindows)),
      dataFolder_(std::move(dataFolder)) {
    setObjectName(QStringLiteral("calibrationDialog"));
    setWindowTitle(tr("Calibrate Outputs"));
    buildControls(settings);
    ticker_.setInterval(50);
    connect(&ticker_, &QTimer::timeout, this, &CalibrationDialog::tick);
    connect(&adapter_, &ModelAdapter::changed, this, [this] {
        if (stage_ == Stage::choosing) {
            refreshOutputs();
        }
    });
    refreshOutputs();
    refreshControls();
    say(tr("Choose the camera and the outputs, then press Start."));
}

CalibrationDialog::~CalibrationDialog() {
    stopEverything();
    closeOpenedWindows();
}

void CalibrationDialog::buildControls(const CalibrationSettings& settings) {
    auto* cameraGroup = new QGroupBox(tr("Camera"));
    camera_ = new QComboBox;
    camera_->addItem(tr("V4L2 camera"), static_cast<int>(CameraKind::v4l2));
    camera_->addItem(tr("Still camera (capture command)"), static_cast<int>(CameraKind::command));
    camera_->addItem(tr("Folder of pictures"), static_cast<int>(CameraKind::folder));
    camera_->setCurrentIndex(camera_->findData(static_cast<int>(settings.kind)));
    cameraPages_ = new QStackedWidget;

    auto* v4l2 = new QWidget;
    auto* v4l2Form = new QFormLayout(v4l2);
    v4l2Form->setContentsMargins(0, 0, 0, 0);
    device_ = new QComboBox;
    device_->setEditable(true);
    const QStringList found = QDir(QStringLiteral("/dev"))
                                  .entryList({QStringLiteral("video*")}, QDir::System, QDir::Name);
    for (const QString& name : found) {
        device_->addItem(QStringLiteral("/dev/") + name);
    }
    device_->setCurrentText(QString::fromStdString(settings.device));
    if (!deviceExists(device_->currentText()) && !found.isEmpty()) {
        device_->setCurrentIndex(0);
    }
    if (settings.kind == CameraKind::v4l2 && found.isEmpty()) {
        // No camera attached: the folder of pictures works without one.
        camera_->setCurrentIndex(camera_->findData(static_cast<int>(CameraKind::folder)));
    }
    deviceNote_ = new QLabel;
    deviceNote_->setWordWrap(true);
    size_ = new QComboBox;
    size_->setEditable(true);
    size_->addItems({tr("Automatic"), QStringLiteral("3840x2160"), QStringLiteral("1920x1080"),
                     QStringLiteral("1280x720"), QStringLiteral("640x480")});
    size_->setCurrentText(settings.width > 0
                              ? QStringLiteral("%1x%2").arg(settings.width).arg(settings.height)
                              : tr("Automatic"));
    rate_ = new QSpinBox;
    rate_->setRange(0, 240);
    rate_->setSpecialValueText(tr("Automatic"));
    rate_->setSuffix(tr(" fps"));
    rate_->setValue(settings.framesPerSecond);
    v4l2Form->addRow(tr("Device:"), device_);
    v4l2Form->addRow(tr("Size:"), size_);
    v4l2Form->addRow(tr("Frame rate:"), rate_);
    v4l2Form->addRow(deviceNote_);
    cameraPages_->addWidget(v4l2);

    auto* still = new QWidget;
    auto* stillLayout = new QVBoxLayout(still);
    stillLayout->setContentsMargins(0, 0, 0, 0);
    command_ = new QLineEdit(QString::fromStdString(settings.command));
    command_->setAccessibleName(tr("Capture command"));
    auto* stillHint = new QLabel(
        tr("Run once per pattern; %f is the picture file it must write, a .png name (%f.jpg "
           "gives it .jpg). For example: import -window root %f"));
    stillHint->setWordWrap(true);
    stillLayout->addWidget(command_);
    stillLayout->addWidget(stillHint);
    cameraPages_->addWidget(still);

    auto* pictures = new QWidget;
    auto* picturesLayout = new QVBoxLayout(pictures);
    picturesLayout->setContentsMargins(0, 0, 0, 0);
    auto* folderRow = new QHBoxLayout;
    folder_ = new QLineEdit(QString::fromStdString(settings.folder));
    folder_->setAccessibleName(tr("Folder of pictures"));
    auto* chooseFolder = new QPushButton(tr("Choose…"));
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(chooseFolder);
    auto* folderHint = new QLabel(
        tr("Pictures of the patterns prismeta-cli calibration-patterns wrote, under their names, "
           "with its patterns.json."));
    folderHint->setWordWrap(true);
    picturesLayout->addLayout(folderRow);
    picturesLayout->addWidget(folderHint);
    cameraPages_->addWidget(pictures);

    picture_ = new QPushButton;
    pictureNote_ = new QLabel;
    pictureNote_->setWordWrap(true);
    auto* pictureRow = new QHBoxLayout;
    pictureRow->addWidget(picture_);
    pictureRow->addWidget(pictureNote_, 1);
    pictureRow->addStretch();
    auto* cameraLayout = new QVBoxLayout(cameraGroup);
    cameraLayout->addWidget(camera_);
    cameraLayout->addWidget(cameraPages_);
    cameraLayout->addLayout(pictureRow);

    auto* outputsGroup = new QGroupBox(tr("Outputs"));
    outputs_ = new QListWidget;
    outputs_->setAccessibleName(tr("Outputs to calibrate"));
    outputs_->setMinimumHeight(90);
    outputNote_ = new QLabel;
    outputNote_->setWordWrap(true);
    auto* outputsLayout = new QVBoxLayout(outputsGroup);
    outputsLayout->addWidget(outputs_);
    outputsLayout->addWidget(outputNote_);

    auto* fitGroup = new QGroupBox(tr("Fit"));
    auto* fitForm = new QFormLayout(fitGroup);
    warp_ = new QComboBox;
    warp_->addItem(tr("Automatic"), static_cast<int>(cal::WarpModel::automatic));
    warp_->addItem(tr("Flat wall (four corners)"), static_cast<int>(cal::WarpModel::homography));
    warp_->addItem(tr("Curved wall (mesh)"), static_cast<int>(cal::WarpModel::mesh));
    warp_->setCurrentIndex(warp_->findData(static_cast<int>(settings.warp)));
    brightness_ = new QCheckBox(tr("Match the projectors' brightness"));
    brightness_->setChecked(settings.matchBrightness);
    delay_ = new QSpinBox;
    delay_->setRange(0, 5000);
    delay_->setSingleStep(50);
    delay_->setSuffix(tr(" ms"));
    delay_->setValue(settings.projectorDelayMs);
    delay_->setToolTip(tr("How long each pattern is up before the camera takes it: the "
                          "projector's own delay"));
    markCorners_ = new QCheckBox(tr("Mark the canvas corners on the picture"));
    markCorners_->setToolTip(tr("Otherwise the canvas is the largest rectangle of its aspect "
                                "inside what the projectors light together"));
    fitForm->addRow(tr("Warp:"), warp_);
    fitForm->addRow(tr("Pattern delay:"), delay_);
    fitForm->addRow(brightness_);
    markCornersNote_ = new QLabel;
    markCornersNote_->setWordWrap(true);
    fitForm->addRow(markCorners_);
    fitForm->addRow(markCornersNote_);

    auto* left = new QVBoxLayout;
    cameraGroup->setMinimumWidth(380);
    left->addWidget(cameraGroup);
    left->addWidget(outputsGroup, 1);
    left->addWidget(fitGroup);

    view_ = new CameraPictureView;
    view_->setPlaceholder(tr("No camera picture yet.\nShow the live picture or take one to see "
                             "what the camera sees: the whole canvas, with a margin."));
    status_ = new QLabel;
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar;
    progress_->setFormat(tr("%v of %m patterns"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    timeLeft_ = new QLabel;
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(timeLeft_);
    progress_->hide(); // until a run starts
    resultText_ = new QLabel;
    resultText_->setWordWrap(true);
    resultText_->setTextFormat(Qt::RichText);
    resultText_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* right = new QVBoxLayout;
    right->addWidget(view_, 1);
    right->addWidget(status_);
    right->addLayout(progressRow);
    right->addWidget(resultText_);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 0);
    columns->addLayout(right, 1);

    auto* buttons = new QDialogButtonBox;
    start_ = buttons->addButton(tr("Start"), QDialogButtonBox::ActionRole);
    apply_ = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    start_->setDefault(true);

    startNote_ = new QLabel;
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(startNote_, 1, Qt::AlignRight);
    buttonRow->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttonRow);
    resize(1040, 640);

    cameraPages_->setCurrentIndex(camera_->currentIndex());
    connect(camera_, &QComboBox::currentIndexChanged, this, [this](int index) {
        cameraPages_->setCurrentIndex(index);
        cameraSettingsChanged();
    });
    connect(device_, &QComboBox::currentTextChanged, this,
            &CalibrationDialog::cameraSettingsChanged);
    connect(size_, &QComboBox::currentTextChanged, this, &CalibrationDialog::cameraSettingsChanged);
    connect(rate_, &QSpinBox::valueChanged, this, &CalibrationDialog::cameraSettingsChanged);
    connect(command_, &QLineEdit::textChanged, this, &CalibrationDialog::cameraSettingsChanged);
    connect(folder_, &QLineEdit::textChanged, this, &CalibrationDialog::cameraSettingsChanged);
    connect(chooseFolder, &QPushButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, tr("Folder of Pictures"), folder_->text());
        if (!chosen.isEmpty()) {
            folder_->setText(chosen);
        }
    });
    connect(picture_, &QPushButton::clicked, this, &CalibrationDialog::takePicture);
    connect(markCorners_, &QCheckBox::toggled, this, &CalibrationDialog::markCornersToggled);
    connect(outputs_, &QListWidget::itemChanged, this, [this] { refreshControls(); });
    connect(view_, &CameraPictureView::cornersEdited, this, [this] {
        if (stage_ == Stage::result || stage_ == Stage::fitting) {
            fitAgain();
        }
    });
    connect(start_, &QPushButton::clicked, this, &CalibrationDialog::start);
    connect(apply_, &QPushButton::clicked, this, &CalibrationDialog::apply);
    connect(cancel_, &QPushButton::clicked, this, &CalibrationDialog::reject);
}

CalibrationSettings CalibrationDialog::settings() const {
    CalibrationSettings out;
    out.kind = static_cast<CameraKind>(camera_->currentData().toInt());
    out.device = device_->currentText().trimmed().toStdString();
    const QStringList size = size_->currentText().split(QLatin1Char('x'));
    if (size.size() == 2) {
        bool wide = false;
        bool high = false;
        const int width = size[0].trimmed().toInt(&wide);
        const int height = size[1].trimmed().toInt(&high);
        if (wide && high && width > 0 && height > 0 && width <= 16384 && height <= 16384) {
            out.width = width;
            out.height = height;
        }
    }
    out.framesPerSecond = rate_->value();
    out.command = command_->text().trimmed().toStdString();
    out.folder = folder_->text().trimmed().toStdString();
    out.projectorDelayMs = delay_->value();
    out.warp = static_cast<cal::WarpModel>(warp_->currentData().toInt());
    out.matchBrightness = brightness_->isChecked();
    return out;
}

std::vector<Uuid> CalibrationDialog::chosenOutputs() const {
    std::vector<Uuid> ids;
    for (int row = 0; row < outputs_->count(); ++row) {
        const QListWidgetItem* item = outputs_->item(row);
        if (item->checkState() == Qt::Checked) {
            if (const std::optional<Uuid> id =
                    Uuid::parse(item->data(idRole).toString().toStdString())) {
                ids.push_back(*id);
            }
        }
    }
    return ids;
}

void CalibrationDialog::refreshOutputs() {
    std::map<std::string, bool> checked;
    for (int row = 0; row < outputs_->count(); ++row) {
        const QListWidgetItem* item = outputs_->item(row);
        checked[item->data(idRole).toString().toStdString()] = item->checkState() == Qt::Checked;
    }
    const QSignalBlocker blocker(outputs_);
    outputs_->clear();
    for (const OutputConfig& output : adapter_.model().outputs()) {
        QString text = QString::fromStdString(output.name);
        if (const OutputWindow* window = windows_.window(output.id)) {
            const QSize raster = PatternScreens::rasterSize(*window);
            text += tr(" — %1 × %2%3")
                        .arg(raster.width())
                        .arg(raster.height())
                        .arg(window->isFullScreen() ? tr(", full screen") : QString());
        } else {
            text += tr(" — its window opens for the run");
        }
        auto* item = new QListWidgetItem(text, outputs_);
        item->setData(idRole, QString::fromStdString(output.id.text()));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const auto was = checked.find(output.id.text());
        item->setCheckState(was == checked.end() || was->second ? Qt::Checked : Qt::Unchecked);
    }
    refreshControls();
}

void CalibrationDialog::refreshControls() {
    const bool choosing = stage_ == Stage::choosing || stage_ == Stage::result;
    const CameraKind kind = static_cast<CameraKind>(camera_->currentData().toInt());
    for (QWidget* control : std::initializer_list<QWidget*>{camera_, cameraPages_, outputs_, warp_,
                                                            brightness_, delay_}) {
        control->setEnabled(choosing);
    }
    // Over a result, the camera's picture would only hide it: Start Again.
    const bool noDevice = kind == CameraKind::v4l2 && !livePicture_ &&
                          !deviceExists(device_->currentText().trimmed());
    picture_->setEnabled(stage_ == Stage::choosing && !noDevice);
    deviceNote_->setText(
        noDevice ? tr("%1 does not exist: no camera is attached, or its driver is not loaded. "
                      "Attach one, or choose a still camera or a folder of pictures.")
                       .arg(device_->currentText().trimmed().isEmpty()
                                ? tr("The device")
                                : device_->currentText().trimmed())
                 : QString());
    deviceNote_->setVisible(noDevice);
    // Each disabled control says why beside it.
    showNote(pictureNote_, stage_ == Stage::result ? tr("Start Again to take new pictures.")
                           : noDevice              ? tr("No camera at this device.")
                                                   : QString());
    picture_->setText(kind == CameraKind::v4l2
                          ? (livePicture_ ? tr("Stop Live Picture") : tr("Show Live Picture"))
                      : kind == CameraKind::command ? tr("Take Picture")
                                                    : tr("Show First Picture"));
    markCorners_->setEnabled(stage_ == Stage::choosing && !cameraSize_.isEmpty());
    showNote(
        markCornersNote_,
        stage_ == Stage::choosing && cameraSize_.isEmpty()
            ? tr("The corners are marked on the camera's picture: %1 first.").arg(picture_->text())
            : QString());
    start_->setEnabled(choosing && !chosenOutputs().empty());
    showNote(startNote_, choosing && chosenOutputs().empty()
                             ? tr("Choose at least one output to start.")
                             : QString());
    start_->setText(result_ ? tr("Start Again") : tr("Start"));
    apply_->setEnabled(stage_ == Stage::result && result_ && result_->applicable());

    // Blends come out even only with each projector's gamma set.
    QStringList linear;
    const std::vector<Uuid> ids = chosenOutputs();
    for (const OutputConfig& output : adapter_.model().outputs()) {
        if (output.blendGamma == 1.0f &&
            std::find(ids.begin(), ids.end(), output.id) != ids.end()) {
            linear << quotedName(output.name);
        }
    }
    outputNote_->setText(
        linear.isEmpty()
            ? QString()
            : tr("Blend gamma 1 on %1: set it to the projector's gamma (about 2.2, in the Blend "
                 "Curve group) for even blends.")
                  .arg(linear.join(QStringLiteral(", "))));
    outputNote_->setVisible(!linear.isEmpty());
}

void CalibrationDialog::showNote(QLabel* note, const QString& text) {
    note->setText(text);
    note->setVisible(!text.isEmpty());
}

void CalibrationDialog::setStage(Stage stage) {
    stage_ = stage;
    const bool busy = stage != Stage::choosing && stage != Stage::result;
    if (busy || feed_.running()) {
        ticker_.start();
    }
    view_->setCornersMovable((stage == Stage::choosing && markCorners_->isChecked()) ||
                             stage == Stage::result || stage == Stage::fitting);
    refreshControls();
}

void CalibrationDialog::say(const QString& text, bool problem) {
    status_->setText(text);
    status_->setStyleSheet(problem ? QStringLiteral("color: #d04040;") : QString());
    problemShown_ = problem;
    if (problem) {
        logLine("Calibrate Outputs: " + text.toStdString());
    }
}

void CalibrationDialog::cameraSettingsChanged() {
    if (stage_ != Stage::choosing && stage_ != Stage::result) {
        return;
    }
    // Another camera: its pictures and corners are of no use.
    feed_.forget();
    livePicture_ = false;
    cameraSize_ = QSize();
    markCorners_->setChecked(false);
    if (!result_) {
        view_->setPicture({});
        view_->setCorners(std::nullopt);
    }
    // What went wrong with the last camera, or what its picture was, is not
    // this one's.
    if (problemShown_ || stage_ == Stage::choosing) {
        say(tr("Choose the camera and the outputs, then press Start."));
    }
    refreshControls();
}

void CalibrationDialog::takePicture() {
    const CalibrationSettings chosen = settings();
    if (livePicture_) {
        feed_.stop();
        livePicture_ = false;
        refreshControls();
        return;
    }
    std::string name = "preview.png";
    CameraFeed::Opener opener = [chosen] { return openCamera(chosen); };
    if (chosen.kind == CameraKind::folder) {
        // The first picture patterns.json names.
        const auto text = readRegularFile(std::filesystem::path(chosen.folder) / "patterns.json",
                                          std::size_t{16} << 20);
        const auto manifest = text
                                  ? cal::readManifest(text.value())
                                  : Result<std::vector<cal::ManifestOutput>>::failure(text.error());
        if (!manifest || manifest->empty() || manifest->front().images.empty()) {
            say(tr("No patterns.json in %1: %2")
                    .arg(folder_->text(),
                         QString::fromStdString(manifest ? std::string("it lists no pictures")
                                                         : manifest.error())),
                true);
            return;
        }
        // Every output's white picture together: the whole canvas should lie
        // inside what they light.
        std::vector<std::string> whites;
        for (const cal::ManifestOutput& output : manifest.value()) {
            if (!output.images.empty()) {
                whites.push_back(output.images.front());
            }
        }
        pictureKind_ = whites.size() > 1 ? tr("The %1 outputs' white pictures together, %2 × %3: "
                                              "the whole canvas should lie inside their light.")
                                               .arg(whites.size())
                                         : tr("The output's white picture, %2 × %3.");
        // Another folder's camera (or the run's) is of no use here.
        feed_.forget();
        opener = [chosen, whites]() -> Result<std::unique_ptr<cal::CameraSource>> {
            Result<std::unique_ptr<cal::CameraSource>> folder = openCamera(chosen);
            if (!folder) {
                return folder;
            }
            return cal::makeLitTogetherCamera(std::move(folder.value()), whites);
        };
    } else {
        pictureKind_ = chosen.kind == CameraKind::v4l2 ? tr("The live picture, %2 × %3.")
                                                       : tr("The camera's picture, %2 × %3.");
    }
    livePicture_ = chosen.kind == CameraKind::v4l2;
    feed_.start(opener, livePicture_ ? CameraFeed::Pictures::continuous : CameraFeed::Pictures::one,
                name);
    say(chosen.kind == CameraKind::command ? tr("Taking a picture…") : tr("Opening the camera…"));
    ticker_.start();
    refreshControls();
}

void CalibrationDialog::markCornersToggled(bool on) {
    if (stage_ != Stage::choosing) {
        return;
    }
    if (on && !cameraSize_.isEmpty()) {
        const CanvasSize canvas = adapter_.model().canvasSize();
        view_->setCorners(centredCorners(cameraSize_, canvas.width / canvas.height));
    } else {
        view_->setCorners(std::nullopt);
    }
    view_->setCornersMovable(on);
}

void CalibrationDialog::start() {
    const CalibrationSettings chosen = settings();
    auto plan = std::make_unique<RunPlan>();
    plan->settings = chosen;
    plan->ids = chosenOutputs();
    if (plan->ids.empty()) {
        say(tr("Choose at least one output."), true);
        return;
    }
    const std::vector<OutputConfig>& outputs = adapter_.model().outputs();
    for (const Uuid& id : plan->ids) {
        const auto found = std::find_if(outputs.begin(), outputs.end(),
                                        [&id](const OutputConfig& o) { return o.id == id; });
        plan->names.push_back(found != outputs.end() ? found->name : std::string("Output"));
    }
    if (chosen.kind == CameraKind::folder) {
        // The patterns the pictures were taken of, found by id, else by name.
        const auto text = readRegularFile(std::filesystem::path(chosen.folder) / "patterns.json",
                                          std::size_t{16} << 20);
        if (!text) {
            say(tr("Cannot read patterns.json in %1: %2")
                    .arg(folder_->text(), QString::fromStdString(text.error())),
                true);
            return;
        }
        const auto manifest = cal::readManifest(text.value());
        if (!manifest) {
            say(tr("patterns.json: %1").arg(QString::fromStdString(manifest.error())), true);
            return;
        }
        for (std::size_t k = 0; k < plan->ids.size(); ++k) {
            const auto byId = [&](const cal::ManifestOutput& m) {
                return m.id == plan->ids[k].text();
            };
            const auto byName = [&](const cal::ManifestOutput& m) {
                return m.name == plan->names[k];
            };
            auto found = std::find_if(manifest->begin(), manifest->end(), byId);
            if (found == manifest->end()) {
                found = std::find_if(manifest->begin(), manifest->end(), byName);
            }
            if (found == manifest->end()) {
                say(tr("The folder has no pictures of %1.").arg(quotedName(plan->names[k])), true);
                return;
            }
            const cal::PatternSet set = found->patternSet();
            for (std::size_t p = 0; p < set.patterns.size() && p < found->images.size(); ++p) {
                plan->pictureNames[cal::patternFileName(k, set.patterns[p])] = found->images[p];
            }
            plan->manifest.push_back(*found);
        }
    }
    emit settingsChosen(chosen);

    feed_.stop();
    livePicture_ = false;
    if (chosen.kind != CameraKind::folder) {
        for (const Uuid& id : plan->ids) {
            if (windows_.window(id) == nullptr) {
                opened_.emplace_back(windows_.open(id));
            }
        }
        if (placeWindows_) {
            placeWindows_();
        }
        // The dialog stays where the operator works.
        raise();
        activateWindow();
    }
    if (!feed_.camera()) {
        feed_.start([chosen] { return openCamera(chosen); }, CameraFeed::Pictures::none, {});
    }
    plan_ = std::move(plan);
    result_.reset();
    decoded_.reset();
    resultText_->clear();
    view_->setFootprints({});
    if (!markCorners_->isChecked()) {
        view_->setCorners(std::nullopt); // the last result's
    }
    progress_->hide();
    timeLeft_->clear();
    preparing_.start();
    say(tr("Opening the camera and the output windows…"));
    setStage(Stage::preparing);
}

void CalibrationDialog::beginRun() {
    const RunPlan& plan = *plan_;
    std::shared_ptr<cal::CameraSource> camera = feed_.camera();
    std::vector<cal::RunOutput> outputs;
    std::vector<QPointer<OutputWindow>> shown;
    const std::vector<OutputConfig>& models = adapter_.model().outputs();
    for (std::size_t k = 0; k < plan.ids.size(); ++k) {
        cal::PatternOptions patterns;
        const auto found = std::find_if(models.begin(), models.end(),
                                        [&](const OutputConfig& o) { return o.id == plan.ids[k]; });
        if (found != models.end() && found->blendGamma >= 1.0f && found->blendGamma <= 4.0f) {
            patterns.gamma = found->blendGamma;
        }
        if (plan.settings.kind == CameraKind::folder) {
            outputs.push_back({plan.names[k], plan.manifest[k].patternSet()});
            continue;
        }
        OutputWindow* window = windows_.window(plan.ids[k]);
        if (window == nullptr) {
            say(tr("The window of %1 closed.").arg(quotedName(plan.names[k])), true);
            closeOpenedWindows();
            setStage(Stage::choosing);
            return;
        }
        const QSize raster = PatternScreens::rasterSize(*window);
        outputs.push_back(
            {plan.names[k], cal::makePatternSet(raster.width(), raster.height(), patterns)});
        shown.emplace_back(window);
    }
    cal::PatternShower shower = [](std::size_t, const cal::GreyImage*, const std::atomic<bool>&) {
        return true; // taken beforehand
    };
    if (plan.settings.kind == CameraKind::folder) {
        // The folder camera reads the pictures under the names patterns.json gave them.
        Result<std::unique_ptr<cal::CameraSource>> folder = openCamera(plan.settings);
        if (!folder) {
            say(QString::fromStdString(folder.error()), true);
            setStage(Stage::choosing);
            return;
        }
        camera = std::make_shared<ManifestCamera>(std::move(folder.value()), plan.pictureNames);
    } else {
        // Every other open output window is kept black.
        std::vector<QPointer<OutputWindow>> others;
        for (OutputWindow* window : windows_.openWindows()) {
            if (std::find(shown.begin(), shown.end(), window) == shown.end()) {
                others.emplace_back(window);
            }
        }
        screens_ = std::make_unique<PatternScreens>(
            shown, others, std::chrono::milliseconds(plan.settings.projectorDelayMs));
        shower = screens_->shower();
    }
    const CanvasSize canvas = adapter_.model().canvasSize();
    options_ = {};
    options_.warp.model = plan.settings.warp;
    options_.matchBrightness = plan.settings.matchBrightness;
    options_.canvasAspect = canvas.width / canvas.height;
    if (markCorners_->isChecked() && view_->corners()) {
        options_.region = toCorners(*view_->corners());
    }
    runOutputs_ = plan.ids;
    runNames_ = plan.names;
    std::size_t total = 0;
    for (const cal::RunOutput& o : outputs) {
        total += o.patterns.patterns.size();
    }
    progress_->setRange(0, static_cast<int>(total));
    progress_->setValue(0);
    progress_->show();
    run_ = std::make_unique<cal::CalibrationRun>(std::move(outputs), std::move(camera),
                                                 std::move(shower), options_);
    say(plan.settings.kind == CameraKind::folder
            ? tr("Reading the pictures…")
            : tr("Showing the patterns: keep the camera and the projectors still."));
    setStage(Stage::running);
}

void CalibrationDialog::tick() {
    const CameraFeed::Update update = feed_.poll();
    if (update.picture) {
        const QImage picture = toQImage(*update.picture);
        if (stage_ == Stage::choosing) {
            cameraSize_ = picture.size();
            view_->setPicture(picture);
            // The lowest marker left in the text is the width's.
            const QString kind =
                pictureKind_.isEmpty() ? tr("The camera's picture, %1 × %2.") : pictureKind_;
            say(kind.arg(picture.width()).arg(picture.height()));
            refreshControls();
        }
    }
    if (!update.problem.empty()) {
        livePicture_ = false;
        if (stage_ == Stage::preparing) {
            closeOpenedWindows();
            setStage(Stage::choosing);
        }
        say(tr("The camera: %1").arg(QString::fromStdString(update.problem)), true);
        refreshControls();
    }

    switch (stage_) {
    case Stage::choosing:
    case Stage::result:
        if (!feed_.running() && !update.picture) {
            ticker_.stop();
        }
        if (!feed_.running() && livePicture_) {
            livePicture_ = false;
            refreshControls();
        }
        break;
    case Stage::preparing: {
        if (feed_.running() || !feed_.camera()) {
            break;
        }
        if (plan_->settings.kind != CameraKind::folder) {
            // The windows placed and on screen, and a moment for the window
            // system to settle them.
            bool shown = preparing_.elapsed() >= 300;
            for (const Uuid& id : plan_->ids) {
                const OutputWindow* window = windows_.window(id);
                shown = shown && window != nullptr && window->windowHandle() != nullptr &&
                        window->windowHandle()->isExposed();
            }
            if (!shown) {
                if (preparing_.elapsed() > 10000) {
                    closeOpenedWindows();
                    say(tr("The output windows did not appear on screen."), true);
                    setStage(Stage::choosing);
                }
                break;
            }
        }
        beginRun();
        break;
    }
    case Stage::running: {
        const cal::CalibrationRun::Progress progress = run_->progress();
        progress_->setValue(static_cast<int>(progress.captured));
        if (std::optional<cal::GreyImage> seen = run_->takeLatestPicture()) {
            view_->setPicture(toQImage(*seen));
        }
        if (progress.secondsLeft >= 0.0 && !progress.finished) {
            timeLeft_->setText(tr("about %1 left").arg(duration(progress.secondsLeft)));
        }
        if (progress.captured == progress.total && !progress.finished) {
            say(tr("Decoding and fitting…"));
        }
        if (std::optional<cal::CalibrationRun::Outcome> outcome = run_->takeOutcome()) {
            finishRun(std::move(*outcome));
        }
        break;
    }
    case Stage::fitting:
        if (ready(refit_)) {
            result_ = refit_.get();
            if (refitAgain_) {
                refitAgain_ = false;
                fitAgain();
                break;
            }
            setStage(Stage::result);
            showResult();
        }
        break;
    case Stage::applying:
        if (ready(writing_)) {
            finishApply();
        }
        break;
    }
}

void CalibrationDialog::finishRun(cal::CalibrationRun::Outcome outcome) {
    if (screens_) {
        screens_->close();
    }
    run_.reset();
    screens_.reset(); // the windows show their pictures again
    timeLeft_->clear();
    if (!outcome.result) {
        say(tr("The calibration stopped: %1").arg(QString::fromStdString(outcome.problem)), true);
        setStage(Stage::choosing);
        return;
    }
    result_ = std::move(outcome.result);
    decoded_ = std::make_shared<const std::vector<cal::DecodedOutput>>(std::move(outcome.decoded));
    // Everything the projectors light: the brightest of their white pictures.
    resultPicture_ = QImage();
    for (const cal::DecodedOutput& d : *decoded_) {
        const QImage white = toQImage(d.white);
        if (white.isNull()) {
            continue;
        }
        if (resultPicture_.isNull()) {
            resultPicture_ = white;
            continue;
        }
        if (white.size() != resultPicture_.size()) {
            continue;
        }
        for (int y = 0; y < white.height(); ++y) {
            uchar* to = resultPicture_.scanLine(y);
            const uchar* from = white.constScanLine(y);
            for (int x = 0; x < white.width(); ++x) {
                to[x] = std::max(to[x], from[x]);
            }
        }
    }
    if (!resultPicture_.isNull()) {
        cameraSize_ = resultPicture_.size();
    }
    setStage(Stage::result);
    showResult();
}

void CalibrationDialog::fitAgain() {
    if (!decoded_ || !view_->corners()) {
        return;
    }
    options_.region = toCorners(*view_->corners());
    if (stage_ == Stage::fitting) {
        refitAgain_ = true; // once this fit is in
        return;
    }
    const std::shared_ptr<const std::vector<cal::DecodedOutput>> decoded = decoded_;
    refit_ = std::async(std::launch::async, [decoded, names = runNames_, options = options_] {
        std::vector<const cal::DecodedOutput*> pointers;
        for (const cal::DecodedOutput& d : *decoded) {
            pointers.push_back(&d);
        }
        return cal::calibrate(pointers, names, options);
    });
    say(tr("Fitting again with the corners moved…"));
    setStage(Stage::fitting);
}

void CalibrationDialog::showResult() {
    const cal::CalibrationResult& result = *result_;
    view_->setPicture(resultPicture_);
    view_->setCorners(result.haveRegion ? std::optional(toPoints(result.region)) : std::nullopt);
    std::vector<CameraPictureView::Footprint> footprints;
    QStringList lines;
    const std::optional<cal::Homography> canvasToCamera =
        result.haveRegion ? cal::canvasToCamera(result.region) : std::nullopt;
    for (const cal::OutputCalibration& o : result.outputs) {
        CameraPictureView::Footprint footprint;
        footprint.failed = o.failure.has_value() || !o.fit;
        footprint.label = QString::fromStdString(o.name);
        if (o.fit) {
            footprint.label += tr("\n%1 px RMS, %2 px max")
                                   .arg(o.fit->rms, 0, 'f', 2)
                                   .arg(o.fit->maxResidual, 0, 'f', 2);
            if (canvasToCamera) {
                for (const cal::Vec2& p : cal::rasterOutlineInCamera(*o.fit, *canvasToCamera)) {
                    footprint.outline << QPointF(p.x, p.y);
                }
            }
        } else {
            footprint.label += tr("\nnot fitted");
        }
        footprints.push_back(std::move(footprint));
        lines << QString::fromStdString(cal::summaryLine(o)).toHtmlEscaped();
    }
    for (const std::string& line : result.failureLines()) {
        lines << QStringLiteral("<span style=\"color:#d04040\">%1</span>")
                     .arg(QString::fromStdString(line).toHtmlEscaped());
    }
    view_->setFootprints(std::move(footprints));
    resultText_->setText(lines.join(QStringLiteral("<br>")));
    if (result.applicable()) {
        say(tr("Drag the canvas's corners to move it; Apply writes the crops, warps and blend "
               "maps."));
    } else {
        say(tr("Nothing can be applied: see the lines below."), true);
    }
    refreshControls();
}

void CalibrationDialog::apply() {
    if (stage_ != Stage::result || !result_ || !result_->applicable()) {
        return;
    }
    const ProjectModel& model = adapter_.model();
    std::vector<std::size_t> numbers;
    for (std::size_t k = 0; k < runOutputs_.size(); ++k) {
        const auto& outputs = model.outputs();
        const auto found = std::find_if(outputs.begin(), outputs.end(), [&](const OutputConfig& o) {
            return o.id == runOutputs_[k];
        });
        if (found == outputs.end()) {
            say(tr("%1 is no longer in the project: nothing applied.")
                    .arg(quotedName(runNames_[k])),
                true);
            return;
        }
        numbers.push_back(static_cast<std::size_t>(found - outputs.begin()) + 1);
    }
    const std::filesystem::path folder =
        blendMapFolder(model.documentURL(), dataFolder_, QDateTime::currentDateTime());
    writing_ = std::async(std::launch::async, [folder, result = *result_, numbers] {
        return writeBlendMaps(folder, result, numbers);
    });
    say(tr("Writing the blend maps…"));
    setStage(Stage::applying);
}

void CalibrationDialog::finishApply() {
    const Result<std::vector<std::string>> written = writing_.get();
    if (!written) {
        say(QString::fromStdString(written.error()), true);
        setStage(Stage::result);
        return;
    }
    ProjectModel& model = adapter_.model();
    std::vector<std::size_t> indexes;
    for (const Uuid& id : runOutputs_) {
        const auto& outputs = model.outputs();
        const auto found = std::find_if(outputs.begin(), outputs.end(),
                                        [&](const OutputConfig& o) { return o.id == id; });
        if (found == outputs.end()) {
            std::error_code ignored;
            for (const std::string& path : written.value()) {
                std::filesystem::remove(path, ignored);
            }
            say(tr("An output left the project: nothing applied."), true);
            setStage(Stage::result);
            return;
        }
        indexes.push_back(static_cast<std::size_t>(found - outputs.begin()));
    }
    cal::applyCalibration(model, indexes, *result_, written.value());
    logLine("Calibrate Outputs: applied to " + std::to_string(indexes.size()) +
            " output(s), blend maps in " +
            std::filesystem::path(written.value().front()).parent_path().string());
    opened_.clear(); // the windows show the calibrated outputs
    stage_ = Stage::choosing;
    ticker_.stop();
    emit applied();
    QDialog::accept();
}

void CalibrationDialog::stopEverything() {
    ticker_.stop();
    feed_.stop();
    if (screens_) {
        screens_->close();
    }
    run_.reset(); // its thread gives up at the next pattern or picture
    screens_.reset();
    if (refit_.valid()) {
        refit_.wait();
    }
    if (writing_.valid()) {
        // Written but not applied: not left behind.
        const Result<std::vector<std::string>> written = writing_.get();
        if (written) {
            std::error_code ignored;
            for (const std::string& path : written.value()) {
                std::filesystem::remove(path, ignored);
            }
        }
    }
}

void CalibrationDialog::closeOpenedWindows() {
    for (const QPointer<OutputWindow>& window : opened_) {
        if (window) {
            window->close();
        }
    }
    opened_.clear();
}

void CalibrationDialog::reject() {
    stopEverything();
    closeOpenedWindows();
    stage_ = Stage::choosing;
    QDialog::reject();
}

} // namespace prismeta
