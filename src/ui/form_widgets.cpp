#include "ui/form_widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/labelled.h"

namespace form {

QPushButton* Button(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QComboBox* List(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    return combo;
}

QLabel* Text(QWidget* parent, const QString& text, const char* name) {
    auto* label = new QLabel(text, parent);
    if (name != nullptr) label->setObjectName(name);
    return label;
}

QLabel* Row(QGridLayout* grid, int row, int column, const QString& label, QWidget* field,
            QLabel* unit) {
    QLabel* caption = LabelFor(label, field, field->parentWidget());
    grid->addWidget(caption, row, column);
    grid->addWidget(field, row, column + 1);
    if (unit != nullptr) grid->addWidget(unit, row, column + 2);
    return caption;
}

}  // namespace form
