#include "ui/labelled.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>

QLabel* LabelFor(const QString& text, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    NameAfterLabel(label, field);
    return label;
}

void NameAfterLabel(QLabel* label, QWidget* field) {
    label->setBuddy(field);
    field->setAccessibleName(label->text().trimmed());
}

void MakeReadOnlyLook(QLineEdit* edit) {
    edit->setReadOnly(true);  // a read-only entry draws no caret
    QPalette palette = edit->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    }
    edit->setPalette(palette);
}
