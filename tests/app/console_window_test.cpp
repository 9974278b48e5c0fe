// The main console as it starts: controls, menu, status bar, key filter, About box, layout,
// the Save Data file and the program's start-up options. No drive is involved.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "app/about_dlg.h"
#include "app/torvane_app.h"
#include "app/torvane_dlg.h"
#include "session/capture_file.h"
#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"

namespace {

struct Console {
    torvane::DriveSession session;
    torvane::SerialPort& port = session.Port();
    torvane::DriveState& state = session.State();
    CTorvaneDlg dlg{session};

    template <class T>
    T* Find(const char* name) {
        T* w = dlg.findChild<T*>(name);
        if (w == nullptr) qWarning("no widget %s", name);
        return w;
    }
};

// Sets or unsets an environment variable for the scope of a test row.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, hadOld_ = true;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvVar() {
        if (hadOld_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace

class ConsoleWindowTest : public QObject {
    Q_OBJECT

private slots:
    void StartUpControls_data();
    void StartUpControls();
    void StartUpLists();
    void MenuBarItems();
    void StatusBarPanes();
    void TitleAndNoTimers();
    void KeysThatCloseOrPressAreSwallowed();
    void AboutBoxFromTheMenuBar();
    void ChartTakesTheExtraRoom();
    void ChartConfiguredForLiveSamples();
    void SaveDataWritesTheFixedLine();
    void SaveDataThatCannotBeWrittenSaysSo_data();
    void SaveDataThatCannotBeWrittenSaysSo();
    void CommandLineOptions_data();
    void CommandLineOptions();
    void PlantOption();
    void DisplayCheck_data();
    void DisplayCheck();
    void EveryFieldIsNamedAfterItsLabel();
    void LiveValuesLookReadOnly();
    void StartingWindowFitsASmallScreen();
    void PortEntriesWithoutAPortSayTheyNeedOne_data();
    void PortEntriesWithoutAPortSayTheyNeedOne();
};

void ConsoleWindowTest::StartUpControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("visible");
    auto row = [](const char* name, const char* text, bool enabled, bool visible) {
        QTest::newRow(name) << QString(name) << QString::fromUtf8(text) << enabled << visible;
    };
    // Motion Control
    row("currentEdit", "", false, true);
    row("speedEdit", "", false, true);
    row("reductionRatioEdit", "1", true, true);
    row("encoderValueEdit", "65535.0", true, true);
    row("angleEdit", "", true, true);
    row("positionEdit", "", false, true);
    row("runButton", "Run", true, true);
    row("inversionButton", "Inversion", true, true);
    row("stopButton", "Stop", true, true);
    row("enabledButton", "Enabled", true, true);
    row("resetButton", "Reset", true, true);
    row("emergencyStopButton", "Emergency Stop", true, false);
    // Live Preview
    row("busbarVoltageEdit", "", true, true);
    row("phaseCurrentEdit", "", true, true);
    row("currentSpeedEdit", "", true, true);
    row("motorPositionEdit", "", true, true);
    row("outputAxisPositionEdit", "", true, true);
    row("outputAxisAngleEdit", "", true, true);
    row("motorTemperatureEdit", "", true, true);
    row("autoUpdateCheck", "Auto Update", true, true);
    row("positionCorrectionEdit", "", true, true);
    row("correctButton", "Correct", true, true);
    // Waveform Display
    row("clearWaveformButton", "Clear Waveform", true, true);
    row("showAllButton", "Show All", true, false);
    row("rollLabel", "Roll", true, false);
    row("eliminateMalfunctionButton", "Eliminate Malfunction", true, false);
    row("saveDataButton", "Save Data", true, false);
    row("testWaveformButton", "Test Waveform", true, false);
    row("setpointExtraEdit", "", false, false);
    row("testStateEdit", "", true, false);
    row("testButton", "Test", true, false);
    row("getResultsButton", "Get Results", true, false);
    // Serial and CAN Communication
    row("searchButton", "Search", true, true);
    row("openButton", "Open", true, true);
    row("canAddressEdit", "", true, true);
    row("settingButton", "Setting", true, true);
}

void ConsoleWindowTest::StartUpControls() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(bool, visible);
    Console c;
    c.dlg.show();
    QWidget* w = c.dlg.findChild<QWidget*>(name);
    QVERIFY2(w != nullptr, qPrintable(name));
    QString shown;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        shown = edit->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        shown = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        shown = label->text();
    }
    QCOMPARE(shown, text);
    QCOMPARE(w->isEnabled(), enabled);
    QCOMPARE(w->isVisible(), visible);
    if (auto* check = qobject_cast<QCheckBox*>(w)) QVERIFY(!check->isChecked());
}

