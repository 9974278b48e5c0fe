// The parameter pages build their forms with the shared builders; their entries take at most
// 16 characters. UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "ui/form_widgets.h"

class QLineEdit;
class QWidget;

namespace page {

using form::Button;
using form::List;
using form::Row;
using form::Text;

// The longest text a page's entry takes.
constexpr int kEntryLength = 16;

// An entry named `name` that takes at most `maxLength` characters (0: no limit).
QLineEdit* Entry(QWidget* parent, const char* name, int maxLength = kEntryLength);

// Texts between the core (UTF-8 std::string) and the widgets.
inline QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}
inline std::string S(const QString& text) {
    return text.toStdString();
}

}  // namespace page
