#include "params/user_def_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "params/page_widgets.h"

using page::Q;
using page::S;

namespace {

struct VisibleValue {
    int Value;
    const char* Label;
    const char* Note;
    const char* Name;
};

constexpr VisibleValue kRows[] = {
    {4, "Open Loop Matching Current Iq", "(One Precision)", "customValue4Edit"},
    {11, "Ultra Low Speed Vq Setting Size", "(Two Precision)", "customValue11Edit"},
    {13, "Brake Start Duty Cycle Parameters", "", "customValue13Edit"},
    {14, "Holding Brake Duty Cycle Parameters", "", "customValue14Edit"},
};

}  // namespace

CDlgUserDef::CDlgUserDef(torvane::ParameterSet& set, QWidget* parent) : QDialog(parent), set_(set) {
    setObjectName("customDialog");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    for (size_t i = 0; i < edits_.size(); ++i) {
        const VisibleValue& row = kRows[i];
        QLineEdit* edit = page::Entry(this, row.Name, 0);
        edits_[i] = edit;
        page::Row(grid, static_cast<int>(i), 0, row.Label, edit,
                  row.Note[0] != '\0' ? page::Text(this, row.Note) : nullptr);
        const int value = row.Value;
        if (value == 13 || value == 14) {
            connect(edit, &QLineEdit::textChanged, this, [this, value] {
                if (!filling_) CheckWhileTyping(value);
            });
        }
    }
    grid->setColumnStretch(1, 1);

    okButton_ = new QPushButton("OK", this);
    okButton_->setObjectName("okButton");
    okButton_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancelButton");
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(grid);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connect(okButton_, &QPushButton::clicked, this, [this] { Save(); });
    // Cancel leaves without storing, as the close box and Escape do.
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

QLineEdit* CDlgUserDef::ValueEdit(int value) const {
    for (size_t i = 0; i < kVisibleValues.size(); ++i) {
        if (kVisibleValues[i] == value) return edits_[i];
    }
    return nullptr;
}

int CDlgUserDef::exec() {
    setWindowTitle(QString::fromUtf8(ModifyMode ? kModifyTitle : kTitle));
    okButton_->setText(ModifyMode ? "Save" : "OK");
    entries_ = torvane::CustomEntriesFrom(set_);
    filling_ = true;
    for (int value : kVisibleValues) ValueEdit(value)->setText(Q(entries_.Values[value]));
    filling_ = false;
    // Values the drive holds out of range are told as the dialog opens, as typing them is.
    CheckWhileTyping(13);
    CheckWhileTyping(14);
    return QDialog::exec();
}

void CDlgUserDef::reject() {
    done(2);
}

void CDlgUserDef::CheckWhileTyping(int value) {
    const std::string text = S(ValueEdit(value)->text());
    if (const auto refused = torvane::CheckCustomEntryWhileTyping(value, text)) {
        torvane::ShowEntryError(notices_, *refused);
    }
}

void CDlgUserDef::Save() {
    torvane::CustomPageEntries e = entries_;
    for (int value : kVisibleValues) e.Values[value] = S(ValueEdit(value)->text());
    if (const auto refused = torvane::ValidateCustomPage(e, set_)) {
        torvane::ShowEntryError(notices_, *refused);
        // The refused entries stay stored, and the next OK starts from them.
        entries_ = e;
        return;
    }
    done(1);
}
