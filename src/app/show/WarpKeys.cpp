#include "app/show/WarpKeys.h"

#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/WarpOverlay.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace prismeta {

namespace {

bool isWarpKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier;
    case Qt::Key_Tab:
        return modifiers == Qt::NoModifier;
    case Qt::Key_Backtab:
        return modifiers == Qt::ShiftModifier || modifiers == Qt::NoModifier;
    default:
        return false;
    }
}

// Whether `widget` lies in an output window (which handles its keys itself).
bool inOutputWindow(const QWidget* widget) {
    return widget != nullptr && qobject_cast<const OutputWindow*>(widget->window()) != nullptr;
}

} // namespace

bool takesArrowKeys(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
           qobject_cast<const QTextEdit*>(widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
           qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractSlider*>(widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(widget) != nullptr;
}

WarpKeys::WarpKeys(OutputWindowRegistry& windows, QObject* parent)
    : QObject(parent), windows_(windows) {
    qApp->installEventFilter(this);
}

WarpKeys::~WarpKeys() {
    qApp->removeEventFilter(this);
}

WarpOverlay* WarpKeys::target() const {
    if (last_ && last_->editing()) {
        return last_.data();
    }
    for (OutputWindow* window : windows_.openWindows()) {
        WarpOverlay* overlay = window->view()->warpOverlay();
        if (overlay != nullptr && overlay->editing()) {
            return overlay;
        }
    }
    return nullptr;
}

bool WarpKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::FocusIn && type != QEvent::MouseButtonPress) ||
        !watched->isWidgetType()) {
        return QObject::eventFilter(watched, event);
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (auto* overlay = qobject_cast<WarpOverlay*>(widget);
        overlay != nullptr && type != QEvent::MouseButtonPress) {
        last_ = overlay; // the operator works in that window
        return QObject::eventFilter(watched, event);
    }
    if (type == QEvent::FocusIn || inOutputWindow(widget)) {
        return QObject::eventFilter(watched, event);
    }
    WarpOverlay* overlay = target();
    if (overlay == nullptr) {
        return QObject::eventFilter(watched, event);
    }
    if (type == QEvent::MouseButtonPress) {
        // Working elsewhere: the next nudge is an undo step of its own.
        if (WarpEditing* rules = overlay->editingRules()) {
            rules->endNudges();
        }
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    // The widget the key was meant for: its window's focus (the event may
    // be on its way up through the parents), else the one it is sent to.
    const QWidget* focus = widget->window()->focusWidget();
    const QWidget* at = focus != nullptr ? focus : widget;
    if (!isWarpKey(*key) || takesArrowKeys(at) || qobject_cast<const QDialog*>(at->window()) ||
        QApplication::activePopupWidget() != nullptr) {
        return QObject::eventFilter(watched, event);
    }
    QKeyEvent forwarded(QEvent::KeyPress, key->key(), key->modifiers(), key->text(),
                        key->isAutoRepeat(), key->count());
    QCoreApplication::sendEvent(overlay, &forwarded);
    event->accept();
    return true;
}

} // namespace prismeta
