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
//   every screen has one, so that it never covers a live picture;
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

    // The placement last applied to an open window.
    std::optional<OutputPlacement> placement(const OutputWindow* window) const;

    // Follows the screens now instead of on the next turn of the event loop.
    void followScreens();

private:
    struct Tracked {
        QPointer<OutputWindow> window;
        std::optional<OutputDisplay> seen;
        OutputPlacement applied;
    };

    void watchScreen(QScreen* screen);
    void scheduleFollow();
    void track(OutputWindow* window);
    void onModelChanged(const ModelChanges& changes);
    void onPlacedByUser(OutputWindow* window, QScreen* screen, bool fullScreen);
    Tracked* find(const OutputWindow* window);
    std::optional<OutputDisplay> displayOf(const OutputWindow& window) const;
    OutputPlacement plan(const Tracked* self, const std::optional<OutputDisplay>& display,
                         const ScreenList& list) const;
    void apply(Tracked& tracked, const OutputPlacement& placement, const ScreenList& list);

    ModelAdapter& adapter_;
    QPointer<QWidget> mainWindow_;
    bool showMode_ = false;
    std::vector<Tracked> windows_;
    QTimer follow_;
};

} // namespace prismeta
