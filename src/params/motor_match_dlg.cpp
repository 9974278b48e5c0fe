#include "params/motor_match_dlg.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "params/page_widgets.h"

CDlgFileMotorMatch::CDlgFileMotorMatch(QWidget* parent) : QDialog(parent) {
    setObjectName("motorMatchDlg");
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    textLabel_ = new QLabel(this);
    textLabel_->setObjectName("matchBoxText");
    textLabel_->setAlignment(Qt::AlignCenter);
    textLabel_->setWordWrap(true);
    button_ = new QPushButton(this);
    button_->setObjectName("matchBoxButton");
    button_->setDefault(true);
    connect(button_, &QPushButton::clicked, this, [this] { done(Result()); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(button_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->addWidget(textLabel_, 1);
    layout->addSpacing(10);
    layout->addLayout(buttons);

    SetText(kStartText);
    SetCaption(kStartCaption);
    // Wide enough for the longest message ("Failed to match. please close……！").
    setMinimumSize(340, 120);
}

void CDlgFileMotorMatch::SetText(const std::string& text) {
    textLabel_->setText(page::Q(text));
}

void CDlgFileMotorMatch::SetCaption(const std::string& caption) {
    button_->setText(page::Q(caption));
}

void CDlgFileMotorMatch::SetState(uint8_t state) {
    MatchState = state;
}

QString CDlgFileMotorMatch::Text() const {
    return textLabel_->text();
}

QString CDlgFileMotorMatch::Caption() const {
    return button_->text();
}

int CDlgFileMotorMatch::exec() {
    // Every showing starts from the box's own texts, as a box built afresh does.
    SetText(kStartText);
    SetCaption(kStartCaption);
    return QDialog::exec();
}

int CDlgFileMotorMatch::Result() const {
    return MatchState >= 1 && MatchState <= 3 ? MatchState : 4;
}

void CDlgFileMotorMatch::reject() {
    done(Result());
}

void CDlgFileMotorMatch::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        done(2);
        return;
    }
    QDialog::keyPressEvent(event);
}
