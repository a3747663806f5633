#pragma once

#include "app/remote/RemoteControlSettings.h"

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QDialogButtonBox;
class QLabel;
class QRadioButton;
class QScrollArea;
class QSettings;
class QSpinBox;

namespace prismeta {

class RemoteControl;

// "Preferences…": remote control over OSC, and the show's blackout fade and
// how long a live surface holds its last picture. "Enable OSC", the port and
// where to listen (this computer only, or every network interface), with a line saying what the
// server is doing now. OK saves the choice in the settings and applies it at once (starting,
// restarting or stopping the server) when it differs from what the dialog opened with, so a server
// started for this run by --osc-port keeps running unless the user changes something; Cancel
// changes nothing. The sections scroll together above the buttons: the
// dialog opens large enough to show every one whole, within the screen, and
// scrolls when the screen is smaller.
//
// Interface thread only. Borrows the remote control and the settings, which
// must outlive it.
class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    PreferencesDialog(RemoteControl& remote, QSettings& settings, QWidget* parent = nullptr);

    QCheckBox* enableBox() const { return enable_; }
    QSpinBox* portBox() const { return port_; }
    QRadioButton* loopbackButton() const { return loopback_; }
    QRadioButton* allInterfacesButton() const { return allInterfaces_; }
    QLabel* statusLabel() const { return status_; }
    QDoubleSpinBox* blackoutFadeBox() const { return blackoutFade_; }
    QDoubleSpinBox* liveHoldBox() const { return liveHold_; }

    // What the controls say now.
    RemoteControlPreferences chosen() const;

    // Another section of preferences (DMX, timecode) above the buttons;
    // `apply` runs on OK and keeps the dialog open when it returns false (its
    // section says why).
    void addSection(QWidget* section, std::function<bool()> apply);

    void accept() override;
    void setVisible(bool visible) override;
    // A wheel over a number box that is not being edited scrolls the
    // sections instead of changing the number.
    bool eventFilter(QObject* watched, QEvent* event) override;

    QScrollArea* scrollArea() const { return scroll_; }

private:
    // Every section whole at a readable width, within the screen's free area.
    void fitToScreen();

    void showStatus(const QString& problem = QString());
    void enableControls();

    RemoteControl& remote_;
    QSettings& settings_;
    QCheckBox* enable_;
    QSpinBox* port_;
    QRadioButton* loopback_;
    QRadioButton* allInterfaces_;
    QLabel* status_;
    QDoubleSpinBox* blackoutFade_;
    QDoubleSpinBox* liveHold_;
    QDialogButtonBox* buttons_;
    QScrollArea* scroll_;
    QWidget* body_;
    bool fitted_ = false;
    RemoteControlPreferences opened_;
    std::vector<std::function<bool()>> sections_;
};

} // namespace prismeta
