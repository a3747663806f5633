#pragma once

#include "app/show/ScreenList.h"
#include "core/OutputDisplay.h"

#include <QComboBox>

#include <optional>

namespace prismeta {

// The screen an output's window goes to, chosen among the screens connected
// now: "None" first, then one item per screen ("HDMI-1, 1920 × 1080"), and,
// while the output's screen is not connected, an item for it ("HDMI-1 (not
// connected)") so the assignment stays visible. The list follows screens as
// they come and go.
//
// Every change of the current item (pointer, keyboard, accessibility,
// setCurrentIndex) reports the new display once through displayChosen;
// showDisplay() reports nothing. Choosing a screen keeps the display's
// full-screen flag (full screen for an output placed for the first time).
// The wheel turns through the items only once the picker has the focus, so
// scrolling the inspector past it moves no output to another screen.
//
// Interface thread only.
class DisplayPicker : public QComboBox {
    Q_OBJECT

public:
    explicit DisplayPicker(QWidget* parent = nullptr);

    // The model's display for this output.
    void showDisplay(const std::optional<OutputDisplay>& display);

    // The item that shows a connected screen, by its name; -1 if none.
    int itemOfScreen(const QString& name) const;

signals:
    void displayChosen(const std::optional<prismeta::OutputDisplay>& display);

private:
    void rebuild();
    void onIndexChanged(int index);

    std::optional<OutputDisplay> shown_;
    ScreenList screens_;
    bool rebuilding_ = false;
};

} // namespace prismeta