void ConsoleWindowTest::StartUpLists() {
    Console c;
    struct ComboCase {
        const char* name;
        QStringList items;
        int selected;
        bool enabled;
        bool visible;
    };
    const ComboCase cases[] = {
        {"workModeCombo", {"Current Mode", "Speed Mode", "Position Mode"}, -1, true, true},
        {"positionTypeCombo", {"Absolute Position", "Relative Position"}, -1, false, true},
        {"parameterCombo",
         {"BLANK", "Supply Voltage", "Phase Current", "Current Speed", "Motor Position",
          "Output Axis Position", "Output Axis Angel"},
         0,
         true,
         true},
        {"rollCombo", {"0", "1", "5", "10", "50", "100", "500", "1000"}, -1, true, false},
        {"canBaudCombo", {"500", "1000"}, -1, true, true},
        {"portCombo", {"Simulated drive"}, -1, true, true},
    };
    for (const ComboCase& k : cases) {
        auto* combo = c.Find<QComboBox>(k.name);
        QVERIFY2(combo != nullptr, k.name);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        QCOMPARE(items, k.items);
        QCOMPARE(combo->currentIndex(), k.selected);
        QCOMPARE(combo->isEnabled(), k.enabled);
        QCOMPARE(combo->isVisibleTo(&c.dlg), k.visible);
    }
    QCOMPARE(c.dlg.Fields().WaveParameter, uint8_t{0});
    // Entries limited to 16 characters.
    for (const char* name : {"currentEdit", "speedEdit", "positionEdit"}) {
        QCOMPARE(c.Find<QLineEdit>(name)->maxLength(), 16);
    }
    // Read-only value entries.
    for (const char* name :
         {"positionEdit", "busbarVoltageEdit", "phaseCurrentEdit", "currentSpeedEdit",
          "motorPositionEdit", "outputAxisPositionEdit", "outputAxisAngleEdit",
          "motorTemperatureEdit", "positionCorrectionEdit"}) {
        QVERIFY2(c.Find<QLineEdit>(name)->isReadOnly(), name);
    }
    // Group titles, in the window.
    QStringList groups;
    for (const char* name :
         {"motionGroup", "livePreviewGroup", "waveformGroup", "serialGroup", "canGroup"}) {
        groups << c.Find<QGroupBox>(name)->title();
    }
    QCOMPARE(groups, QStringList({"Motion Control", "Live Preview", "Waveform Display",
                                  "Serial Communication", "CAN Communication"}));
    // Labels that carry a trailing blank keep it.
    QStringList labels;
    for (QLabel* label : c.dlg.findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"Serial Port ", "CAN Address ", "CAN Baud Rate", "RPM", "°", "℃",
                             "One-Loop Encoder Value", "Phase Current Amplitude"}) {
        QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    }
    QVERIFY(c.Find<QPushButton>("openButton")->isDefault());
}

