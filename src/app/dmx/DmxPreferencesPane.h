#pragma once

#include "app/dmx/DmxPreferences.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSettings;
class QSpinBox;

namespace prismeta {

class DmxInput;

// The DMX and timecode section of Preferences: "Enable DMX input", where to
// listen (this computer only, or every network interface), Art-Net and
// sACN, with a line saying what the receiver does now (and whether the
// desk's show master holds every output black) and one line per source
// heard, kept up to date while the section shows; timecode chase, its
// source (Art-Net, or LTC from an audio input) and the freewheel. apply()
// saves the choice and carries it out when it differs from what the section
// opened with, so a receiver started for this run by --dmx keeps running
// unless something is changed.
//
// Interface thread only. Borrows the input and the settings.
class DmxPreferencesPane : public QWidget {
    Q_OBJECT

public:
    DmxPreferencesPane(DmxInput& input, QSettings& settings, QWidget* parent = nullptr);

    QCheckBox* enableBox() const { return enable_; }
    QRadioButton* allInterfacesButton() const { return allInterfaces_; }
    QCheckBox* chaseBox() const { return chase_; }
    QLabel* statusLabel() const { return status_; }
    QLabel* sourcesLabel() const { return sources_; }
    // Reads the receiver's state and its sources again (a timer does it
    // every second while the section is visible).
    void refresh();

    DmxPreferences chosenDmx() const;
    TimecodePreferences chosenTimecode() const;
    // False (the dialog stays open) when the receiver cannot start.
    bool apply();

private:
    void showStatus(const QString& problem = QString());
    void enableControls();

    DmxInput& input_;
    QSettings& settings_;
    QCheckBox* enable_;
    QRadioButton* loopback_;
    QRadioButton* allInterfaces_;
    QCheckBox* artNet_;
    QCheckBox* sacn_;
    QLabel* status_;
    QLabel* sources_;
    QTimer refresher_;
    QString problem_;
    QCheckBox* chase_;
    QRadioButton* fromArtNet_;
    QRadioButton* fromLtc_;
    QLineEdit* ltcInput_;
    QSpinBox* freewheel_;
    DmxPreferences openedDmx_;
    TimecodePreferences openedTimecode_;
};

} // namespace prismeta
