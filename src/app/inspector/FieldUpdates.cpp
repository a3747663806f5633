#include "app/inspector/FieldUpdates.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace prismeta {

bool isBeingEdited(const QLineEdit* field) {
    return field->hasFocus() && field->isModified();
}

void showFieldText(QLineEdit* field, const QString& text, bool force) {
    if (!force && isBeingEdited(field)) {
        return;
    }
    if (!force && field->text() == text) {
        field->setModified(false);
        return;
    }
    const QSignalBlocker blocker(field);
    field->setText(text); // also clears the modified flag and the text history
}

} // namespace prismeta