void ConsoleWindowTest::MenuBarItems() {
    Console c;
    auto* bar = c.Find<QMenuBar>("menuBar");
    QVERIFY(bar != nullptr);
    // Top level in order, separators left out.
    QStringList top;
    for (QAction* a : bar->actions()) {
        if (!a->isSeparator()) top << a->text();
    }
    QCOMPARE(top, QStringList({"File", "Motor", "Driver", "Loop Parameters", "Custom Parameters",
                               "Connection", "Help"}));
    QVERIFY(bar->actions().first()->isSeparator());
    QVERIFY(bar->actions().last()->isSeparator());

    QStringList file;
    for (QAction* a : c.Find<QMenu>("fileMenu")->actions()) {
        file << (a->isSeparator() ? QString("-") : a->text());
    }
    // The drive's items, then the restore of a backup.
    QCOMPARE(file, QStringList({"new", "save", "open", "download", "-", "default ", "-",
                                QString::fromUtf8("Restore a backup…")}));
    // The About item sits in the Help menu, its text kept.
    QStringList help;
    for (QAction* a : c.Find<QMenu>("helpMenu")->actions()) help << a->text();
    QCOMPARE(help, QStringList({"Abort KelmoraGUI(&A)..."}));

    struct ItemCase {
        const char* name;
        bool enabled;
    };
    // The parameter commands are always offered; each says itself why it cannot run.
    const ItemCase cases[] = {
        {"newAction", true},
        {"saveAction", true},
        {"openAction", true},
        {"downloadAction", true},
        {"defaultAction", true},
        {"motorAction", true},
        {"driverAction", true},
        {"loopParametersAction", true},
        {"customParametersAction", true},
        {"connectAction", true},
        {"disconnectAction", false},
        {"aboutAction", true},
    };
    for (const ItemCase& k : cases) {
        auto* a = c.Find<QAction>(k.name);
        QVERIFY2(a != nullptr, k.name);
        QCOMPARE(a->isEnabled(), k.enabled);
    }
}

void ConsoleWindowTest::StatusBarPanes() {
    Console c;
    const std::pair<CTorvaneDlg::Pane, const char*> texts[] = {
        {CTorvaneDlg::kVersionPane, "Version"},  {CTorvaneDlg::kModelPane, " "},
        {CTorvaneDlg::kSpacerPane, " "},         {CTorvaneDlg::kMotorStatePane, "Motor State"},
        {CTorvaneDlg::kFaultPane, "Fault Code"},
    };
    for (const auto& [pane, text] : texts) QCOMPARE(c.dlg.PaneText(pane), QString(text));
    QVERIFY(!c.dlg.PaneText(CTorvaneDlg::kInfoPane).isEmpty());
    // The fault pane holds the longest fault text without clipping.
    c.dlg.show();
    auto* fault = c.Find<QLabel>("faultPane");
    QVERIFY(fault->width() >= 250);
    QVERIFY(fault->fontMetrics().horizontalAdvance("The internal reference voltage is incorrect") <=
            fault->width() + 40);
    // The bar sits at the bottom of the window.
    auto* bar = c.dlg.findChild<QWidget*>("statusBar");
    QCOMPARE(bar->geometry().bottom(), c.dlg.rect().bottom());
}

void ConsoleWindowTest::TitleAndNoTimers() {
    Console c;
    QCOMPARE(c.dlg.windowTitle(), QString("Kelmora GUI 2.1"));
    QVERIFY(c.dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(!(c.dlg.windowFlags() & Qt::WindowMinimizeButtonHint));
    using T = CTorvaneDlg::TimerId;
    const std::pair<T, int> periods[] = {
        {T::kPollTimer, 500},        {T::kAutoUpdateTimer, 50},    {T::kMatchTimer, 10000},
        {T::kCurrentTestTimer, 500}, {T::kSpeedTestTimer, 500},    {T::kPositionTestTimer, 500},
        {T::kCalibrationTimer, 20},  {T::kFaultRotateTimer, 1000}, {T::kInitTimer, 50},
        {T::kResetTimer, 500},
    };
    for (const auto& [id, period] : periods) {
        QCOMPARE(CTorvaneDlg::TimerPeriod(id), period);
        QVERIFY(!c.dlg.TimerActive(id));
    }
    QCOMPARE(c.dlg.Fields().ShownFaultWord, uint16_t{0xFFFF});
    QVERIFY(!c.port.PortOpen());
}

void ConsoleWindowTest::KeysThatCloseOrPressAreSwallowed() {
    RecordingPrompts prompts;
    Console c;
    c.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.dlg));
    auto* open = c.Find<QPushButton>("openButton");
    auto* clear = c.Find<QPushButton>("clearWaveformButton");
    bool cleared = false;
    connect(clear, &QPushButton::clicked, [&cleared] { cleared = true; });

    // Escape and Enter at the window, Space and Enter on buttons: the window stays open, no
    // button is pressed (pressing Open would report "Open fail！").
    QTest::keyClick(&c.dlg, Qt::Key_Escape);
    QTest::keyClick(&c.dlg, Qt::Key_Return);
    QTest::keyClick(&c.dlg, Qt::Key_Enter);
    open->setFocus();
    QTest::keyClick(open, Qt::Key_Space);
    QTest::keyClick(open, Qt::Key_Return);
    clear->setFocus();
    QTest::keyClick(clear, Qt::Key_Space);
    QVERIFY(c.dlg.isVisible());
    QCOMPARE(c.dlg.result(), 0);
    QCOMPARE(prompts.NoticeCount(), 0);
    QVERIFY(!cleared);

    // Other keys still reach the entries (the blank is swallowed there too).
    auto* angle = c.Find<QLineEdit>("angleEdit");
    angle->setFocus();
    QTest::keyClicks(angle, "9 0");
    QCOMPARE(angle->text(), QString("90"));

    // The close box ends the window.
    c.dlg.close();
    QVERIFY(!c.dlg.isVisible());
}

