#include "app/info_box.h"

#include <QLabel>
#include <QVBoxLayout>

#include "session/motion_texts.h"
#include "ui/dialog_key_filter.h"

namespace {

// Room for the longest line the timers write ("Initialization timed out, please close") with
// a margin, so the box does not change its size while it is open.
constexpr int kMinimumWidth = 340;
constexpr int kMinimumHeight = 96;

}  // namespace

CDlgCommCan::CDlgCommCan(QWidget* parent) : QDialog(parent) {
    setObjectName("infoBox");
    setWindowTitle(torvane::kInfoBoxTitle);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setSizeGripEnabled(false);

    text_ = new QLabel(QString::fromUtf8(torvane::kInitialisingText), this);
    text_->setObjectName("infoText");
    text_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(text_);

    const int width = qMax(kMinimumWidth, text_->fontMetrics().horizontalAdvance(QString::fromUtf8(
                                              torvane::kInitialisationTimedOutText)) +
                                              64);
    setFixedSize(width, kMinimumHeight);
    DialogKeyFilter::Install(this);
}

void CDlgCommCan::Open() {
    SetText(torvane::kInitialisingText);
    exec();
}

QString CDlgCommCan::Text() const {
    return text_->text();
}

void CDlgCommCan::SetText(const std::string& text) {
    text_->setText(QString::fromStdString(text));
}
