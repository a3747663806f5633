#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace prismeta {

class OutputWindowRegistry;
class WarpOverlay;

// While an output's warp is edited, its handles own the arrow keys (Shift:
// ten pixels), Tab and Shift+Tab wherever the operator works, not only in
// the output's window: pressed in any other window of the application (the
// editor, a button of the output card just clicked) they go to the warp
// overlay that last took the keys, else to the first open window whose warp
// is edited. Keys stay where they are in a field that takes them for its own
// value (text, numbers, lists, sliders), in dialogs and in open menus. A mouse press
// outside the output windows ends the run of nudges (a new undo step).
//
// An application-wide event filter. Interface thread only. Borrows the
// registry, which must outlive it.
class WarpKeys : public QObject {
    Q_OBJECT

public:
    explicit WarpKeys(OutputWindowRegistry& windows, QObject* parent = nullptr);
    ~WarpKeys() override;

    // The overlay the keys would go to now; null when no warp is edited.
    WarpOverlay* target() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    OutputWindowRegistry& windows_;
    QPointer<WarpOverlay> last_;
};

// Whether `widget` takes the arrow keys for a value of its own (a text or
// number field, a list, a slider, a combo box).
bool takesArrowKeys(const QWidget* widget);

} // namespace prismeta
