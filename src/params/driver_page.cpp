#include "params/driver_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "params/page_widgets.h"

using page::Q;
using page::S;

CDlgFileNewDriver::CDlgFileNewDriver(torvane::DriveState& state, QWidget* parent)
    : ParameterPage(parent), state_(state) {
    setObjectName("driverPage");

    auto* group = new QGroupBox("Application Parameter", this);
    group->setObjectName("applicationParameterGroup");
    auto* grid = new QGridLayout(group);
    maximumSpeedEdit_ = page::Entry(group, "maximumSpeedEdit");
    accelerationEdit_ = page::Entry(group, "accelerationEdit");
    maxPosEdit_ = page::Entry(group, "maxPosEdit");
    minPosEdit_ = page::Entry(group, "minPosEdit");
    motorDirectionCombo_ = page::List(
        group, "motorDirectionCombo",
        {"Same as the current positive direction", "Contrary to the current positive direction"});
    motorDirectionCombo_->setEnabled(false);
    page::Row(grid, 0, 0, "Maximum Speed", maximumSpeedEdit_,
              page::Text(group, "RPM", "maximumSpeedUnit"));
    page::Row(grid, 1, 0, "Acceleration(Deceleration)", accelerationEdit_,
              page::Text(group, "D/s2", "accelerationUnit"));
    page::Row(grid, 2, 0, "MaxPos", maxPosEdit_, page::Text(group, "circle", "maxPosUnit"));
    page::Row(grid, 3, 0, "MinPos", minPosEdit_, page::Text(group, "circle", "minPosUnit"));
    page::Row(grid, 4, 0, "Positive Motor Direction", motorDirectionCombo_);
    // The direction list spans the entry and unit columns: its items are long.
    grid->addWidget(motorDirectionCombo_, 4, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, fontMetrics().horizontalAdvance("circle") + 8);

    backButton_ = page::Button(this, "Back", "backButton");
    nextButton_ = page::Button(this, "Next", "nextButton");
    auto* cancel = page::Button(this, "Cancel", "cancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(backButton_);
    buttons->addWidget(nextButton_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    WatchForEdits({maximumSpeedEdit_, accelerationEdit_, maxPosEdit_, minPosEdit_});
    connect(backButton_, &QPushButton::clicked, this, [this] { done(kBack); });
    connect(nextButton_, &QPushButton::clicked, this, [this] { Next(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void CDlgFileNewDriver::Initialise() {
    setWindowTitle(QString::fromUtf8(ModifyMode ? kModifyTitle : kNewTitle));
    nextButton_->setText(ModifyMode ? "Save" : "Next");
    backButton_->setVisible(!ModifyMode);
    nextButton_->setEnabled(!MotorEnabled && !DeviceBusy);

    hidden_ = torvane::ApplicationEntriesFrom(state_.Params);
    maximumSpeedEdit_->setText(Q(hidden_.MaximumSpeed));
    accelerationEdit_->setText(Q(hidden_.Acceleration));
    maxPosEdit_->setText(Q(hidden_.MaxPos));
    minPosEdit_->setText(Q(hidden_.MinPos));
    motorDirectionCombo_->setCurrentIndex(hidden_.MotorDirectionIndex);
}

void CDlgFileNewDriver::Next() {
    torvane::ApplicationPageEntries e = hidden_;
    e.MaximumSpeed = S(maximumSpeedEdit_->text());
    e.Acceleration = S(accelerationEdit_->text());
    e.MaxPos = S(maxPosEdit_->text());
    e.MinPos = S(minPosEdit_->text());
    e.MotorDirectionIndex = motorDirectionCombo_->currentIndex();
    if (const auto refused = torvane::ValidateApplicationPage(e, state_.Params)) {
        torvane::ShowEntryError(Notices(), *refused);
        return;
    }
    done(kAccepted);
}
