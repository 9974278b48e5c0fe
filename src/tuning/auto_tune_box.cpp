#include "tuning/auto_tune_box.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "tuning/auto_tune_run.h"

AutoTuneBox::AutoTuneBox(QWidget* parent)
    : QDialog(parent),
      progress_(new QLabel(this)),
      best_(new QLabel(this)),
      cancel_(new QPushButton("Cancel", this)) {
    setObjectName("autoTuneBox");
    setWindowTitle(torvane::kAutoTuneTitle);
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    progress_->setObjectName("progressLabel");
    QFont bold = progress_->font();
    bold.setBold(true);
    progress_->setFont(bold);
    best_->setObjectName("bestLabel");
    best_->setTextFormat(Qt::PlainText);
    best_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for three lines of figures, so the box does not jump as they come.
    best_->setMinimumHeight(3 * best_->fontMetrics().lineSpacing());
    cancel_->setObjectName("cancelButton");
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &AutoTuneBox::cancelRequested);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(progress_);
    layout->addWidget(best_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancel_);
    layout->addLayout(row);
    setMinimumWidth(best_->fontMetrics().horizontalAdvance(
                        "IAE 1234, overshoot 12.34 %, not settled") +
                    40);
    // A small box of one size, like the test box: nothing to resize.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void AutoTuneBox::SetProgress(const QString& text) {
    progress_->setText(text);
}

void AutoTuneBox::SetBest(const QString& text) {
    best_->setText(text);
}

QString AutoTuneBox::Progress() const {
    return progress_->text();
}

QString AutoTuneBox::Best() const {
    return best_->text();
}

void AutoTuneBox::reject() {
    emit cancelRequested();
}