void ConsoleWindowTest::AboutBoxFromTheMenuBar() {
    Console c;
    c.dlg.show();
    QString title, line;
    bool hasIcon = false;
    bool modal = false;
    OnNextModalOf<CAboutDlg>([&](CAboutDlg* about) {
        title = about->windowTitle();
        modal = about->isModal();
        line = about->findChild<QLabel*>("aboutVersionLabel")->text();
        hasIcon = !about->findChild<QLabel*>("aboutIcon")->pixmap().isNull();
        QTest::mouseClick(about->findChild<QPushButton*>("okButton"), Qt::LeftButton);
    });
    c.dlg.AboutAction()->trigger();
    QCOMPARE(title, QString::fromUtf8("关于 Torvane"));
    QCOMPARE(line, QString::fromUtf8("Torvane，V 1.0"));
    QVERIFY(hasIcon);
    QVERIFY(modal);
    QVERIFY(c.dlg.isVisible());
}

void ConsoleWindowTest::ChartTakesTheExtraRoom() {
    Console c;
    c.dlg.resize(1300, 780);
    c.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.dlg));
    auto* chart = c.dlg.Chart();
    auto* motion = c.Find<QGroupBox>("motionGroup");
    const QSize before = chart->size();
    const QSize motionBefore = motion->size();
    c.dlg.resize(1600, 1000);
    QTRY_VERIFY(chart->height() > before.height());
    QCOMPARE(chart->height() - before.height(), 220);
    QVERIFY(chart->width() >= before.width() + 290);
    // The upper groups keep their height; the chart takes the room.
    QCOMPARE(motion->height(), motionBefore.height());
    // Nothing is squeezed below what it needs at the first size.
    for (QWidget* w : c.dlg.findChildren<QWidget*>()) {
        if (w->isVisible() && qobject_cast<QLabel*>(w)) {
            QVERIFY2(w->width() >= w->minimumSizeHint().width(),
                     qPrintable(qobject_cast<QLabel*>(w)->text()));
        }
    }
}

void ConsoleWindowTest::ChartConfiguredForLiveSamples() {
    Console c;
    CTChart* chart = c.dlg.Chart();
    QCOMPARE(chart->objectName(), QString("waveformChart"));
    QCOMPARE(chart->Title(), QString("Real-time Display"));
    QCOMPARE(chart->BottomAxisTitle(), QString("Index Cycle"));
    QVERIFY(!chart->LegendVisible());
    QVERIFY(!chart->View3D());
    QCOMPARE(chart->Background(), QColor(0xC0, 0xC0, 0xC0));  // silver
    // The console feeds series 0.
    QCOMPARE(c.dlg.SampleSeries(), chart->SeriesAt(0));
    QCOMPARE(c.dlg.SampleSeries()->Title(), QString::fromUtf8("通道1"));
    QCOMPARE(c.dlg.SampleSeries()->Colour(), QColor(Qt::red));
    QCOMPARE(c.dlg.SampleSeries()->LineWidth(), 3);
    QCOMPARE(c.dlg.SampleSeries()->Count(), 0);
    // Clear Waveform needs no port.
    c.dlg.SampleSeries()->AppendValue(1.0);
    c.Find<QPushButton>("clearWaveformButton")->click();
    QCOMPARE(c.dlg.SampleSeries()->Count(), 0);
}

