#pragma once

#include "app/dmx/DmxPreferences.h"
#include "core/ProjectModel.h"
#include "core/Uuid.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

class AppCommands;
class CalibrationDialog;
class DocumentController;
class DocumentDialogs;
class MainWindow;
class MediaCommands;
class MissingMediaWatcher;
class ModelAdapter;
class OutputPlacer;
class OutputWindowRegistry;
class RemoteControl;
class ShowCues;
class ShowNodes;
class WarpKeys;
class CuesDock;
class DmxInput;

// The application: the one ProjectModel of the process, the adapter that
// bridges its notifications to Qt, the menu commands, the main window and the
// output windows, and the placer that puts those on their screens. Closing the
// main window (or Quit) asks about unsaved changes, then closes the output
// windows and ends the application. In a show the main window starts hidden,
// Show Editor brings it back (on a screen no output fills, when there is
// one) and closing it hides it again; Quit still ends the application.
//
// Interface thread only; made after QApplication and destroyed before it.
// Owns everything it makes; the main window is deleted with it.
class PrismetaApp : public QObject {
    Q_OBJECT

public:
    // With the modal Qt dialogs.
    PrismetaApp();
    // With other dialogs (tests pass scripted ones).
    explicit PrismetaApp(std::unique_ptr<DocumentDialogs> dialogs);
    ~PrismetaApp() override;

    ProjectModel& model() { return model_; }
    ModelAdapter& adapter() const { return *adapter_; }
    AppCommands& commands() const { return *commands_; }
    MainWindow& mainWindow() const { return *mainWindow_; }
    OutputWindowRegistry& outputWindows() const { return *outputWindows_; }
    OutputPlacer& placer() const { return *placer_; }
    DocumentController& documents() const { return *documents_; }
    DocumentDialogs& dialogs() const { return *dialogs_; }
    MediaCommands& mediaCommands() const { return *mediaCommands_; }
    MissingMediaWatcher& missingMedia() const { return *missingMedia_; }
    RemoteControl& remoteControl() const { return *remote_; }
    ShowCues& showCues() const { return *showCues_; }
    // The machines of the show this one leads, for the inspector's output
    // cards; empty unless it leads.
    ShowNodes& showNodes() const { return *showNodes_; }
    DmxInput& dmxInput() const { return *dmx_; }

    void show();
    // The project named on the command line; a failure is reported like a
    // failed Open… and leaves the empty project.
    bool openAtLaunch(const std::filesystem::path& file);
    // Runs a show of `file` instead of showing the main window (ShowMode.h).
    // cue: where the show starts (number from 1, name or id); otherwise the
    // cue the schedule puts in force, otherwise the first.
    void startShow(const std::filesystem::path& file,
                   std::optional<std::string> cue = std::nullopt);
    bool inShow() const { return inShow_; }
    void showEditor();

    // The toolbar's output button: the first output (made if there is none).
    void openDefaultOutput();
    void openOutput(const std::optional<Uuid>& outputID);

    // Remote control over OSC: on `portForThisRun` when given (the command
    // line's --osc-port, on the loopback address, this run only), otherwise as
    // the preferences say. Off until called, so tests start it themselves.
    void startRemoteControl(std::optional<std::uint16_t> portForThisRun);
    // DMX input from a lighting desk: with `configForThisRun` when given (the
    // command line's --dmx), otherwise as the preferences say; and timecode
    // chase as the preferences say unless `timecodeForThisRun` (--timecode,
    // --ltc-input) is given. Off until called, so tests start it themselves.
    // What cannot run is one log line, and the rest of the application runs.
    void startDmx(const std::optional<DmxReceiverConfig>& configForThisRun);
    void startTimecode(std::optional<TimecodeSource> sourceForThisRun,
                       std::optional<std::string> ltcInput);
    // "Preferences…", modal.
    void showPreferences();
    // Output > Calibrate Outputs…: the dialog, over the editor (shown for
    // it in a show); the open one is brought to the front.
    void showCalibration();
    CalibrationDialog* calibrationDialog() const;
    // Help > About Prismeta: the version, window-modal over the editor.
    void showAbout();

private:
    bool mainWindowMayClose();
    // In a show: the editor goes to a screen no output fills, when there
    // is one, rather than over a live picture.
    void placeEditorBesideOutputs();

    ProjectModel model_;
    std::unique_ptr<DocumentDialogs> dialogs_;
    std::unique_ptr<ModelAdapter> adapter_;
    std::unique_ptr<ShowCues> showCues_;
    std::unique_ptr<MissingMediaWatcher> missingMedia_;
    std::unique_ptr<MediaCommands> mediaCommands_;
    std::unique_ptr<DocumentController> documents_;
    std::unique_ptr<AppCommands> commands_;
    std::unique_ptr<OutputWindowRegistry> outputWindows_;
    std::unique_ptr<WarpKeys> warpKeys_; // borrows outputWindows_
    std::unique_ptr<MainWindow> mainWindow_;
    std::unique_ptr<RemoteControl> remote_;
    std::unique_ptr<DmxInput> dmx_;
    std::unique_ptr<OutputPlacer> placer_;
    std::unique_ptr<ShowNodes> showNodes_;
    CuesDock* cuesDock_ = nullptr;            // owned by the main window
    QPointer<CalibrationDialog> calibration_; // owned by the main window
    bool inShow_ = false;
    bool quitting_ = false;
};

} // namespace prismeta
