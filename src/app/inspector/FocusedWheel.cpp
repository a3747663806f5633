#include "app/inspector/FocusedWheel.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace prismeta {

namespace {

// Owned by the control it watches.
class FocusedWheelFilter final : public QObject {
public:
    explicit FocusedWheelFilter(QWidget* control) : QObject(control), control_(control) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == control_ && event->type() == QEvent::Wheel && !control_->hasFocus()) {
            event->ignore(); // handed on to the widgets around, the panel's scroll area
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* control_;
};

} // namespace

void takeWheelOnlyWhenFocused(QWidget* control) {
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new FocusedWheelFilter(control));
}

} // namespace prismeta
