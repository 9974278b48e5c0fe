#include "app/motion_panel.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/panel_widgets.h"

MotionPanel::MotionPanel(QWidget* parent) : QGroupBox("Motion Control", parent) {
    setObjectName("motionGroup");

    // The entries sit in an unlabeled inner frame; the command buttons below it.
    auto* frame = new QFrame(this);
    frame->setObjectName("motionFrame");
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(6);
    grid->setColumnMinimumWidth(3, 14);

    workModeCombo_ =
        panel::List(frame, "workModeCombo", {"Current Mode", "Speed Mode", "Position Mode"});
    currentEdit_ = panel::Entry(frame, "currentEdit");
    currentEdit_->setMaxLength(16);
    currentEdit_->setEnabled(false);
    speedEdit_ = panel::Entry(frame, "speedEdit");
    speedEdit_->setMaxLength(16);
    speedEdit_->setEnabled(false);
    reductionRatioEdit_ = panel::Entry(frame, "reductionRatioEdit");
    reductionRatioEdit_->setText("1");
    encoderValueEdit_ = panel::Entry(frame, "encoderValueEdit");
    encoderValueEdit_->setText("65535.0");
    positionTypeCombo_ =
        panel::List(frame, "positionTypeCombo", {"Absolute Position", "Relative Position"});
    positionTypeCombo_->setEnabled(false);
    angleEdit_ = panel::Entry(frame, "angleEdit");
    positionEdit_ = panel::Entry(frame, "positionEdit", true);
    positionEdit_->setMaxLength(16);
    positionEdit_->setEnabled(false);

    // Left column: work mode and the set-points; right column: the position entries.
    panel::Row(grid, 0, 0, "WorkMode", workModeCombo_);
    panel::Row(grid, 1, 0, "Current", currentEdit_, panel::Text(frame, "A", "currentUnit"));
    panel::Row(grid, 2, 0, "Speed", speedEdit_, panel::Text(frame, "RPM", "speedUnit"));
    panel::Row(grid, 3, 0, "Reduction Ratio", reductionRatioEdit_);
    panel::Row(grid, 4, 0, "One-Loop Encoder Value", encoderValueEdit_);
    panel::Row(grid, 0, 4, "Position Type", positionTypeCombo_);
    panel::Row(grid, 1, 4, "Angle", angleEdit_, panel::Text(frame, "°", "angleUnit"));
    panel::Row(grid, 2, 4, "Position", positionEdit_, panel::Text(frame, "P", "positionUnit"));
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(5, 1);
    // Rows share the frame's height evenly, as the entries of a dialog template are spread.
    for (int row = 0; row < 5; ++row) grid->setRowStretch(row, 1);

    auto* run = panel::Button(this, "Run", "runButton");
    auto* inversion = panel::Button(this, "Inversion", "inversionButton");
    auto* stop = panel::Button(this, "Stop", "stopButton");
    enabledButton_ = panel::Button(this, "Enabled", "enabledButton");
    auto* reset = panel::Button(this, "Reset", "resetButton");
    auto* emergencyStop = panel::Button(this, "Emergency Stop", "emergencyStopButton");
    emergencyStop->setVisible(false);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {run, inversion, stop, enabledButton_, reset, emergencyStop}) {
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);

    connect(run, &QPushButton::clicked, this, &MotionPanel::RunClicked);
    connect(inversion, &QPushButton::clicked, this, &MotionPanel::InversionClicked);
    connect(stop, &QPushButton::clicked, this, &MotionPanel::StopClicked);
    connect(enabledButton_, &QPushButton::clicked, this, &MotionPanel::EnabledClicked);
    connect(reset, &QPushButton::clicked, this, &MotionPanel::ResetClicked);
    connect(emergencyStop, &QPushButton::clicked, this, &MotionPanel::EmergencyStopClicked);
    // Only the user's choices: the console selecting an item itself is no command.
    connect(workModeCombo_, &QComboBox::activated, this, &MotionPanel::WorkModeChanged);
    connect(positionTypeCombo_, &QComboBox::activated, this, &MotionPanel::PositionTypeChanged);
    connect(reductionRatioEdit_, &QLineEdit::textChanged, this,
            &MotionPanel::ReductionRatioTextChanged);
    for (QLineEdit* edit : {angleEdit_, reductionRatioEdit_, encoderValueEdit_}) {
        edit->installEventFilter(this);
    }
}

bool MotionPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == angleEdit_) emit AngleFocusLost();
        if (watched == reductionRatioEdit_) emit ReductionRatioFocusLost();
        if (watched == encoderValueEdit_) emit EncoderValueFocusLost();
    }
    return QGroupBox::eventFilter(watched, event);
}

int MotionPanel::WorkModeIndex() const {
    return workModeCombo_->currentIndex();
}
QString MotionPanel::CurrentText() const {
    return currentEdit_->text();
}
QString MotionPanel::SpeedText() const {
    return speedEdit_->text();
}
QString MotionPanel::ReductionRatioText() const {
    return reductionRatioEdit_->text();
}
QString MotionPanel::EncoderValueText() const {
    return encoderValueEdit_->text();
}
int MotionPanel::PositionTypeIndex() const {
    return positionTypeCombo_->currentIndex();
}
QString MotionPanel::AngleText() const {
    return angleEdit_->text();
}
QString MotionPanel::PositionText() const {
    return positionEdit_->text();
}

void MotionPanel::ShowWorkMode(int index) {
    workModeCombo_->setCurrentIndex(index);
}
void MotionPanel::SetWorkModeEnabled(bool enabled) {
    workModeCombo_->setEnabled(enabled);
}
void MotionPanel::SetSetpointEntriesEnabled(bool current, bool speed, bool position) {
    currentEdit_->setEnabled(current);
    speedEdit_->setEnabled(speed);
    positionEdit_->setEnabled(position);
    positionTypeCombo_->setEnabled(position);
}
void MotionPanel::ApplyEnabling(const torvane::SetpointEnabling& enabling) {
    currentEdit_->setEnabled(enabling.Current);
    speedEdit_->setEnabled(enabling.Speed);
    positionEdit_->setEnabled(enabling.Position);
    positionTypeCombo_->setEnabled(enabling.PositionType);
    angleEdit_->setEnabled(enabling.Angle);
}
void MotionPanel::ShowCurrent(const QString& text) {
    currentEdit_->setText(text);
}
void MotionPanel::ShowSpeed(const QString& text) {
    speedEdit_->setText(text);
}
void MotionPanel::ShowPosition(const QString& text) {
    positionEdit_->setText(text);
}
void MotionPanel::ShowPositionType(int index) {
    positionTypeCombo_->setCurrentIndex(index);
}
void MotionPanel::ShowAngle(const QString& text) {
    angleEdit_->setText(text);
}
void MotionPanel::SetEnabledCaption(const QString& caption) {
    enabledButton_->setText(caption);
}
