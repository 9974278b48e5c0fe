// WaveformPanel: the console's "Waveform Display" group: the Parameter list, Clear Waveform,
// the live chart and the hidden controls (Show All, Roll, Eliminate Malfunction, Save Data,
// Test Waveform, Test, Get Results and the two hidden entries). It shows what the console
// gives it and reports the user's actions as signals. UI thread only.
#pragma once

#include <QGroupBox>
#include <QString>

class CTChart;
class QComboBox;
class QLineEdit;

class WaveformPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit WaveformPanel(QWidget* parent = nullptr);

    // The live chart, configured for real-time samples.
    CTChart* Chart() const { return chart_; }

    int ParameterIndex() const;
    // Selects a Parameter item as the user would (ParameterChanged follows).
    void SelectParameter(int index);
    // The hidden entry 1067, source of the position set-point's extra field.
    QString SetpointExtraText() const;
    void SetSetpointExtraEnabled(bool enabled);
    // The hidden entry 1069 that receives the test state texts.
    void ShowTestState(const QString& text);
    QString TestStateText() const;

signals:
    void ParameterChanged(int index);
    void ClearWaveformClicked();
    void ShowAllClicked();
    void RollChanged(int index);
    void EliminateMalfunctionClicked();
    void SaveDataClicked();
    void TestWaveformClicked();
    void TestClicked();
    void GetResultsClicked();

private:
    QComboBox* parameterCombo_;
    CTChart* chart_;
    QLineEdit* setpointExtraEdit_;
    QLineEdit* testStateEdit_;
};
