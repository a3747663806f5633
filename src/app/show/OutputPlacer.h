#pragma once

#include "core/OutputDisplay.h"
#include "placement/OutputPlacement.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>
#include <vector>

class QScreen;
class QWidget;

namespace prismeta {

class ModelAdapter;
class ModelChanges;
class OutputWindow;
class OutputWindowRegistry;
struct ScreenList;

// Puts output windows where their outputs' displays say, and keeps them
// there as screens come and go:
// - a new window goes to its output's screen, full screen when the display
//   says so (always in a show); without a display, or while its screen is
//   not connected, it opens wholly on the fallback screen (the main
//   window's; in a show the primary screen, which an unplaced output fills);
// - when a screen is connected or removed or changes size, the windows whose
//   screen it is move: a window whose screen went away waits on the fallback
//   screen and goes back, full screen, when the screen returns; in a show it
//   waits only on a screen no other output window fills, and hidden when
//   every screen has one, so that it never covers a live picture; windows
//   waiting on one screen stand side by side;
// - on a machine that follows a show (setStandIn), an output whose screen
//   this machine does not have, or that has none, fills a screen of its own
//   that no other output fills, in the project's order, and says so in one
//   line; it goes to its named screen when that one appears;
// - a display chosen in the inspector moves the open window; "None" leaves it
//   where it is.
// What the user does to a window (full screen on a screen, leaving it,
// dragging it onto another screen) is written into its output's display.
// Like every output edit that marks the project changed and is not undoable.
// In a show the pointer is hidden over every output window and each move is
// logged, so that a show machine's journal says where its outputs went.
//
// Interface thread only. Borrows the adapter (and model), the registry and
// the main window, which must outlive it.
class OutputPlacer : public QObject {
    Q_OBJECT

public:
    OutputPlacer(ModelAdapter& adapter, OutputWindowRegistry& registry, QWidget* mainWindow,
                 QObject* parent = nullptr);

    void setShowMode(bool showMode);
    bool showMode() const { return showMode_; }
    // For a machine that follows a show (PlacementRules::standIn).
    void setStandIn(bool standIn);

    // A connected screen that no output window fills, the primary first;
    // null when every screen shows an output.
    QScreen* screenWithoutOutput() const;
    // Whether an output window fills `screen`.
    bool outputFills(const QScreen* screen) const;

    // The placement last applied to an open window.
    std::optional<OutputPlacement> placement(const OutputWindow* window) const;

    // Follows the screens now instead of on the next turn of the event loop.
    void followScreens();

private:
    struct Tracked {
        QPointer<OutputWindow> window;
        std::optional<OutputDisplay> seen;
        OutputPlacement applied;
        // Closed by the user or the application; Qt deletes it a turn later.
        bool closed = false;
    };

    void watchScreen(QScreen* screen);
    void scheduleFollow();
    void track(OutputWindow* window);
    void onModelChanged(const ModelChanges& changes);
    void onPlacedByUser(OutputWindow* window, QScreen* screen, bool fullScreen);
    Tracked* find(const OutputWindow* window);
    std::optional<OutputDisplay> displayOf(const OutputWindow& window) const;
    bool isOpen(const Tracked& tracked) const;
    // Where every open window goes now, one placement per entry of windows_
    // (a closed one's is Mode::none).
    std::vector<OutputPlacement> plan(const ScreenList& list) const;
    void apply(Tracked& tracked, const OutputPlacement& placement, const ScreenList& list);

    ModelAdapter& adapter_;
    QPointer<QWidget> mainWindow_;
    bool showMode_ = false;
    bool standIn_ = false;
    std::vector<Tracked> windows_;
    QTimer follow_;
};

} // namespace prismeta
