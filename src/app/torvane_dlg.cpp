// CTorvaneDlg: assembling the window from its panels, the menu bar, the status bar and the
// timers.
#include "app/torvane_dlg.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/about_dlg.h"
#include "app/can_panel.h"
#include "app/info_box.h"
#include "app/live_preview_panel.h"
#include "app/motion_panel.h"
#include "app/serial_panel.h"
#include "app/waveform_panel.h"
#include "serial/timing.h"
#include "ui/app_icon.h"
#include "ui/dialog_key_filter.h"
#include "ui/user_prompts.h"

namespace {

// The size the window starts at, and the most of a 1366 x 768 screen it may take with its
// frame and a panel or task bar.
constexpr QSize kStartSize(1240, 680);

}  // namespace

CTorvaneDlg::CTorvaneDlg(torvane::DriveSession& session, QWidget* parent)
    : QDialog(parent),
      session_(session),
      correctionBox_([this](const QString& text) { livePreview_->ShowPositionCorrection(text); }) {
    setObjectName("console");
    BuildWindow();
    BuildTimers();
    ConnectPanels();

    // The chart's sample series, held for the run (the panel owns the chart).
    Chart()->ResetDisplayFlag();
    sampleSeries_ = Chart()->SeriesAt(0);

    session_.SetReplyHandler(this);
    // Port events arrive on the reader thread: the session's work is posted to the UI thread,
    // and dropped with the console.
    session_.SetEventPoster([this](std::function<void()> work) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    });
    session_.SetPortEventListener([this](torvane::PortEvent event) { OnPortEvent(event); });
    SetPromptParent(this);
}

CTorvaneDlg::~CTorvaneDlg() {
    for (QTimer* timer : timers_) {
        if (timer != nullptr) timer->stop();
    }
    session_.SetPortEventListener(nullptr);
    session_.SetEventPoster(nullptr);
    session_.SetReplyHandler(nullptr);
    // Leave no port open and no worker running behind the window; nothing is shown.
    session_.Close();
    SetPromptParent(nullptr);
}

void CTorvaneDlg::BuildWindow() {
    setWindowTitle(kTitle);
    setWindowIcon(TorvaneIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    motion_ = new MotionPanel(this);
    livePreview_ = new LivePreviewPanel(this);
    waveform_ = new WaveformPanel(this);
    serial_ = new SerialPanel(this);
    can_ = new CanPanel(this);

    // A wider window widens the three columns in about the proportions of the groups.
    auto* top = new QHBoxLayout;
    top->addWidget(motion_, 3);
    top->addWidget(livePreview_, 2);
    auto* right = new QVBoxLayout;
    right->addWidget(serial_);
    right->addWidget(can_);
    right->addStretch(1);
    top->addLayout(right, 1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(9, 6, 9, 4);
    body->addLayout(top, 0);
    body->addWidget(waveform_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(BuildMenuBar());
    layout->addLayout(body, 1);
    layout->addWidget(BuildStatusBar(), 0);

    DialogKeyFilter::Install(this);
    infoBox_ = new CDlgCommCan(this);
    QSize size = kStartSize;
    if (const QScreen* screen = this->screen()) {
        // Leave room for the title bar and frame on a small screen.
        size = size.boundedTo(screen->availableGeometry().size() - QSize(20, 40));
    }
    resize(size.expandedTo(minimumSizeHint()));
}

void CTorvaneDlg::ConnectPanels() {
    connect(serial_, &SerialPanel::SearchClicked, this, [this] { Search(); });
    connect(serial_, &SerialPanel::OpenClicked, this, [this] { OpenOrClose(); });
    connect(livePreview_, &LivePreviewPanel::AutoUpdateClicked, this,
            [this] { OnAutoUpdateClicked(); });
    connect(livePreview_, &LivePreviewPanel::RecordClicked, this,
            [this](bool pressed) { OnRecordClicked(pressed); });
    connect(waveform_, &WaveformPanel::ParameterChanged, this,
            [this](int index) { OnParameterChanged(index); });
    connect(waveform_, &WaveformPanel::ClearWaveformClicked, this, [this] { ClearWaveform(); });
    connect(waveform_, &WaveformPanel::SaveDataClicked, this, [this] { SaveData(); });
    connect(waveform_, &WaveformPanel::GetResultsClicked, this, [this] { GetResults(); });
    // Test Waveform, Test, Show All and Roll have no command.
    ConnectMotionCommands();
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

    // The parameter commands. The custom parameters command has no item of its own in the
    // drive's menu; it gets one beside Loop Parameters.
    struct ParameterItem {
        QWidget* owner;
        const char* text;
        const char* name;
        void (CTorvaneDlg::*command)();
    };
    bar->addSeparator();
    QMenu* file = bar->addMenu("File");
    file->setObjectName("fileMenu");
    const ParameterItem fileItems[] = {
        {file, "new", "newAction", &CTorvaneDlg::NewParameterSet},
        {file, "save", "saveAction", &CTorvaneDlg::SaveParameterSet},
        {file, "open", "openAction", &CTorvaneDlg::OpenParameterFile},
        {file, "download", "downloadAction", &CTorvaneDlg::DownloadParameterSet},
    };
    auto add = [&](const ParameterItem& item) {
        QAction* a = action(item.owner, item.text, item.name);
        connect(a, &QAction::triggered, this,
                [this, command = item.command] { (this->*command)(); });
    };
    for (const ParameterItem& item : fileItems) add(item);
    file->addSeparator();
    add({file, "default ", "defaultAction", &CTorvaneDlg::RestoreDefaultParameters});
    file->addSeparator();
    add({file, "Restore a backup…", "restoreBackupAction", &CTorvaneDlg::RestoreBackup});
    bar->addSeparator();
    add({bar, "Motor", "motorAction", &CTorvaneDlg::EditMotorParameters});
    bar->addSeparator();
    add({bar, "Driver", "driverAction", &CTorvaneDlg::EditDriverParameters});
    bar->addSeparator();
    add({bar, "Loop Parameters", "loopParametersAction", &CTorvaneDlg::EditLoopParameters});
    bar->addSeparator();
    add({bar, "Custom Parameters", "customParametersAction", &CTorvaneDlg::EditCustomParameters});
    bar->addSeparator();

    QMenu* connection = bar->addMenu("Connection");
    connection->setObjectName("connectionMenu");
    connectAction_ = action(connection, "Communication Settings...", "connectAction");
    disconnectAction_ = action(connection, "Disconnect", "disconnectAction");
    disconnectAction_->setEnabled(false);
    connect(connectAction_, &QAction::triggered, this, [this] { ConnectWithSettings(); });
    connect(disconnectAction_, &QAction::triggered, this, [this] { Disconnect(); });
    bar->addSeparator();

    // The About item in a Help menu: on the bar itself "Abort ..." reads like a command.
    QMenu* help = bar->addMenu("Help");
    help->setObjectName("helpMenu");
    aboutAction_ = action(help, "Abort KelmoraGUI(&A)...", "aboutAction");
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

void CTorvaneDlg::ClearAutoUpdateCheck() {
    livePreview_->SetAutoUpdateTicked(false);
}

torvane::CommandContext CTorvaneDlg::Context() {
    return {session_.Port(), session_.Link(), fields_, notices_, *this};
}

CTChart* CTorvaneDlg::Chart() const {
    return waveform_->Chart();
}

QString CTorvaneDlg::PaneText(Pane pane) const {
    return panes_[pane]->text();
}

void CTorvaneDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}
