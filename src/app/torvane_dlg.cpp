#include "app/torvane_dlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/dialog_key_filter.h"
#include "ui/user_prompts.h"
#include "protocol/timing.h"
#include "sim/simulated_drive.h"

namespace {

QLineEdit* MakeEntry(QWidget* parent, const char* name, bool readOnly = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(readOnly);
    edit->setMinimumWidth(90);
    return edit;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* name = nullptr) {
    auto* label = new QLabel(text, parent);
    if (name != nullptr) label->setObjectName(name);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    return combo;
}

// Label, entry and unit on one row of a grid, from column `column`.
void AddEntryRow(QGridLayout* grid, int row, int column, QLabel* label, QWidget* field,
                 QLabel* unit = nullptr) {
    grid->addWidget(label, row, column);
    grid->addWidget(field, row, column + 1);
    if (unit != nullptr) grid->addWidget(unit, row, column + 2);
}

}  // namespace

int CTorvaneDlg::TimerPeriod(TimerId id) {
    switch (id) {
        case TimerId::kPollTimer:
            return 500;
        case TimerId::kAutoUpdateTimer:
            return 50;
        case TimerId::kMatchTimer:
            return 10000;
        case TimerId::kCurrentTestTimer:
        case TimerId::kSpeedTestTimer:
        case TimerId::kPositionTestTimer:
            return 500;
        case TimerId::kCalibrationTimer:
            return 20;
        case TimerId::kFaultRotateTimer:
            return 1000;
        case TimerId::kInitTimer:
            return 50;
        case TimerId::kResetTimer:
            return 500;
    }
    return 0;
}

CTorvaneDlg::CTorvaneDlg(torvane::SerialPort& port, torvane::DriveState& state, QWidget* parent)
    : QDialog(parent), port_(port), state_(state), link_(port, state, motion_) {
    setObjectName("console");
    BuildWindow();
    BuildTimers();

    link_.SetReplyHandler(this);
    // Port events arrive on the reader thread: hand them to the UI thread.
    link_.SetPortEventHandler([this](torvane::PortEvent event) {
        const uint64_t generation = connection_.load();
        QMetaObject::invokeMethod(
            this, [this, event, generation] { OnPortEvent(event, generation); },
            Qt::QueuedConnection);
    });
    SetPromptParent(this);
}

CTorvaneDlg::~CTorvaneDlg() {
    link_.SetPortEventHandler(nullptr);
    link_.SetReplyHandler(nullptr);
    for (QTimer* timer : timers_) {
        if (timer != nullptr) timer->stop();
    }
    // Join both workers before they are destroyed; a joinable thread would abort the process.
    port_.ClearPortOpen();
    link_.StopExtractor();
    port_.Close();
    StopSimulatedDrive();
    SetPromptParent(nullptr);
}

