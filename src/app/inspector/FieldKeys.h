#pragma once

class QLineEdit;

namespace prismeta {

// What an inspector text field does with the keys that belong to the project.
//
// Undo and Redo (Ctrl+Z, Ctrl+Shift+Z) are the project's: a field takes them
// only while it has typing of its own to undo or redo, and otherwise lets
// them through to the application's commands. Every value the model sends a
// field starts its text history afresh (FieldUpdates), so undoing typing
// never goes past what the model holds.
//
// Return commits the field as before, then hands the keyboard back to the
// editor (the inspector announces the commit; the main window moves the
// focus), so the arrow keys nudge the selected surface again.
//
// Interface thread only. The filter is a child of the field and goes with it.
void installFieldKeys(QLineEdit* field);

} // namespace prismeta
