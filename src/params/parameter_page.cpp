#include "params/parameter_page.h"

#include <QLineEdit>

#include "ui/dialog_key_filter.h"
#include "ui/user_prompts.h"

ParameterPage::ParameterPage(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    DialogKeyFilter::Install(this);
}

int ParameterPage::exec() {
    // Texts set while filling are the page's starting point, not edits.
    filling_ = true;
    Initialise();
    filling_ = false;
    Modified = false;
    return QDialog::exec();
}

void ParameterPage::reject() {
    if (Modified && !Prompts().Confirm(kCancelQuestion)) return;
    done(kCancelled);
}

void ParameterPage::WatchForEdits(std::initializer_list<QLineEdit*> edits) {
    for (QLineEdit* edit : edits) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (!filling_) Modified = true;
        });
    }
}
