#include "app/live_preview_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/panel_widgets.h"
#include "ui/labelled.h"

LivePreviewPanel::LivePreviewPanel(QWidget* parent) : QGroupBox("Live Preview", parent) {
    setObjectName("livePreviewGroup");
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    busbarVoltageEdit_ = panel::Entry(this, "busbarVoltageEdit", true);
    phaseCurrentEdit_ = panel::Entry(this, "phaseCurrentEdit", true);
    currentSpeedEdit_ = panel::Entry(this, "currentSpeedEdit", true);
    motorPositionEdit_ = panel::Entry(this, "motorPositionEdit", true);
    outputAxisPositionEdit_ = panel::Entry(this, "outputAxisPositionEdit", true);
    outputAxisAngleEdit_ = panel::Entry(this, "outputAxisAngleEdit", true);
    motorTemperatureEdit_ = panel::Entry(this, "motorTemperatureEdit", true);

    panel::Row(grid, 0, 0, "Busbar Voltage", busbarVoltageEdit_, panel::Text(this, "V"));
    panel::Row(grid, 1, 0, "Phase Current Amplitude", phaseCurrentEdit_, panel::Text(this, "A"));
    panel::Row(grid, 2, 0, "Current Speed", currentSpeedEdit_,
               panel::Text(this, "RPM", "currentSpeedUnit"));
    panel::Row(grid, 3, 0, "Motor Position", motorPositionEdit_, panel::Text(this, "P"));
    panel::Row(grid, 4, 0, "Output Axis Position", outputAxisPositionEdit_, panel::Text(this, "P"));
    panel::Row(grid, 5, 0, "Output Axis Angle", outputAxisAngleEdit_, panel::Text(this, "°"));
    panel::Row(grid, 6, 0, "Motor Temperature", motorTemperatureEdit_, panel::Text(this, "℃"));

    autoUpdateCheck_ = new QCheckBox("Auto Update", this);
    autoUpdateCheck_->setObjectName("autoUpdateCheck");
    autoUpdateCheck_->setAccessibleName("Auto Update");
    recordButton_ = panel::Button(this, "Record", "recordButton");
    recordButton_->setCheckable(true);
    // Wide enough for an hour's count and more, so the group does not move as it grows.
    recordButton_->setMinimumWidth(recordButton_->fontMetrics().horizontalAdvance("Recording: 0000000") + 16);
    recordButton_->setToolTip("Record the live values to a CSV file");
    auto* feed = new QHBoxLayout;
    feed->addWidget(autoUpdateCheck_);
    feed->addStretch(1);
    feed->addWidget(recordButton_);
    grid->addLayout(feed, 7, 0, 1, 3);

    positionCorrectionEdit_ = panel::Entry(this, "positionCorrectionEdit", true);
    auto* correct = panel::Button(this, "Correct", "correctButton");
    auto* correction = new QHBoxLayout;
    correction->addWidget(positionCorrectionEdit_, 1);
    correction->addWidget(correct);
    grid->addWidget(LabelFor("Position Correction", positionCorrectionEdit_, this), 8, 0);
    grid->addLayout(correction, 8, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(autoUpdateCheck_, &QCheckBox::clicked, this, &LivePreviewPanel::AutoUpdateClicked);
    connect(correct, &QPushButton::clicked, this, &LivePreviewPanel::CorrectClicked);
    connect(recordButton_, &QPushButton::clicked, this, &LivePreviewPanel::RecordClicked);
}

void LivePreviewPanel::ShowLiveValues(const torvane::LiveStatusTexts& texts) {
    motorTemperatureEdit_->setText(QString::fromStdString(texts.MotorTemperature));
    currentSpeedEdit_->setText(QString::fromStdString(texts.CurrentSpeed));
    motorPositionEdit_->setText(QString::fromStdString(texts.MotorPosition));
    phaseCurrentEdit_->setText(QString::fromStdString(texts.PhaseCurrent));
    busbarVoltageEdit_->setText(QString::fromStdString(texts.BusVoltage));
}

void LivePreviewPanel::ShowPhaseCurrent(const QString& text) {
    phaseCurrentEdit_->setText(text);
}

void LivePreviewPanel::ShowBusVoltage(const QString& text) {
    busbarVoltageEdit_->setText(text);
}

void LivePreviewPanel::ShowOutputAxis(const QString& position, const QString& angle) {
    outputAxisPositionEdit_->setText(position);
    outputAxisAngleEdit_->setText(angle);
}

void LivePreviewPanel::ShowPositionCorrection(const QString& text) {
    positionCorrectionEdit_->setText(text);
}

QString LivePreviewPanel::PositionCorrectionText() const {
    return positionCorrectionEdit_->text();
}

bool LivePreviewPanel::AutoUpdateTicked() const {
    return autoUpdateCheck_->isChecked();
}

void LivePreviewPanel::SetAutoUpdateTicked(bool ticked) {
    autoUpdateCheck_->setChecked(ticked);
}

void LivePreviewPanel::ShowRecording(bool recording, unsigned long long samples) {
    recordButton_->setChecked(recording);
    recordButton_->setText(recording ? QString("Recording: %1").arg(samples) : QString("Record"));
}

bool LivePreviewPanel::RecordPressed() const {
    return recordButton_->isChecked();
}
