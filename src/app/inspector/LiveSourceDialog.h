#pragma once

#include "app/inspector/InspectorDialogs.h"
#include "media/CaptureDevices.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace prismeta {

// "Live Source…": a capture device of this computer, in one of the sizes and
// at one of the frame rates it offers (or as it comes), or a network
// stream's address with the latency to allow it. The devices are looked for
// on a thread of their own when the dialog opens (each is opened briefly),
// and the list says so meanwhile. OK is enabled only for a source a live
// surface can show; the line under the choices says what is missing.
//
// Interface thread only.
class LiveSourceDialog : public QDialog {
    Q_OBJECT

public:
    using DeviceFinder = std::function<std::vector<CaptureDevice>()>;

    explicit LiveSourceDialog(const LiveSourceChoice& current,
                              DeviceFinder finder = findCaptureDevices, QWidget* parent = nullptr);

    // What the controls say now; none while they name no source.
    std::optional<LiveSourceChoice> choice() const;
    // Whether the search for devices has ended.
    bool devicesListed() const { return listed_; }

    QRadioButton* deviceButton() const { return deviceButton_; }
    QRadioButton* streamButton() const { return streamButton_; }
    QComboBox* deviceBox() const { return device_; }
    QComboBox* modeBox() const { return mode_; }
    QComboBox* rateBox() const { return rate_; }
    QLineEdit* urlField() const { return url_; }
    QSpinBox* latencyBox() const { return latency_; }
    QLabel* problemLabel() const { return problem_; }
    QPushButton* okButton() const { return ok_; }

signals:
    // The search for devices has ended and the list shows what it found.
    void devicesFound();

private:
    void showDevices(std::vector<CaptureDevice> devices);
    void showModes();
    void showRates();
    void update();
    const CaptureDevice* selectedDevice() const;
    const CaptureMode* selectedMode() const;

    LiveSourceChoice current_;
    std::vector<CaptureDevice> devices_;
    bool listed_ = false;
    bool kindChosen_ = false; // the user picked device or stream: the search leaves it

    QRadioButton* deviceButton_;
    QRadioButton* streamButton_;
    QComboBox* device_;
    QComboBox* mode_;
    QComboBox* rate_;
    QLineEdit* url_;
    QSpinBox* latency_;
    QLabel* problem_;
    QPushButton* ok_;
};

} // namespace prismeta
