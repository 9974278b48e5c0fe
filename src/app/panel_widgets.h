// Small builders the console's panels share: entries, buttons and lists with their object
// names, and label/field rows. UI thread only.
#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace panel {

// An entry named `name`; a read-only one gets the read-only look.
QLineEdit* Entry(QWidget* parent, const char* name, bool readOnly = false);
// A button that never becomes the default by taking focus.
QPushButton* Button(QWidget* parent, const QString& text, const char* name);
// A drop-down list with `items` and no item selected.
QComboBox* List(QWidget* parent, const char* name, const QStringList& items);
// A plain label (units), optionally named.
QLabel* Text(QWidget* parent, const QString& text, const char* name = nullptr);
// Label (naming the field), field and optional unit on one grid row from `column`.
void Row(QGridLayout* grid, int row, int column, const QString& label, QWidget* field,
         QLabel* unit = nullptr);

}  // namespace panel
