#include "app/PrismetaApp.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/calibration/CalibrationDialog.h"
#include "app/calibration/CalibrationSettings.h"
#include "app/cluster/ShowNodes.h"
#include "app/cues/CuesDock.h"
#include "app/cues/ShowCues.h"
#include "app/cues/ShowPreferences.h"
#include "app/dmx/DmxInput.h"
#include "app/dmx/DmxPreferencesPane.h"
#include "app/document/DocumentController.h"
#include "app/document/DocumentDialogs.h"
#include "app/document/MediaCommands.h"
#include "app/document/MissingMediaWatcher.h"
#include "app/inspector/InspectorView.h"
#include "app/inspector/OutputsSection.h"
#include "app/remote/PreferencesDialog.h"
#include "app/remote/RemoteControl.h"
#include "app/remote/RemoteControlSettings.h"
#include "app/show/OutputPlacer.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/ShowMode.h"
#include "app/show/WarpKeys.h"
#include "core/Log.h"
#include "media/LiveSources.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

namespace prismeta {

PrismetaApp::PrismetaApp() : PrismetaApp(nullptr) {}

PrismetaApp::PrismetaApp(std::unique_ptr<DocumentDialogs> dialogs) {
    auto* widgetDialogs = dialogs ? nullptr : new WidgetDocumentDialogs;
    dialogs_ = dialogs ? std::move(dialogs) : std::unique_ptr<DocumentDialogs>(widgetDialogs);
    adapter_ = std::make_unique<ModelAdapter>(model_);
    showCues_ = std::make_unique<ShowCues>(*adapter_); // before the views, which draw its fades
    showCues_->runner().setBlackoutFade(readBlackoutFade(*applicationSettings()));
    LiveSources::setHoldSeconds(readLiveHoldSeconds(*applicationSettings()));
    missingMedia_ = std::make_unique<MissingMediaWatcher>(*adapter_);
    // The editor and the show alike: each missing or undecodable media file
    // is a log line.
    missingMedia_->setLogging(true);
    mediaCommands_ = std::make_unique<MediaCommands>(model_, *dialogs_);
    documents_ = std::make_unique<DocumentController>(model_, *dialogs_);
    commands_ = std::make_unique<AppCommands>(*adapter_);
    outputWindows_ = std::make_unique<OutputWindowRegistry>(*adapter_);
    // While a warp is edited, the arrow keys and Tab move its handles from
    // every window, the editor's included.
    warpKeys_ = std::make_unique<WarpKeys>(*outputWindows_);
    mainWindow_ = std::make_unique<MainWindow>(*adapter_, *commands_);
    remote_ = std::make_unique<RemoteControl>(*adapter_);
    remote_->setCueRunner(&showCues_->runner());
    dmx_ = std::make_unique<DmxInput>(*adapter_, *showCues_);
    showCues_->setIncomingTimecode([this] { return dmx_ ? dmx_->timecodeText() : QString(); });
    OscController::ShowInputs inputs;
    inputs.dmxSources = [this] {
        std::vector<OscArguments> answers;
        for (const DmxSourceStatus& source : dmx_->sources()) {
            answers.push_back(
                {OscArgument::int32(source.universe),
                 OscArgument::text(source.protocol == DmxProtocol::sacn ? "sacn" : "artnet"),
                 OscArgument::text(source.name), OscArgument::int32(source.priority),
                 OscArgument::float32(static_cast<float>(source.packetsPerSecond))});
        }
        return answers;
    };
    inputs.timecode = [this]() -> std::optional<OscArguments> {
        const std::optional<TimecodeChase::Position> time = dmx_->timecode();
        if (!time) {
            return std::nullopt;
        }
        constexpr const char* states[] = {"waiting", "running", "freewheeling", "stopped"};
        const bool known = time->state != TimecodeChase::State::none;
        return OscArguments{
            OscArgument::text(known ? timecodeText(time->timecode) : std::string()),
            OscArgument::text(known ? std::string(rateName(time->rate)) : std::string()),
            OscArgument::text(states[static_cast<int>(time->state)])};
    };
    remote_->setShowInputs(std::move(inputs));
    showCues_->buildMenu(mainWindow_->menuBar());
    commands_->buildHelpMenu(mainWindow_->menuBar());
    cuesDock_ = new CuesDock(*adapter_, *showCues_, mainWindow_.get());
    // Under the editor and the inspector: the list has the window's width
    // for its columns, and the canvas keeps its width.
    mainWindow_->addDockWidget(Qt::BottomDockWidgetArea, cuesDock_);
    if (model_.cues().empty()) {
        cuesDock_->hide();
    }
    QAction* cuesPanel = cuesDock_->toggleViewAction();
    cuesPanel->setShortcutContext(Qt::ApplicationShortcut);
    for (QAction* menu : mainWindow_->menuBar()->actions()) {
        if (menu->menu() != nullptr && menu->text() == tr("&Window")) {
            menu->menu()->addAction(cuesPanel);
        }
    }
    placer_ = std::make_unique<OutputPlacer>(*adapter_, *outputWindows_, mainWindow_.get());
    showNodes_ = std::make_unique<ShowNodes>();
    if (auto* inspector = qobject_cast<InspectorView*>(mainWindow_->inspectorPane())) {
        inspector->outputsSection()->setShowNodes(showNodes_.get());
    }
    if (widgetDialogs != nullptr) {
        widgetDialogs->setParentWindow(mainWindow_.get());
        widgetDialogs->setProjectFile([this] { return model_.documentURL(); });
    }

    connect(commands_->newProject(), &QAction::triggered, this,
            [this] { documents_->newProject(); });
    connect(commands_->open(), &QAction::triggered, this, [this] { documents_->open(); });
    connect(commands_->save(), &QAction::triggered, this, [this] { documents_->save(); });
    connect(commands_->saveAs(), &QAction::triggered, this, [this] { documents_->saveAs(); });
    connect(commands_->relinkMedia(), &QAction::triggered, this,
            [this] { mediaCommands_->relinkMissingMedia(); });
    connect(commands_->collectProject(), &QAction::triggered, this,
            [this] { mediaCommands_->collectProject(); });
    connect(commands_->quit(), &QAction::triggered, this, [this] {
        quitting_ = true;
        mainWindow_->close();
        quitting_ = false;
    });
    connect(commands_->preferences(), &QAction::triggered, this, &PrismetaApp::showPreferences);
    connect(commands_->calibrateOutputs(), &QAction::triggered, this,
            &PrismetaApp::showCalibration);
    connect(commands_->showEditor(), &QAction::triggered, this, &PrismetaApp::showEditor);
    connect(commands_->about(), &QAction::triggered, this, &PrismetaApp::showAbout);
    connect(commands_->hideEditor(), &QAction::triggered, this, [this] {
        if (inShow_) {
            mainWindow_->close(); // hidden, as its close button does in a show
        }
    });
    // Its shortcut reaches the editor from any output window, also while the
    // main window (and so its menus) is hidden; so do the show's keys.
    connect(outputWindows_.get(), &OutputWindowRegistry::windowCreated, this,
            [this](OutputWindow* window) {
                window->addAction(commands_->showEditor());
                // Undo and Redo from the projector, where warps are edited.
                window->addAction(commands_->undo());
                window->addAction(commands_->redo());
                showCues_->addShortcutsTo(*window);
            });

    connect(mainWindow_.get(), &MainWindow::outputRequested, this, &PrismetaApp::openDefaultOutput);
    connect(mainWindow_.get(), &MainWindow::outputWindowRequested, this,
            [this](const Uuid& outputID) { openOutput(outputID); });
    connect(mainWindow_.get(), &MainWindow::openRequested, this, [this] { documents_->open(); });
    connect(mainWindow_.get(), &MainWindow::saveRequested, this, [this] { documents_->save(); });
    mainWindow_->setCloseHandler([this] { return mainWindowMayClose(); });
}

PrismetaApp::~PrismetaApp() {
    remote_.reset(); // no more remote edits while the windows go
    showCues_->setIncomingTimecode(nullptr);
    dmx_.reset(); // no more desk, before the windows that draw its live layer
    warpKeys_.reset();
    // Windows first: they borrow the adapter and the model.
    placer_.reset();
    mainWindow_.reset();
    outputWindows_.reset();
}

void PrismetaApp::show() {
    mainWindow_->show();
}

bool PrismetaApp::openAtLaunch(const std::filesystem::path& file) {
    // Relative to where the application was started, like a shell argument.
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    return documents_->openFile(error ? file : absolute);
}

void PrismetaApp::startShow(const std::filesystem::path& file, std::optional<std::string> cue) {
    inShow_ = true;
    commands_->hideEditor()->setEnabled(true);
    placer_->setShowMode(true);
    prismeta::startShow(model_, *outputWindows_, file);
    if (!showCues_->start(cue)) {
        logLine("Prismeta: no cue matches '" + *cue + "'; the show starts as scheduled");
        showCues_->start(std::nullopt);
    }
}

void PrismetaApp::showEditor() {
    // A follower runs its show without startShow: the placer knows.
    if (placer_->showMode() && !mainWindow_->isVisible()) {
        placeEditorBesideOutputs();
    }
    if (mainWindow_->isMinimized()) {
        mainWindow_->showNormal();
    } else {
        mainWindow_->show();
    }
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void PrismetaApp::placeEditorBesideOutputs() {
    const QRect now = mainWindow_->geometry();
    QScreen* on = QGuiApplication::screenAt(now.center());
    if (!placer_->outputFills(on != nullptr ? on : mainWindow_->screen())) {
        return; // where it was, over no picture
    }
    QScreen* free = placer_->screenWithoutOutput();
    if (free == nullptr) {
        return; // every screen shows an output: it has to go over one
    }
    const QRect area = free->availableGeometry();
    QRect rect(QPoint(), now.size().boundedTo(area.size()));
    rect.moveCenter(area.center());
    mainWindow_->setScreen(free);
    mainWindow_->setGeometry(rect);
}

void PrismetaApp::openDefaultOutput() {
    openOutput(model_.ensureDefaultOutput());
}

void PrismetaApp::openOutput(const std::optional<Uuid>& outputID) {
    outputWindows_->open(outputID);
}

void PrismetaApp::startRemoteControl(std::optional<std::uint16_t> portForThisRun) {
    if (portForThisRun) {
        remote_->start(OscServerConfig{*portForThisRun, false}, RemoteControl::Origin::commandLine);
        return;
    }
    const RemoteControlPreferences prefs = readRemoteControlPreferences(*applicationSettings());
    if (prefs.enabled) {
        remote_->start(prefs.serverConfig());
    }
}

void PrismetaApp::startDmx(const std::optional<DmxReceiverConfig>& configForThisRun) {
    // A failure is one log line: a show started at login runs on without
    // the desk rather than ending (and being started again, forever) while
    // another program holds a port or an interface is not up yet.
    if (configForThisRun) {
        (void)dmx_->start(*configForThisRun, DmxInput::Origin::commandLine);
        return;
    }
    const DmxPreferences prefs = readDmxPreferences(*applicationSettings());
    if (prefs.enabled) {
        (void)dmx_->start(prefs.receiverConfig());
    }
}

void PrismetaApp::startTimecode(std::optional<TimecodeSource> sourceForThisRun,
                                std::optional<std::string> ltcInput) {
    const TimecodePreferences prefs = readTimecodePreferences(*applicationSettings());
    if (!sourceForThisRun && !prefs.chase) {
        return;
    }
    const TimecodeSource source = sourceForThisRun.value_or(prefs.source);
    (void)dmx_->startTimecode(source, ltcInput.value_or(prefs.ltcInput), prefs.freewheelFrames);
}

void PrismetaApp::showPreferences() {
    const std::unique_ptr<QSettings> settings = applicationSettings();
    PreferencesDialog dialog(*remote_, *settings, mainWindow_.get());
    auto* dmx = new DmxPreferencesPane(*dmx_, *settings, &dialog);
    dialog.addSection(dmx, [dmx] { return dmx->apply(); });
    dialog.exec();
    showCues_->runner().setBlackoutFade(readBlackoutFade(*settings));
}

void PrismetaApp::showAbout() {
    // The version main() gave the application: the project's, set once in CMake.
    auto* box = new QMessageBox(
        QMessageBox::NoIcon, tr("About Prismeta"),
        tr("<h3>Prismeta %1</h3>"
           "<p>Projection mapping and show control: surfaces and their warps, outputs "
           "with edge blends, cues, remote control, DMX, timecode and camera "
           "calibration.</p>"
           "<p>Running on Qt %2.</p>")
            .arg(QCoreApplication::applicationVersion().toHtmlEscaped(),
                 QString::fromLatin1(qVersion())),
        QMessageBox::Ok, mainWindow_.get());
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

CalibrationDialog* PrismetaApp::calibrationDialog() const {
    return calibration_.data();
}

void PrismetaApp::showCalibration() {
    if (!mainWindow_->isVisible()) {
        showEditor();
    }
    if (calibration_) {
        calibration_->raise();
        calibration_->activateWindow();
        return;
    }
    const std::unique_ptr<QSettings> settings = applicationSettings();
    const std::filesystem::path dataFolder =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString();
    auto* dialog = new CalibrationDialog(
        *adapter_, *outputWindows_, readCalibrationSettings(*settings),
        [this] { placer_->followScreens(); }, dataFolder, mainWindow_.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The editor waits while it is open; the output windows (and the show's
    // keys on them) do not.
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &CalibrationDialog::settingsChosen, this,
            [](const CalibrationSettings& chosen) {
                writeCalibrationSettings(*applicationSettings(), chosen);
            });
    calibration_ = dialog;
    dialog->show();
}

bool PrismetaApp::mainWindowMayClose() {
    if (inShow_ && !quitting_) {
        // The show goes on without the editor.
        mainWindow_->hide();
        return false;
    }
    if (!documents_->mayDiscardChanges()) {
        return false;
    }
    // The main window is the application: its output windows close with it,
    // and with the last window closed Qt ends the event loop.
    outputWindows_->closeAll();
    return true;
}

} // namespace prismeta
