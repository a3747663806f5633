#pragma once

#include "core/Uuid.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QScreen;

namespace prismeta {

class ModelAdapter;
class OutputView;

// A projector window: one OutputView, titled by the output's name. F11 or a
// double click toggles full screen on the screen the window is on, Escape
// leaves it, the context menu offers full screen on each connected screen
// (then the window's own actions, such as Show Editor), and the pointer is
// hidden over a full-screen output (over every output in a show). What the
// user does to place the window (those commands, or dragging it onto another
// screen) is reported with placedByUser; placements by the application
// (showFullScreenOn, showWindowedAt) are not. Closing it deletes it,
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

    // The user's commands; each reports where the window ended up.
    void toggleFullScreen();
    void enterFullScreen(QScreen* screen);
    void leaveFullScreen();

    // Placement by the application. Full screen also sets the window's
    // geometry to the screen's, which is all there is to full screen where
    // no window manager runs (a kiosk session).
    void showFullScreenOn(QScreen* screen);
    void showWindowedAt(QScreen* screen, const QRect& rect);

    // Hides the pointer over the window whether or not it is full screen.
    void setPointerAlwaysHidden(bool hidden);

    // One small line of text over the picture's bottom left corner (what a
    // machine that follows a show waits for); empty: none.
    void setNotice(const QString& text);
    QString notice() const;

    // The context menu's label for a screen: "Full Screen On " and its name.
    static QString fullScreenLabel(const QScreen* screen);

signals:
    // The window was closed; it deletes itself on the next event-loop turn.
    void closed();
    // The user put the window on `screen`, full screen or as a window.
    void placedByUser(QScreen* screen, bool fullScreen);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void applyTitle(const QString& name);
    void updateCursor();
    void placeNotice();
    void onScreenChanged(QScreen* screen);
    QRect windowedRectOn(QScreen* screen) const;

    OutputView* view_;
    QLabel* notice_ = nullptr;
    // The screen the last placement aimed at: a change to another screen
    // while it is still connected is the user's doing.
    QPointer<QScreen> intendedScreen_;
    // The window's rectangle before it last went full screen.
    QRect normalGeometry_;
    bool pointerAlwaysHidden_ = false;
    bool watchingScreen_ = false;
};

} // namespace prismeta
