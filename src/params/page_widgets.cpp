#include "params/page_widgets.h"

#include <QLineEdit>

namespace page {

QLineEdit* Entry(QWidget* parent, const char* name, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    // Room for a full 16-character entry.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(kEntryLength, '0')) + 12);
    return edit;
}

}  // namespace page