void ConsoleWindowTest::SaveDataWritesTheFixedLine() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    RecordingPrompts prompts;
    {
        Console c;
        const std::time_t before = std::time(nullptr);
        auto* save = c.Find<QPushButton>("saveDataButton");
        save->click();
        save->click();  // the same minute: the same name, written again from empty
        const std::time_t after = std::time(nullptr);
        QStringList files = QDir(dir.path()).entryList(QDir::Files);
        // Two names only when the clicks straddle a minute.
        QVERIFY(files.size() == 1 || (files.size() == 2 && before / 60 != after / 60));
        const QStringList expected = {QString::fromStdString(torvane::CaptureFileName(before)),
                                      QString::fromStdString(torvane::CaptureFileName(after))};
        QVERIFY2(!files.isEmpty() && expected.contains(files.last()), qPrintable(files.join(",")));
        QFile file(dir.filePath(files.last()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("111111\r\n"));
    }
    QCOMPARE(prompts.NoticeCount(), 0);
    QDir::setCurrent(old);
}

void ConsoleWindowTest::SaveDataThatCannotBeWrittenSaysSo_data() {
    QTest::addColumn<bool>("fullDisk");
    // A folder of the file's name cannot be opened as a file, whoever runs the test.
    QTest::newRow("cannot be created") << false;
    // A name that leads to /dev/full opens, and its line is lost when it is flushed.
    QTest::newRow("disk full") << true;
}

void ConsoleWindowTest::SaveDataThatCannotBeWrittenSaysSo() {
    QFETCH(bool, fullDisk);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    RecordingPrompts prompts;
    QStringList names;
    {
        Console c;
        // The click may fall into the next minute.
        const std::time_t now = std::time(nullptr);
        for (std::time_t t : {now, now + 60}) {
            const QString name = QString::fromStdString(torvane::CaptureFileName(t));
            names << name;
            if (fullDisk) {
                QVERIFY(QFile::link("/dev/full", dir.filePath(name)));
            } else {
                QVERIFY(QDir(dir.path()).mkdir(name));
            }
        }
        c.Find<QPushButton>("saveDataButton")->click();
    }
    QDir::setCurrent(old);
    QCOMPARE(prompts.NoticeCount(), 1);
    QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::Error);
    const QString text = prompts.Last();
    QVERIFY2(text.contains(names[0]) || text.contains(names[1]), qPrintable(text));
    // The entries in the way are all the folder holds: nothing else was created.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                 .size(),
             2);
}

void ConsoleWindowTest::CommandLineOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<int>("plot");
    QTest::newRow("none") << QStringList{"torvane"} << true << "" << false << false << false << -1;
    QTest::newRow("port") << QStringList{"torvane", "--port", "/dev/ttyUSB0"} << true
                          << "/dev/ttyUSB0" << false << false << false << -1;
    QTest::newRow("port connect") << QStringList{"torvane", "--port", "/dev/pts/7", "--connect"}
                                  << true << "/dev/pts/7" << true << false << false << -1;
    QTest::newRow("simulate") << QStringList{"torvane", "--simulate"} << true << "" << false << true
                              << false << -1;
    QTest::newRow("auto update and plot")
        << QStringList{"torvane", "--simulate", "--auto-update", "--plot", "Supply Voltage"} << true
        << "" << false << true << true << 1;
    QTest::newRow("plot BLANK") << QStringList{"torvane", "--plot", "BLANK"} << true << "" << false
                                << false << false << 0;
    QTest::newRow("plot the list's spelling") << QStringList{"torvane", "--plot=Output Axis Angel"}
                                              << true << "" << false << false << false << 6;
    QTest::newRow("unknown") << QStringList{"torvane", "--baud", "9600"} << false << "" << false
                             << false << false << -1;
    QTest::newRow("port without path")
        << QStringList{"torvane", "--port"} << false << "" << false << false << false << -1;
    QTest::newRow("plot without name")
        << QStringList{"torvane", "--plot"} << false << "" << false << false << false << -1;
    QTest::newRow("unknown plot name") << QStringList{"torvane", "--plot", "Voltage"} << false << ""
                                       << false << false << false << -1;
}

