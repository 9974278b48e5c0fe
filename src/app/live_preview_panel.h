// LivePreviewPanel: the console's "Live Preview" group: the read-only live values, the Auto
// Update box, the Record button, the Position Correction entry and the Correct button. It shows what the console
// gives it and reports the user's actions as signals. UI thread only.
#pragma once

#include <QGroupBox>
#include <QString>

#include "session/status_display.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class LivePreviewPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit LivePreviewPanel(QWidget* parent = nullptr);

    // Motor Temperature, Current Speed, Motor Position, Phase Current Amplitude, Busbar Voltage.
    void ShowLiveValues(const torvane::LiveStatusTexts& texts);
    void ShowPhaseCurrent(const QString& text);
    void ShowBusVoltage(const QString& text);
    void ShowOutputAxis(const QString& position, const QString& angle);
    void ShowPositionCorrection(const QString& text);
    QString PositionCorrectionText() const;

    bool AutoUpdateTicked() const;
    // Sets the box without a click (no signal).
    void SetAutoUpdateTicked(bool ticked);
    // The Record button: pressed and showing the samples written, or released ("Record").
    // No signal.
    void ShowRecording(bool recording, unsigned long long samples = 0);
    bool RecordPressed() const;

signals:
    // The user clicked Auto Update; the box already shows the new state.
    void AutoUpdateClicked(bool ticked);
    // The user pressed or released Record; the button already shows the new state.
    void RecordClicked(bool pressed);
    void CorrectClicked();

private:
    QLineEdit* busbarVoltageEdit_;
    QLineEdit* phaseCurrentEdit_;
    QLineEdit* currentSpeedEdit_;
    QLineEdit* motorPositionEdit_;
    QLineEdit* outputAxisPositionEdit_;
    QLineEdit* outputAxisAngleEdit_;
    QLineEdit* motorTemperatureEdit_;
    QCheckBox* autoUpdateCheck_;
    QPushButton* recordButton_;
    QLineEdit* positionCorrectionEdit_;
};
