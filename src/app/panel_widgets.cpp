#include "app/panel_widgets.h"

#include <QLineEdit>

#include "ui/labelled.h"

namespace panel {

QLineEdit* Entry(QWidget* parent, const char* name, bool readOnly) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (readOnly) MakeReadOnlyLook(edit);
    edit->setMinimumWidth(90);
    return edit;
}

}  // namespace panel
