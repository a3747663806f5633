#pragma once

#include "core/Uuid.h"

#include <QWidget>

#include <optional>

class QScreen;

namespace prismeta {

class ModelAdapter;
class OutputView;

// A projector window: one OutputView, titled by the output's name. F11 or a
// double click toggles full screen on the screen the window is on, Escape
// leaves it, the context menu offers full screen on each connected screen,
// and the pointer is hidden over a full-screen output. Closing it deletes it,
// releasing its renderer and media; the model is left as it was.
//
// Interface thread only. Borrows the adapter (and model), which must outlive
// it. Made and tracked by OutputWindowRegistry.
class OutputWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int defaultWidth = 960;
    static constexpr int defaultHeight = 540;

    OutputWindow(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent = nullptr);

    OutputView* view() const { return view_; }
    const std::optional<Uuid>& outputID() const;

    void toggleFullScreen();
    void enterFullScreen(QScreen* screen);
    void leaveFullScreen();

    // The context menu's label for a screen: "Full Screen On " and its name.
    static QString fullScreenLabel(const QScreen* screen);

signals:
    // The window was closed; it deletes itself on the next event-loop turn.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void applyTitle(const QString& name);
    void updateCursor();

    OutputView* view_;
};

} // namespace prismeta