void CTorvaneDlg::BuildWindow() {
    setWindowTitle(kTitle);
    setWindowIcon(TorvaneIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    // A wider window widens the three columns in about the proportions of the groups.
    auto* top = new QHBoxLayout;
    top->addWidget(BuildMotionGroup(), 3);
    top->addWidget(BuildLivePreviewGroup(), 2);
    auto* right = new QVBoxLayout;
    right->addWidget(BuildSerialGroup());
    right->addWidget(BuildCanGroup());
    right->addStretch(1);
    top->addLayout(right, 1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(9, 6, 9, 4);
    body->addLayout(top, 0);
    body->addWidget(BuildWaveformGroup(), 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(BuildMenuBar());
    layout->addLayout(body, 1);
    layout->addWidget(BuildStatusBar(), 0);

    DialogKeyFilter::Install(this);
    resize(1240, 760);
}

QGroupBox* CTorvaneDlg::BuildMotionGroup() {
    auto* group = new QGroupBox("Motion Control", this);
    group->setObjectName("motionGroup");

    // The entries sit in an unlabeled inner frame; the command buttons below it.
    auto* frame = new QFrame(group);
    frame->setObjectName("motionFrame");
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(6);
    grid->setColumnMinimumWidth(3, 14);

    workModeCombo_ =
        MakeCombo(frame, "workModeCombo", {"Current Mode", "Speed Mode", "Position Mode"});
    currentEdit_ = MakeEntry(frame, "currentEdit");
    currentEdit_->setMaxLength(16);
    currentEdit_->setEnabled(false);
    speedEdit_ = MakeEntry(frame, "speedEdit");
    speedEdit_->setMaxLength(16);
    speedEdit_->setEnabled(false);
    reductionRatioEdit_ = MakeEntry(frame, "reductionRatioEdit");
    reductionRatioEdit_->setText("1");
    encoderValueEdit_ = MakeEntry(frame, "encoderValueEdit");
    encoderValueEdit_->setText("65535.0");
    positionTypeCombo_ =
        MakeCombo(frame, "positionTypeCombo", {"Absolute Position", "Relative Position"});
    positionTypeCombo_->setEnabled(false);
    angleEdit_ = MakeEntry(frame, "angleEdit");
    positionEdit_ = MakeEntry(frame, "positionEdit", true);
    positionEdit_->setMaxLength(16);
    positionEdit_->setEnabled(false);

    // Left column: work mode and the set-points; right column: the position entries.
    AddEntryRow(grid, 0, 0, MakeLabel(frame, "WorkMode"), workModeCombo_);
    AddEntryRow(grid, 1, 0, MakeLabel(frame, "Current"), currentEdit_,
                MakeLabel(frame, "A", "currentUnit"));
    AddEntryRow(grid, 2, 0, MakeLabel(frame, "Speed"), speedEdit_,
                MakeLabel(frame, "RPM", "speedUnit"));
    AddEntryRow(grid, 3, 0, MakeLabel(frame, "Reduction Ratio"), reductionRatioEdit_);
    AddEntryRow(grid, 4, 0, MakeLabel(frame, "One-Loop Encoder Value"), encoderValueEdit_);
    AddEntryRow(grid, 0, 4, MakeLabel(frame, "Position Type"), positionTypeCombo_);
    AddEntryRow(grid, 1, 4, MakeLabel(frame, "Angle"), angleEdit_,
                MakeLabel(frame, "°", "angleUnit"));
    AddEntryRow(grid, 2, 4, MakeLabel(frame, "Position"), positionEdit_,
                MakeLabel(frame, "P", "positionUnit"));
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(5, 1);
    // Rows share the frame's height evenly, as the entries of a dialog template are spread.
    for (int row = 0; row < 5; ++row) grid->setRowStretch(row, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(MakeButton(group, "Run", "runButton"));
    buttons->addWidget(MakeButton(group, "Inversion", "inversionButton"));
    buttons->addWidget(MakeButton(group, "Stop", "stopButton"));
    enabledButton_ = MakeButton(group, "Enabled", "enabledButton");
    buttons->addWidget(enabledButton_);
    buttons->addWidget(MakeButton(group, "Reset", "resetButton"));
    auto* emergencyStop = MakeButton(group, "Emergency Stop", "emergencyStopButton");
    emergencyStop->setVisible(false);
    buttons->addWidget(emergencyStop);

    auto* layout = new QVBoxLayout(group);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);
    return group;
}

QGroupBox* CTorvaneDlg::BuildLivePreviewGroup() {
    auto* group = new QGroupBox("Live Preview", this);
    group->setObjectName("livePreviewGroup");
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    busbarVoltageEdit_ = MakeEntry(group, "busbarVoltageEdit", true);
    phaseCurrentEdit_ = MakeEntry(group, "phaseCurrentEdit", true);
    currentSpeedEdit_ = MakeEntry(group, "currentSpeedEdit", true);
    motorPositionEdit_ = MakeEntry(group, "motorPositionEdit", true);
    outputAxisPositionEdit_ = MakeEntry(group, "outputAxisPositionEdit", true);
    outputAxisAngleEdit_ = MakeEntry(group, "outputAxisAngleEdit", true);
    motorTemperatureEdit_ = MakeEntry(group, "motorTemperatureEdit", true);

    AddEntryRow(grid, 0, 0, MakeLabel(group, "Busbar Voltage"), busbarVoltageEdit_,
                MakeLabel(group, "V"));
    AddEntryRow(grid, 1, 0, MakeLabel(group, "Phase Current Amplitude"), phaseCurrentEdit_,
                MakeLabel(group, "A"));
    AddEntryRow(grid, 2, 0, MakeLabel(group, "Current Speed"), currentSpeedEdit_,
                MakeLabel(group, "RPM", "currentSpeedUnit"));
    AddEntryRow(grid, 3, 0, MakeLabel(group, "Motor Position"), motorPositionEdit_,
                MakeLabel(group, "P"));
    AddEntryRow(grid, 4, 0, MakeLabel(group, "Output Axis Position"), outputAxisPositionEdit_,
                MakeLabel(group, "P"));
    AddEntryRow(grid, 5, 0, MakeLabel(group, "Output Axis Angle"), outputAxisAngleEdit_,
                MakeLabel(group, "°"));
    AddEntryRow(grid, 6, 0, MakeLabel(group, "Motor Temperature"), motorTemperatureEdit_,
                MakeLabel(group, "℃"));

    autoUpdateCheck_ = new QCheckBox("Auto Update", group);
    autoUpdateCheck_->setObjectName("autoUpdateCheck");
    grid->addWidget(autoUpdateCheck_, 7, 0, 1, 3);

    positionCorrectionEdit_ = MakeEntry(group, "positionCorrectionEdit", true);
    auto* correct = MakeButton(group, "Correct", "correctButton");
    auto* correction = new QHBoxLayout;
    correction->addWidget(positionCorrectionEdit_, 1);
    correction->addWidget(correct);
    grid->addWidget(MakeLabel(group, "Position Correction"), 8, 0);
    grid->addLayout(correction, 8, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(autoUpdateCheck_, &QCheckBox::clicked, this, [this] { OnAutoUpdateClicked(); });
    return group;
}

QGroupBox* CTorvaneDlg::BuildWaveformGroup() {
    auto* group = new QGroupBox("Waveform Display", this);
    group->setObjectName("waveformGroup");

    parameterCombo_ = MakeCombo(group, "parameterCombo",
                                {"BLANK", "Supply Voltage", "Phase Current", "Current Speed",
                                 "Motor Position", "Output Axis Position", "Output Axis Angel"});
    parameterCombo_->setCurrentIndex(0);
    auto* clear = MakeButton(group, "Clear Waveform", "clearWaveformButton");

    auto* header = new QHBoxLayout;
    header->addWidget(MakeLabel(group, "Parameter"));
    header->addWidget(parameterCombo_);
    header->addSpacing(12);
    header->addWidget(clear);
    header->addStretch(1);

    // Controls that exist but are never shown.
    auto hidden = [header](QWidget* widget) {
        widget->setVisible(false);
        header->addWidget(widget);
    };
    hidden(MakeButton(group, "Show All", "showAllButton"));
    hidden(MakeLabel(group, "Roll", "rollLabel"));
    hidden(MakeCombo(group, "rollCombo", {"0", "1", "5", "10", "50", "100", "500", "1000"}));
    hidden(MakeButton(group, "Eliminate Malfunction", "eliminateMalfunctionButton"));
    auto* saveData = MakeButton(group, "Save Data", "saveDataButton");
    hidden(saveData);
    auto* testWaveform = MakeButton(group, "Test Waveform", "testWaveformButton");
    hidden(testWaveform);
    setpointExtraEdit_ = MakeEntry(group, "setpointExtraEdit");
    setpointExtraEdit_->setEnabled(false);
    hidden(setpointExtraEdit_);
    testStateEdit_ = MakeEntry(group, "testStateEdit");
    hidden(testStateEdit_);
    hidden(MakeButton(group, "Test", "testButton"));
    auto* getResults = MakeButton(group, "Get Results", "getResultsButton");
    hidden(getResults);

    chart_ = new CTChart(group);
    chart_->setObjectName("waveformChart");
    chart_->ConfigureRealTimeDisplay();
    chart_->ResetDisplayFlag();
    sampleSeries_ = chart_->SeriesAt(0);

    auto* layout = new QVBoxLayout(group);
    layout->addLayout(header);
    layout->addWidget(chart_, 1);

    connect(parameterCombo_, &QComboBox::currentIndexChanged, this,
            [this](int index) { OnParameterChanged(index); });
    connect(clear, &QPushButton::clicked, this, [this] { ClearWaveform(); });
    connect(saveData, &QPushButton::clicked, this, [this] { SaveData(); });
    connect(getResults, &QPushButton::clicked, this, [this] { GetResults(); });
    return group;
}

QGroupBox* CTorvaneDlg::BuildSerialGroup() {
    auto* group = new QGroupBox("Serial Communication", this);
    group->setObjectName("serialGroup");

    portCombo_ = new QComboBox(group);
    portCombo_->setObjectName("portCombo");
    // Editable, so a device path that the search does not list (a pty, /dev/serial/by-id/...)
    // can be typed in.
    portCombo_->setEditable(true);
    portCombo_->setInsertPolicy(QComboBox::NoInsert);
    portCombo_->setMinimumContentsLength(14);
    portCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portCombo_->addItem(kSimulatedDriveItem);
    portCombo_->setCurrentIndex(-1);
    searchButton_ = MakeButton(group, "Search", "searchButton");
    openButton_ = MakeButton(group, "Open", "openButton");
    openButton_->setDefault(true);

    auto* grid = new QGridLayout(group);
    grid->addWidget(MakeLabel(group, "Serial Port "), 0, 0);
    grid->addWidget(portCombo_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(searchButton_);
    buttons->addWidget(openButton_);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(searchButton_, &QPushButton::clicked, this, [this] { Search(); });
    connect(openButton_, &QPushButton::clicked, this, [this] { OpenOrClose(); });
    return group;
}

QGroupBox* CTorvaneDlg::BuildCanGroup() {
    auto* group = new QGroupBox("CAN Communication", this);
    group->setObjectName("canGroup");
    canAddressEdit_ = MakeEntry(group, "canAddressEdit");
    canBaudCombo_ = MakeCombo(group, "canBaudCombo", {"500", "1000"});

    auto* grid = new QGridLayout(group);
    grid->addWidget(MakeLabel(group, "CAN Address "), 0, 0);
    grid->addWidget(canAddressEdit_, 0, 1);
    grid->addWidget(MakeLabel(group, "CAN Baud Rate"), 1, 0);
    grid->addWidget(canBaudCombo_, 1, 1);
    grid->addWidget(MakeButton(group, "Setting", "settingButton"), 2, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QMenuBar* CTorvaneDlg::BuildMenuBar() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName("menuBar");
    auto action = [this](QWidget* owner, const QString& text, const char* name) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        owner->addAction(a);
        return a;
    };

    // The parameter commands follow in a later part of the program; until then their items are
    // present and disabled.
    QList<QAction*> parameterActions;
    bar->addSeparator();
    QMenu* file = bar->addMenu("File");
    file->setObjectName("fileMenu");
    parameterActions << action(file, "new", "newAction") << action(file, "save", "saveAction")
                     << action(file, "open", "openAction")
                     << action(file, "download", "downloadAction");
    file->addSeparator();
    parameterActions << action(file, "default ", "defaultAction");
    bar->addSeparator();
    parameterActions << action(bar, "Motor", "motorAction");
    bar->addSeparator();
    parameterActions << action(bar, "Driver", "driverAction");
    bar->addSeparator();
    parameterActions << action(bar, "Loop Parameters", "loopParametersAction");
    bar->addSeparator();
    parameterActions << action(bar, "Custom Parameters", "customParametersAction");
    bar->addSeparator();
    for (QAction* a : parameterActions) a->setEnabled(false);

    QMenu* connection = bar->addMenu("Connection");
    connection->setObjectName("connectionMenu");
    connectAction_ = action(connection, "Communication Settings...", "connectAction");
    disconnectAction_ = action(connection, "Disconnect", "disconnectAction");
    disconnectAction_->setEnabled(false);
    connect(connectAction_, &QAction::triggered, this, [this] { ConnectWithSettings(); });
    connect(disconnectAction_, &QAction::triggered, this, [this] { Disconnect(); });
    bar->addSeparator();

    aboutAction_ = action(bar, "Abort KelmoraGUI(&A)...", "aboutAction");
    connect(aboutAction_, &QAction::triggered, this, [this] { ShowAbout(); });
    bar->addSeparator();
    bar->addSeparator();
    return bar;
}

QStatusBar* CTorvaneDlg::BuildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName("statusBar");
    bar->setSizeGripEnabled(true);
    struct PaneLayout {
        const char* name;
        const char* text;
        int width;
    };
    static constexpr PaneLayout kPanes[6] = {
        {"versionPane", "Version", 50},   {"modelPane", " ", 100},
        {"spacerPane", " ", 1},           {"motorStatePane", "Motor State", 100},
        {"faultPane", "Fault Code", 250}, {"infoPane", "Torvane servo drive console", 100},
    };
    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(QString::fromUtf8(kPanes[i].text), bar);
        label->setObjectName(kPanes[i].name);
        label->setFrameStyle(QFrame::Panel | QFrame::Raised);
        label->setMinimumWidth(kPanes[i].width);
        label->setContentsMargins(3, 0, 3, 0);
        bar->addWidget(label, i == kInfoPane ? 1 : 0);
        panes_[i] = label;
    }
    return bar;
}

void CTorvaneDlg::BuildTimers() {
    for (TimerId id : {TimerId::kPollTimer, TimerId::kAutoUpdateTimer, TimerId::kMatchTimer,
                       TimerId::kCurrentTestTimer, TimerId::kSpeedTestTimer,
                       TimerId::kPositionTestTimer, TimerId::kCalibrationTimer,
                       TimerId::kFaultRotateTimer, TimerId::kInitTimer, TimerId::kResetTimer}) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString("timer%1").arg(static_cast<int>(id)));
        connect(timer, &QTimer::timeout, this, [this, id] { TimerTick(id); });
        timers_[static_cast<size_t>(id)] = timer;
    }
}

void CTorvaneDlg::StartTimer(TimerId id) {
    QTimer* timer = timers_[static_cast<size_t>(id)];
    timer->start(torvane::PeriodMs(TimerPeriod(id)));
}

void CTorvaneDlg::StopTimer(TimerId id) {
    timers_[static_cast<size_t>(id)]->stop();
}

bool CTorvaneDlg::TimerActive(TimerId id) const {
    return timers_[static_cast<size_t>(id)]->isActive();
}

QString CTorvaneDlg::PaneText(Pane pane) const {
    return panes_[pane]->text();
}

void CTorvaneDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}
