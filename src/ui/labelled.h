// Labels that name their field: the label becomes the field's buddy and its text (trimmed)
// the field's accessible name, so screen readers and tools that drive a window from outside
// find an entry, list or check box by the words next to it. UI thread only.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

// A label with `text` for `field`, a child of `parent`.
QLabel* LabelFor(const QString& text, QWidget* field, QWidget* parent);
// Names `field` after `label`'s text and makes it the label's buddy.
void NameAfterLabel(QLabel* label, QWidget* field);

// Makes an entry show values only: read-only, drawn on the window's colour instead of the
// entry colour so it does not invite typing, no caret; its text can still be selected and
// copied.
void MakeReadOnlyLook(QLineEdit* edit);