void ConsoleWindowTest::CommandLineOptions() {
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, port);
    QFETCH(bool, connect);
    QFETCH(bool, simulate);
    QFETCH(bool, autoUpdate);
    QFETCH(int, plot);
    CTorvaneApp::Options options;
    QString error;
    QCOMPARE(CTorvaneApp::ParseOptions(args, options, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    QCOMPARE(options.Port, port);
    QCOMPARE(options.Connect, connect);
    QCOMPARE(options.Simulate, simulate);
    QCOMPARE(options.AutoUpdate, autoUpdate);
    QCOMPARE(options.Plot, plot);
    if (args.contains("Voltage")) {
        // The usage error names the quantities that can be plotted.
        for (const char* name : {"\"BLANK\"", "\"Supply Voltage\"", "\"Output Axis Angel\""}) {
            QVERIFY2(error.contains(name), qPrintable(error));
        }
    }
}

void ConsoleWindowTest::PlantOption() {
    const struct {
        QStringList args;
        bool ok;
        QString plant;
    } cases[] = {
        {{"torvane", "--simulate"}, true, "small"},
        {{"torvane", "--simulate", "--plant", "belt"}, true, "belt"},
        {{"torvane", "--simulate", "--plant=inertia"}, true, "inertia"},
        {{"torvane", "--simulate", "--plant", "lathe"}, false, "small"},
        {{"torvane", "--plant"}, false, "small"},
    };
    for (const auto& c : cases) {
        CTorvaneApp::Options options;
        QString error;
        QCOMPARE(CTorvaneApp::ParseOptions(c.args, options, &error), c.ok);
        QCOMPARE(options.Plant, c.plant);
        // A refused name is told with the names there are.
        if (c.args.contains("lathe")) QVERIFY2(error.contains("small|inertia|belt"), qPrintable(error));
    }
}

void ConsoleWindowTest::DisplayCheck_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("has");
    QTest::newRow("nothing") << QString() << QString() << QString() << false;
    QTest::newRow("empty DISPLAY") << "" << QString() << QString() << false;
    QTest::newRow("X display") << ":99" << QString() << QString() << true;
    QTest::newRow("wayland") << QString() << "wayland-0" << QString() << true;
    QTest::newRow("offscreen") << QString() << QString() << "offscreen" << true;
}

void ConsoleWindowTest::DisplayCheck() {
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(QString, platform);
    QFETCH(bool, has);
    auto value = [](const QString& s) -> std::string { return s.toStdString(); };
    const std::string d = value(display), w = value(wayland), p = value(platform);
    EnvVar e1("DISPLAY", display.isNull() ? nullptr : d.c_str());
    EnvVar e2("WAYLAND_DISPLAY", wayland.isNull() ? nullptr : w.c_str());
    EnvVar e3("QT_QPA_PLATFORM", platform.isNull() ? nullptr : p.c_str());
    QCOMPARE(CTorvaneApp::HasDisplay(), has);
    const QString message = CTorvaneApp::NoDisplayMessage();
    QVERIFY(message.contains("xvfb-run -a torvane"));
    QVERIFY(!message.contains('\n'));
}

void ConsoleWindowTest::EveryFieldIsNamedAfterItsLabel() {
    Console c;
    c.dlg.show();
    // Tools that drive the window from outside find the fields by the words next to them.
    const std::pair<const char*, const char*> named[] = {
        {"workModeCombo", "WorkMode"},
        {"currentEdit", "Current"},
        {"speedEdit", "Speed"},
        {"reductionRatioEdit", "Reduction Ratio"},
        {"encoderValueEdit", "One-Loop Encoder Value"},
        {"positionTypeCombo", "Position Type"},
        {"angleEdit", "Angle"},
        {"positionEdit", "Position"},
        {"busbarVoltageEdit", "Busbar Voltage"},
        {"phaseCurrentEdit", "Phase Current Amplitude"},
        {"currentSpeedEdit", "Current Speed"},
        {"motorPositionEdit", "Motor Position"},
        {"outputAxisPositionEdit", "Output Axis Position"},
        {"outputAxisAngleEdit", "Output Axis Angle"},
        {"motorTemperatureEdit", "Motor Temperature"},
        {"autoUpdateCheck", "Auto Update"},
        {"positionCorrectionEdit", "Position Correction"},
        {"parameterCombo", "Parameter"},
        {"portCombo", "Serial Port"},
        {"canAddressEdit", "CAN Address"},
        {"canBaudCombo", "CAN Baud Rate"},
    };
    for (const auto& [name, label] : named) {
        auto* w = c.Find<QWidget>(name);
        QVERIFY2(w != nullptr, name);
        QCOMPARE(w->accessibleName(), QString(label));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(a != nullptr, name);
        if (qobject_cast<QComboBox*>(w) == nullptr) {
            QCOMPARE(a->text(QAccessible::Name), QString(label));
        }
        // The label is the field's label for assistive tools too (on Linux a list's name is
        // its current item, and its label comes by this relation).
        bool labelled = false;
        for (const auto& [other, relation] : a->relations(QAccessible::Label)) {
            labelled = labelled || other->text(QAccessible::Name).trimmed() == label;
        }
        // (A check box is its own label.)
        QVERIFY2(labelled || qobject_cast<QCheckBox*>(w), name);
    }
    // And none is left without a name.
    for (QWidget* w : c.dlg.findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QCheckBox*>(w)) {
            if (qobject_cast<QComboBox*>(w->parentWidget())) continue;  // a list's own entry
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
    }
}

