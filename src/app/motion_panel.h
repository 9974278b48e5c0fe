// MotionPanel: the console's "Motion Control" group. It owns the work mode list, the set-point
// entries, the Reduction Ratio, One-Loop Encoder Value and Angle entries and the command
// buttons (the hidden Emergency Stop included); it shows what the console gives it and
// reports every user action as a signal. It runs no command itself. UI thread only.
#pragma once

#include <QGroupBox>
#include <QString>

#include "session/motion_rules.h"

class QComboBox;
class QLineEdit;
class QPushButton;

class MotionPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit MotionPanel(QWidget* parent = nullptr);

    // What the entries and lists hold.
    int WorkModeIndex() const;
    QString CurrentText() const;
    QString SpeedText() const;
    QString ReductionRatioText() const;
    QString EncoderValueText() const;
    int PositionTypeIndex() const;
    QString AngleText() const;
    QString PositionText() const;

    // Showing. An index of -1 selects no item.
    void ShowWorkMode(int index);
    void SetWorkModeEnabled(bool enabled);
    // Which set-point entries take input: Current; Speed; Position and Position Type.
    void SetSetpointEntriesEnabled(bool current, bool speed, bool position);
    // The entries a work mode selection enables (the hidden entry is the waveform group's).
    void ApplyEnabling(const torvane::SetpointEnabling& enabling);
    void ShowCurrent(const QString& text);
    void ShowSpeed(const QString& text);
    void ShowPosition(const QString& text);
    void ShowPositionType(int index);
    void ShowAngle(const QString& text);
    // "Enabled" or "Disabled".
    void SetEnabledCaption(const QString& caption);

signals:
    void RunClicked();
    void InversionClicked();
    void StopClicked();
    void EnabledClicked();
    void ResetClicked();
    void EmergencyStopClicked();
    void WorkModeChanged(int index);      // the user picked another work mode
    void PositionTypeChanged(int index);  // the user picked another position type
    void ReductionRatioTextChanged(const QString& text);
    // Focus left the entry (the console takes its value then).
    void AngleFocusLost();
    void ReductionRatioFocusLost();
    void EncoderValueFocusLost();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* workModeCombo_;
    QLineEdit* currentEdit_;
    QLineEdit* speedEdit_;
    QLineEdit* reductionRatioEdit_;
    QLineEdit* encoderValueEdit_;
    QComboBox* positionTypeCombo_;
    QLineEdit* angleEdit_;
    QLineEdit* positionEdit_;
    QPushButton* enabledButton_;
};
