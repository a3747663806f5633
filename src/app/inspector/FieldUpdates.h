#pragma once

#include <QString>

class QLineEdit;

namespace prismeta {

// The rule by which the model's values reach the inspector's text fields
// without interrupting the user: a field that has focus and has been typed
// in since it last showed the model keeps its text, caret and focus. The
// update emits nothing (the field's signals are blocked), and resets the
// field's modified flag, so only the user's typing counts as an edit.
//
// Interface thread only.

// Whether the user is typing in the field.
bool isBeingEdited(const QLineEdit* field);

// Shows `text` unless the field is being edited; `force` shows it anyway
// (the field committed its edit, or now belongs to another surface) and
// starts the field's text history afresh, so undoing later typing stops at
// what the model holds.
void showFieldText(QLineEdit* field, const QString& text, bool force = false);

} // namespace prismeta