void ConsoleWindowTest::LiveValuesLookReadOnly() {
    Console c;
    c.dlg.show();
    const QColor entryColour = c.Find<QLineEdit>("angleEdit")->palette().color(QPalette::Base);
    for (const char* name : {"busbarVoltageEdit", "phaseCurrentEdit", "currentSpeedEdit",
                             "motorPositionEdit", "outputAxisPositionEdit", "outputAxisAngleEdit",
                             "motorTemperatureEdit", "positionCorrectionEdit", "positionEdit"}) {
        auto* edit = c.Find<QLineEdit>(name);
        QVERIFY2(edit->isReadOnly(), name);
        // Drawn on the window's colour, not as an entry that invites typing.
        QCOMPARE(edit->palette().color(QPalette::Base), edit->palette().color(QPalette::Window));
        QVERIFY2(edit->palette().color(QPalette::Base) != entryColour, name);
        // Still selectable, so a value can be copied.
        QVERIFY(edit->focusPolicy() != Qt::NoFocus);
        edit->setText("48.5");
        edit->selectAll();
        QCOMPARE(edit->selectedText(), QString("48.5"));
    }
    // The entries that take input keep the entry colour.
    for (const char* name : {"reductionRatioEdit", "encoderValueEdit", "canAddressEdit"}) {
        QCOMPARE(c.Find<QLineEdit>(name)->palette().color(QPalette::Base), entryColour);
    }
}

void ConsoleWindowTest::StartingWindowFitsASmallScreen() {
    Console c;
    // 1366 x 768 less a title bar, a frame and a panel or task bar.
    const QSize room(1366, 768 - 60);
    QVERIFY2(c.dlg.width() <= room.width() && c.dlg.height() <= room.height(),
             qPrintable(QString("%1 x %2").arg(c.dlg.width()).arg(c.dlg.height())));
    QVERIFY(c.dlg.minimumSizeHint().height() <= room.height());
    c.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.dlg));
    // At that size nothing is squeezed below what it needs, and the chart has room to draw.
    for (QWidget* w : c.dlg.findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        if (qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) ||
            qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w)) {
            QVERIFY2(w->width() >= w->minimumSizeHint().width() &&
                         w->height() >= w->minimumSizeHint().height(),
                     qPrintable(w->objectName()));
        }
    }
    QVERIFY(c.dlg.Chart()->height() >= 200);
}

void ConsoleWindowTest::PortEntriesWithoutAPortSayTheyNeedOne_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("Auto Update") << "autoUpdateCheck";
    QTest::newRow("Get Results") << "getResultsButton";
}

void ConsoleWindowTest::PortEntriesWithoutAPortSayTheyNeedOne() {
    QFETCH(QString, name);
    RecordingPrompts prompts;
    Console c;
    auto* button = c.dlg.findChild<QAbstractButton*>(name);
    button->click();
    QCOMPARE(prompts.Texts(), QStringList{"The serial port is not open"});
    if (auto* check = qobject_cast<QCheckBox*>(button)) QVERIFY(!check->isChecked());
    QCOMPARE(c.state.AutoUpdate, uint8_t{0});
    QVERIFY(!c.dlg.TimerActive(CTorvaneDlg::TimerId::kAutoUpdateTimer));
}

QTEST_MAIN(ConsoleWindowTest)
#include "console_window_test.moc"
