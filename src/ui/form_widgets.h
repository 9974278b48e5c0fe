// Small builders every window's form shares: buttons that never become the default by taking
// focus, lists with no item selected, named labels, and label / field / unit rows whose label
// names its field. UI thread only.
#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace form {

// A button named `name`.
QPushButton* Button(QWidget* parent, const QString& text, const char* name);
// A drop-down list with `items` and no item selected.
QComboBox* List(QWidget* parent, const char* name, const QStringList& items);
// A plain label (a unit or a note), named when `name` is given.
QLabel* Text(QWidget* parent, const QString& text, const char* name = nullptr);
// Label (naming the field), field and optional unit on one grid row from `column`; returns
// the label.
QLabel* Row(QGridLayout* grid, int row, int column, const QString& label, QWidget* field,
            QLabel* unit = nullptr);

}  // namespace form
