#include "app/inspector/FieldKeys.h"

#include "app/inspector/InspectorView.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>

namespace prismeta {

namespace {

bool isUndo(const QKeyEvent* event) {
    return event->matches(QKeySequence::Undo);
}

bool isRedo(const QKeyEvent* event) {
    // The Redo command's own chord, whatever the platform's Redo keys are.
    return event->matches(QKeySequence::Redo) ||
           event->keyCombination() ==
               QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
}

InspectorView* inspectorOf(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (auto* inspector = qobject_cast<InspectorView*>(w)) {
            return inspector;
        }
    }
    return nullptr;
}

class FieldKeyFilter final : public QObject {
public:
    explicit FieldKeyFilter(QLineEdit* field) : QObject(field), field_(field) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != field_ ||
            (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        const bool fieldsOwn = (isUndo(key) && field_->isUndoAvailable()) ||
                               (isRedo(key) && field_->isRedoAvailable());
        if ((isUndo(key) || isRedo(key)) && !fieldsOwn) {
            // Not accepted as an override: the chord goes to the project's
            // command. Should it come as a key press anyway (the command is
            // disabled), the field does nothing with it.
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            // Announced once the field has committed (its own handling of
            // this key comes next).
            if (InspectorView* inspector = inspectorOf(field_)) {
                QMetaObject::invokeMethod(inspector, &InspectorView::reportEditCommitted,
                                          Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    QLineEdit* field_;
};

} // namespace

void installFieldKeys(QLineEdit* field) {
    field->installEventFilter(new FieldKeyFilter(field));
}

} // namespace prismeta
