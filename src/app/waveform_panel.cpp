#include "app/waveform_panel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/panel_widgets.h"
#include "session/wave_parameter.h"
#include "tuning/ct_chart.h"
#include "ui/labelled.h"

WaveformPanel::WaveformPanel(QWidget* parent) : QGroupBox("Waveform Display", parent) {
    setObjectName("waveformGroup");

    QStringList names;
    for (const char* name : torvane::kWaveParameterNames) names << name;
    parameterCombo_ = panel::List(this, "parameterCombo", names);
    parameterCombo_->setCurrentIndex(0);
    auto* clear = panel::Button(this, "Clear Waveform", "clearWaveformButton");

    auto* header = new QHBoxLayout;
    header->addWidget(LabelFor("Parameter", parameterCombo_, this));
    header->addWidget(parameterCombo_);
    header->addSpacing(12);
    header->addWidget(clear);
    header->addStretch(1);

    // Controls that exist but are never shown.
    auto hidden = [header](QWidget* widget) {
        widget->setVisible(false);
        header->addWidget(widget);
        return widget;
    };
    auto* showAll = panel::Button(this, "Show All", "showAllButton");
    hidden(showAll);
    auto* roll = panel::List(this, "rollCombo", {"0", "1", "5", "10", "50", "100", "500", "1000"});
    auto* rollLabel = LabelFor("Roll", roll, this);
    rollLabel->setObjectName("rollLabel");
    hidden(rollLabel);
    hidden(roll);
    auto* eliminate = panel::Button(this, "Eliminate Malfunction", "eliminateMalfunctionButton");
    hidden(eliminate);
    auto* saveData = panel::Button(this, "Save Data", "saveDataButton");
    hidden(saveData);
    auto* testWaveform = panel::Button(this, "Test Waveform", "testWaveformButton");
    hidden(testWaveform);
    setpointExtraEdit_ = panel::Entry(this, "setpointExtraEdit");
    setpointExtraEdit_->setEnabled(false);
    setpointExtraEdit_->setAccessibleName("Setpoint Extra");
    hidden(setpointExtraEdit_);
    testStateEdit_ = panel::Entry(this, "testStateEdit");
    testStateEdit_->setAccessibleName("Test State");
    hidden(testStateEdit_);
    auto* test = panel::Button(this, "Test", "testButton");
    hidden(test);
    auto* getResults = panel::Button(this, "Get Results", "getResultsButton");
    hidden(getResults);

    chart_ = new CTChart(this);
    chart_->setObjectName("waveformChart");
    chart_->ConfigureRealTimeDisplay();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(chart_, 1);

    connect(parameterCombo_, &QComboBox::currentIndexChanged, this,
            &WaveformPanel::ParameterChanged);
    connect(clear, &QPushButton::clicked, this, &WaveformPanel::ClearWaveformClicked);
    connect(showAll, &QPushButton::clicked, this, &WaveformPanel::ShowAllClicked);
    connect(roll, &QComboBox::activated, this, &WaveformPanel::RollChanged);
    connect(eliminate, &QPushButton::clicked, this, &WaveformPanel::EliminateMalfunctionClicked);
    connect(saveData, &QPushButton::clicked, this, &WaveformPanel::SaveDataClicked);
    connect(testWaveform, &QPushButton::clicked, this, &WaveformPanel::TestWaveformClicked);
    connect(test, &QPushButton::clicked, this, &WaveformPanel::TestClicked);
    connect(getResults, &QPushButton::clicked, this, &WaveformPanel::GetResultsClicked);
}

int WaveformPanel::ParameterIndex() const {
    return parameterCombo_->currentIndex();
}

void WaveformPanel::SelectParameter(int index) {
    parameterCombo_->setCurrentIndex(index);
}

QString WaveformPanel::SetpointExtraText() const {
    return setpointExtraEdit_->text();
}

void WaveformPanel::SetSetpointExtraEnabled(bool enabled) {
    setpointExtraEdit_->setEnabled(enabled);
}

void WaveformPanel::ShowTestState(const QString& text) {
    testStateEdit_->setText(text);
}

QString WaveformPanel::TestStateText() const {
    return testStateEdit_->text();
}
