#pragma once

#include "app/show/ScreenList.h"
#include "core/OutputDisplay.h"

#include <QComboBox>

#include <optional>
#include <string>
#include <vector>

namespace prismeta {

// The screen an output's window goes to, chosen among the screens connected
// now: "None" first, then one item per screen ("HDMI-1, 1920 × 1080"), and,
// while the output's screen is not connected, an item for it ("HDMI-1 (not
// connected)") so the assignment stays visible. The list follows screens as
// they come and go. For an output that another machine of the show shows
// (showNode), the list is that machine's screens as it reports them.
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

    // The machine whose screens are listed, with those screens; none: this
    // machine's own.
    struct Node {
        std::string name;
        std::vector<Screen> screens;

        friend bool operator==(const Node&, const Node&) = default;
    };
    void showNode(const std::optional<Node>& node);

    // The item that shows a connected screen, by its name; -1 if none.
    int itemOfScreen(const QString& name) const;

signals:
    void displayChosen(const std::optional<prismeta::OutputDisplay>& display);

private:
    void rebuild();
    void onIndexChanged(int index);

    std::optional<OutputDisplay> shown_;
    std::optional<Node> node_;
    // The screens listed; handles only for this machine's own.
    ScreenList screens_;
    bool rebuilding_ = false;
};

} // namespace prismeta
