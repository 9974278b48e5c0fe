// Small builders the parameter pages share: entries with their object names and 16-character
// limit, buttons that never take the default by focus, lists with no item selected, and
// label / field / unit rows. UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace page {

// The longest text a page's entry takes.
constexpr int kEntryLength = 16;

// An entry named `name` that takes at most `maxLength` characters (0: no limit).
QLineEdit* Entry(QWidget* parent, const char* name, int maxLength = kEntryLength);
// A button named `name`.
QPushButton* Button(QWidget* parent, const QString& text, const char* name);
// A drop-down list with `items` and no item selected.
QComboBox* List(QWidget* parent, const char* name, const QStringList& items);
// A plain label (a unit or a note), named when `name` is given.
QLabel* Text(QWidget* parent, const QString& text, const char* name = nullptr);
// Label (naming the field), field and optional unit on one grid row; returns the label.
QLabel* Row(QGridLayout* grid, int row, const QString& label, QWidget* field,
            QLabel* unit = nullptr);

// Texts between the core (UTF-8 std::string) and the widgets.
inline QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}
inline std::string S(const QString& text) {
    return text.toStdString();
}

}  // namespace page
