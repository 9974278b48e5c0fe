#include "tuning/loop_test_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDlgFileLoopTest::CDlgFileLoopTest(QWidget* parent)
    : QDialog(parent), message_(new QLabel(this)), cancel_(new QPushButton(this)) {
    setObjectName("loopTestBox");
    setWindowTitle(kTitle);
    setModal(true);
    // A small fixed box: a title bar with its close box only (no help, minimise or maximise).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    message_->setObjectName("messageLabel");
    message_->setText(QString::fromUtf8(kTestingText));
    message_->setAlignment(Qt::AlignCenter);
    cancel_->setObjectName("cancelButton");
    cancel_->setText(kCancelCaption);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CDlgFileLoopTest::OnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancel_);
    row->addStretch();
    layout->addLayout(row);
    setMinimumWidth(240);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CDlgFileLoopTest::Run() {
    // The box opens with its initial text each time, as a box made afresh would.
    message_->setText(QString::fromUtf8(kTestingText));
    return exec();
}

QString CDlgFileLoopTest::Text() const {
    return message_->text();
}

void CDlgFileLoopTest::SetText(const std::string& text) {
    if (!isVisible()) return;
    message_->setText(QString::fromStdString(text));
}

void CDlgFileLoopTest::SetState(uint8_t state) {
    // The page sets TestState before it shows the box; the timers set it while it is open.
    testState_ = state;
}

void CDlgFileLoopTest::Close(int result) {
    if (!isVisible()) return;
    done(result);
}

void CDlgFileLoopTest::reject() {
    done(2);
}

void CDlgFileLoopTest::OnCancel() {
    done(testState_ == 3 ? 3 : 2);
}
