#include "params/page_widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/labelled.h"

namespace page {

QLineEdit* Entry(QWidget* parent, const char* name, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    // Room for a full 16-character entry.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(kEntryLength, '0')) + 12);
    return edit;
}

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

QLabel* Row(QGridLayout* grid, int row, const QString& label, QWidget* field, QLabel* unit) {
    QLabel* caption = LabelFor(label, field, field->parentWidget());
    grid->addWidget(caption, row, 0);
    grid->addWidget(field, row, 1);
    if (unit != nullptr) grid->addWidget(unit, row, 2);
    return caption;
}

}  // namespace page
