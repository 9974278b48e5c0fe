// Connecting the console: Search, Open and Close, the communication settings window with its
// baud mapping and its short handshake, Disconnect, the simulated drive item and a port that
// goes away while open.
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/serial_comm_dlg.h"
#include "app/sim_drive_starter.h"
#include "app/torvane_app.h"
#include "app/torvane_dlg.h"
#include "serial/timing.h"
#include "sim/simulated_drive.h"
#include "support/fake_device_tree.h"
#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"

using torvane::sim::SimOptions;
using torvane::sim::SimulatedDrive;
using Timer = CTorvaneDlg::TimerId;

namespace {

SimOptions Fast() {
    SimOptions o;
    o.Pacing = false;
    return o;
}

struct Rig {
    Rig() : sim(Fast()) {
        if (!sim.Start()) qFatal("simulated drive did not start");
        session.SetSimulatedDriveStarter(&starter);
        session.SetSearchFolder(noPorts.path().toStdString());
        dlg = std::make_unique<CTorvaneDlg>(session);
    }
    template <class T>
    T* Find(const char* name) {
        return dlg->findChild<T*>(name);
    }
    QPushButton* OpenButton() { return Find<QPushButton>("openButton"); }
    QStringList PortItems() {
        QStringList items;
        auto* combo = Find<QComboBox>("portCombo");
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        return items;
    }
    void OpenOn(const std::string& path) {
        dlg->PreselectPort(QString::fromStdString(path));
        OpenButton()->click();
    }
    // The closed state, ready to open again.
    void VerifyClosed() {
        QVERIFY(!port.PortOpen());
        QVERIFY(!dlg->Link().ExtractorRunning());
        QCOMPARE(OpenButton()->text(), QString("Open"));
        QVERIFY(Find<QPushButton>("searchButton")->isEnabled());
        QVERIFY(dlg->ConnectAction()->isEnabled());
        QVERIFY(!dlg->DisconnectAction()->isEnabled());
    }
    void VerifyConnected() {
        QVERIFY(port.PortOpen());
        QCOMPARE(OpenButton()->text(), QString("Close"));
        QVERIFY(!Find<QPushButton>("searchButton")->isEnabled());
        QVERIFY(!dlg->ConnectAction()->isEnabled());
        QVERIFY(dlg->DisconnectAction()->isEnabled());
    }

    QTemporaryDir noPorts;
    SimulatedDrive sim;
    SimDriveStarter starter;  // the application's: "Simulated drive" starts a paced drive
    torvane::DriveSession session;
    torvane::SerialPort& port = session.Port();
    std::unique_ptr<CTorvaneDlg> dlg;
};

// Drives the settings window once it is up: picks the port item and the three line settings
// (by index; -1 leaves the window's choice), presses Open, and closes the window when it is
// still open afterwards (a failed open leaves it open).
void OnSettingsWindow(const QString& portItem, int baud, int parity, int stop) {
    OnNextModalOf<CSerialCommDlg>([=](CSerialCommDlg* w) {
        w->PortCombo()->setCurrentIndex(w->PortCombo()->findText(portItem));
        if (baud >= 0) w->BaudCombo()->setCurrentIndex(baud);
        if (parity >= 0) w->ParityCombo()->setCurrentIndex(parity);
        if (stop >= 0) w->StopCombo()->setCurrentIndex(stop);
        QTest::mouseClick(w->OpenButton(), Qt::LeftButton);
        if (w->isVisible()) w->reject();
    });
}

}  // namespace

class ConsoleConnectionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }

    void SearchWithNoPorts();
    void SearchWhileConnectedChangesNothing();
    void OpenCloseOpenOnTheSamePort();
    void OpenFailures_data();
    void OpenFailures();
    void SimulatedDriveItem();
    void LostPortReturnsToClosed();
    void SettingsWindowLineSettings_data();
    void SettingsWindowLineSettings();
    void SettingsWindowFailingToOpen_data();
    void SettingsWindowFailingToOpen();
    void SettingsWindowHandshakeFailureGivesUp();
    void DisconnectAfterTheOpenButton();
    void StartUpOptions_data();
    void StartUpOptions();
    void OpenAndCloseFollowTheSessionNotTheCaption();
    void AfterAFailedCloseTheNextPressTakesTheOpenPath();
    void ClosingTheWindowWithThePortOpen();
    void AnAdapterShowsItsNameAndOpensItsPath();
};

void ConsoleConnectionTest::SearchWithNoPorts() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Find<QPushButton>("searchButton")->click();
    QCOMPARE(rig.PortItems(), QStringList({"null", "Simulated drive"}));
    QCOMPARE(rig.Find<QComboBox>("portCombo")->currentText(), QString("null"));
    rig.OpenButton()->click();
    QCOMPARE(prompts.Texts(), QStringList{"Open fail！\nno port selected"});
    rig.VerifyClosed();
}

void ConsoleConnectionTest::SearchWhileConnectedChangesNothing() {
    RecordingPrompts prompts;
    Rig rig;
    rig.OpenOn(rig.sim.SlavePath());
    rig.VerifyConnected();
    const QStringList items = rig.PortItems();
    const int selected = rig.Find<QComboBox>("portCombo")->currentIndex();
    rig.dlg->Search();
    QCOMPARE(rig.PortItems(), items);
    QCOMPARE(rig.Find<QComboBox>("portCombo")->currentIndex(), selected);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::OpenCloseOpenOnTheSamePort() {
    RecordingPrompts prompts;
    Rig rig;
    for (int round = 0; round < 3; ++round) {
        rig.sim.ClearRequests();
        rig.OpenOn(rig.sim.SlavePath());
        rig.VerifyConnected();
        QCOMPARE(rig.sim.RequestCount(), size_t{9});
        QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));

        rig.OpenButton()->click();  // Close
        rig.VerifyClosed();
        // The timers keep running; their ticks do nothing while no port is open.
        QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
        const size_t requests = rig.sim.RequestCount();
        rig.dlg->TimerTick(Timer::kPollTimer);
        rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
        QCOMPARE(rig.sim.RequestCount(), requests);
    }
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::OpenFailures_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("reason");  // part of the second line
    QTest::newRow("no such device") << "/dev/ttyTorvaneNone"
                                    << "/dev/ttyTorvaneNone";
    QTest::newRow("not a serial device") << "/dev/null"
                                         << "/dev/null";
    QTest::newRow("nothing chosen") << ""
                                    << "no port selected";
    QTest::newRow("held by another program") << "held"
                                             << "use";
}

void ConsoleConnectionTest::OpenFailures() {
    QFETCH(QString, port);
    QFETCH(QString, reason);
    RecordingPrompts prompts;
    Rig rig;
    torvane::SerialPort other;
    if (port == "held") {
        QVERIFY(other.Open(rig.sim.SlavePath()));
        port = QString::fromStdString(rig.sim.SlavePath());
    }
    rig.OpenOn(port.toStdString());
    QCOMPARE(prompts.NoticeCount(), 1);
    const QStringList lines = prompts.Last().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QString("Open fail！"));
    QVERIFY2(lines[1].contains(reason), qPrintable(lines[1]));
    rig.VerifyClosed();
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
}

void ConsoleConnectionTest::SimulatedDriveItem() {
    RecordingPrompts prompts;
    Rig rig;
    rig.OpenOn("Simulated drive");
    rig.VerifyConnected();
    QVERIFY(rig.starter.Drive() != nullptr);
    QVERIFY(rig.starter.Drive()->Running());
    QCOMPARE(rig.port.Path(), rig.starter.Drive()->SlavePath());
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString("KVD417"));
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
    rig.OpenButton()->click();
    rig.VerifyClosed();
    QVERIFY(rig.starter.Drive() == nullptr);
    // And again: a fresh simulated drive.
    rig.OpenButton()->click();
    rig.VerifyConnected();
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::LostPortReturnsToClosed() {
    RecordingPrompts prompts;
    Rig rig;
    rig.OpenOn(rig.sim.SlavePath());
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.sim.HangUp();
    // The live read in flight fails at once (no 5000 ms wait) and switches Auto Update off;
    // then the console hears of the loss and closes the port.
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QTRY_COMPARE(prompts.NoticeCount(), 2);
    QCOMPARE(prompts.Last(), QString(CTorvaneDlg::kPortLostText));
    QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::Error);
    rig.VerifyClosed();
    // Ticks after the loss do nothing and say nothing.
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(prompts.NoticeCount(), 2);

    // The drive comes back (on a new pseudo-terminal): it opens as before.
    QVERIFY(rig.sim.Start());
    prompts.Clear();
    rig.OpenOn(rig.sim.SlavePath());
    rig.VerifyConnected();
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::SettingsWindowLineSettings_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("parityMode");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("window default 115200") << -1 << -1 << -1 << 115200 << 0 << 0;
    QTest::newRow("9600") << 0 << 0 << 0 << 9600 << 0 << 0;
    QTest::newRow("14400 odd") << 1 << 1 << 0 << 14400 << 1 << 0;
    QTest::newRow("19600, not 19200") << 2 << 0 << 0 << 19600 << 0 << 0;
    QTest::newRow("38400 even, two stop bits") << 3 << 2 << 2 << 38400 << 2 << 2;
    QTest::newRow("57600") << 4 << 0 << 0 << 57600 << 0 << 0;
    QTest::newRow("115200") << 5 << 0 << 0 << 115200 << 0 << 0;
}

void ConsoleConnectionTest::SettingsWindowLineSettings() {
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QFETCH(int, rate);
    QFETCH(int, parityMode);
    QFETCH(int, stopBits);
    RecordingPrompts prompts;
    Rig rig;
    OnSettingsWindow("Simulated drive", baud, parity, stop);
    rig.dlg->ConnectAction()->trigger();
    QCOMPARE(prompts.Texts(), QStringList());
    rig.VerifyConnected();
    QCOMPARE(int(rig.port.Settings.BaudRate), rate);
    QCOMPARE(int(rig.port.Settings.ParityMode), parityMode);
    QCOMPARE(int(rig.port.Settings.Stop), stopBits);
    QCOMPARE(int(rig.port.Settings.DataBits), 8);
    // The short handshake: no second drive-state read.
    std::vector<int> reads;
    for (const auto& r : rig.starter.Drive()->Requests()) reads.push_back(r.Address);
    QCOMPARE(reads,
             (std::vector<int>{0x2100, 0x1200, 0x0300, 0x2300, 0x1000, 0x2200, 0x1100, 0x2122}));
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString("KVD417"));
    // Only the drive-state display wrote the test text (the Open button's handshake writes
    // "Finished Test").
    QCOMPARE(rig.Find<QLineEdit>("testStateEdit")->text(), QString("Finished test"));

    rig.dlg->DisconnectAction()->trigger();
    QCOMPARE(prompts.Texts(), QStringList{"Closed"});
    rig.VerifyClosed();
    QVERIFY(rig.starter.Drive() == nullptr);
}

void ConsoleConnectionTest::SettingsWindowFailingToOpen_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("stop");
    QTest::newRow("no port") << "null" << 0;
    QTest::newRow("1.5 stop bits with 8 data bits") << "Simulated drive" << 1;
}

void ConsoleConnectionTest::SettingsWindowFailingToOpen() {
    QFETCH(QString, item);
    QFETCH(int, stop);
    RecordingPrompts prompts;
    Rig rig;
    OnSettingsWindow(item, 5, 0, stop);
    rig.dlg->ConnectAction()->trigger();
    QCOMPARE(prompts.NoticeCount(), 1);
    QVERIFY2(prompts.Last().startsWith("Open fail！"), qPrintable(prompts.Last()));
    // The window stayed open for another choice; closed by its close box, nothing happens.
    rig.VerifyClosed();
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
    QVERIFY(rig.starter.Drive() == nullptr);
}

void ConsoleConnectionTest::SettingsWindowHandshakeFailureGivesUp() {
    RecordingPrompts prompts;
    Rig rig;
    // The drive appears in the window's port list under a device name of the search folder.
    const QString link = rig.noPorts.filePath("ttyUSB0");
    QVERIFY(QFile::link(QString::fromStdString(rig.sim.SlavePath()), link));
    rig.sim.SetSilent(true);
    OnSettingsWindow(link, 5, 0, 0);
    rig.dlg->ConnectAction()->trigger();
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
    // Unlike the Open button, the connection is given up.
    rig.VerifyClosed();
    QCOMPARE(rig.sim.RequestCount(), size_t{1});
}

void ConsoleConnectionTest::DisconnectAfterTheOpenButton() {
    RecordingPrompts prompts;
    Rig rig;
    rig.OpenOn(rig.sim.SlavePath());
    rig.VerifyConnected();
    rig.dlg->DisconnectAction()->trigger();
    QCOMPARE(prompts.Texts(), QStringList{"Closed"});
    rig.VerifyClosed();
    // The same port opens again through the button.
    prompts.Clear();
    rig.OpenButton()->click();
    rig.VerifyConnected();
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::StartUpOptions_data() {
    QTest::addColumn<QStringList>("args");  // "PTY" stands for the drive's pseudo-terminal
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<int>("plot");
    QTest::newRow("--port preselects")
        << QStringList{"torvane", "--port", "PTY"} << "PTY" << false << false << 0;
    QTest::newRow("--port --connect opens")
        << QStringList{"torvane", "--port", "PTY", "--connect"} << "PTY" << true << false << 0;
    QTest::newRow("--simulate") << QStringList{"torvane", "--simulate"} << "Simulated drive" << true
                                << false << 0;
    QTest::newRow("--connect alone does nothing")
        << QStringList{"torvane", "--connect"} << "" << false << false << 0;
    QTest::newRow("--simulate --auto-update --plot")
        << QStringList{"torvane", "--simulate", "--auto-update", "--plot", "Supply Voltage"}
        << "Simulated drive" << true << true << 1;
    QTest::newRow("--auto-update after --connect")
        << QStringList{"torvane", "--port",           "PTY", "--connect", "--auto-update",
                       "--plot",  "Output Axis Angel"}
        << "PTY" << true << true << 6;
    // Nothing to connect to: the box stays clear (and no message says so); the plot is chosen.
    QTest::newRow("--auto-update without a connection")
        << QStringList{"torvane", "--port", "PTY", "--auto-update", "--plot", "Phase Current"}
        << "PTY" << false << false << 2;
}

void ConsoleConnectionTest::StartUpOptions() {
    QFETCH(QStringList, args);
    QFETCH(QString, selected);
    QFETCH(bool, opened);
    QFETCH(bool, autoUpdate);
    QFETCH(int, plot);
    RecordingPrompts prompts;
    Rig rig;
    const QString pty = QString::fromStdString(rig.sim.SlavePath());
    args.replaceInStrings("PTY", pty);
    selected.replace("PTY", pty);
    CTorvaneApp::Options options;
    QVERIFY(CTorvaneApp::ParseOptions(args, options, nullptr));
    CTorvaneApp::ApplyOptions(options, *rig.dlg);
    QCOMPARE(rig.Find<QComboBox>("portCombo")->currentText(), selected);
    if (opened) {
        QTRY_VERIFY(rig.port.PortOpen());
        rig.VerifyConnected();
        // Ticked once the handshake has succeeded: the live feed replaces the short poll.
        QCOMPARE(rig.dlg->TimerActive(Timer::kPollTimer), !autoUpdate);
    } else {
        QCoreApplication::processEvents();  // a queued open, had there been one, runs here
        rig.VerifyClosed();
    }
    QCOMPARE(rig.Find<QCheckBox>("autoUpdateCheck")->isChecked(), autoUpdate);
    QCOMPARE(rig.dlg->TimerActive(Timer::kAutoUpdateTimer), autoUpdate);
    QCOMPARE(int(rig.session.State().AutoUpdate), int(autoUpdate));
    QCOMPARE(rig.Find<QComboBox>("parameterCombo")->currentIndex(), plot);
    QCOMPARE(int(rig.dlg->Fields().WaveParameter), plot);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::OpenAndCloseFollowTheSessionNotTheCaption() {
    RecordingPrompts prompts;
    Rig rig;
    // Desktops that add accelerator markers to captions send no press down the wrong path.
    rig.dlg->PreselectPort(QString::fromStdString(rig.sim.SlavePath()));
    rig.OpenButton()->setText("&Open");
    rig.OpenButton()->click();
    rig.VerifyConnected();
    rig.OpenButton()->setText("C&lose");
    rig.OpenButton()->click();
    rig.VerifyClosed();
    rig.OpenButton()->setText("&Open");
    rig.OpenButton()->click();
    rig.VerifyConnected();
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::AfterAFailedCloseTheNextPressTakesTheOpenPath() {
    RecordingPrompts prompts;
    Rig rig;
    rig.OpenOn(rig.sim.SlavePath());
    rig.VerifyConnected();
    // The reader thread is held up handing on the loss of the port, so the Close that follows
    // cannot join it within its 1000 ms.
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, release = false, left = false;
    rig.session.SetEventPoster([&](std::function<void()>) {
        std::unique_lock<std::mutex> lock(m);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        left = true;
        cv.notify_all();
    });
    rig.sim.HangUp();
    {
        std::unique_lock<std::mutex> lock(m);
        QVERIFY(cv.wait_for(lock, std::chrono::seconds(5), [&] { return entered; }));
    }
    rig.OpenButton()->click();
    QCOMPARE(prompts.Texts(), QStringList{"Close fail"});
    // The controls are unchanged, but the port counts as closed: the next press opens.
    QCOMPARE(rig.OpenButton()->text(), QString("Close"));
    QVERIFY(!rig.port.PortOpen());
    rig.OpenButton()->click();
    QCOMPARE(prompts.NoticeCount(), 2);
    QCOMPARE(prompts.Last(), QString("Open fail！\nthe port is still in use by this program"));

    // Once the reader has ended, the next Open finishes the release and connects.
    {
        std::unique_lock<std::mutex> lock(m);
        release = true;
        cv.notify_all();
        QVERIFY(cv.wait_for(lock, std::chrono::seconds(5), [&] { return left; }));
    }
    QVERIFY(rig.sim.Start());
    prompts.Clear();
    rig.OpenOn(rig.sim.SlavePath());
    rig.VerifyConnected();
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleConnectionTest::ClosingTheWindowWithThePortOpen() {
    RecordingPrompts prompts;
    Rig rig;
    rig.OpenOn(rig.sim.SlavePath());
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.dlg->show();
    rig.dlg->close();
    rig.dlg.reset();
    // No message; the port is released, so it opens again at once.
    QCOMPARE(prompts.Texts(), QStringList());
    QVERIFY(!rig.port.PortOpen());
    torvane::SerialPort again;
    std::string reason;
    QVERIFY2(again.Open(rig.sim.SlavePath(), &reason), reason.c_str());
}

// The drive behind a USB adapter: the Serial group lists the adapter with its name, and
// choosing it, or preselecting its path, connects through the path alone.
void ConsoleConnectionTest::AnAdapterShowsItsNameAndOpensItsPath() {
    RecordingPrompts prompts;
    Rig rig;
    torvane::test::FakeDeviceTree tree;
    const std::string adapter = tree.Dev() + "/ttyUSB0";
    QCOMPARE(::symlink(rig.sim.SlavePath().c_str(), adapter.c_str()), 0);
    tree.AddUsbTty(
        "ttyUSB0", "1-2",
        {"Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001", "10c4", "ea60"});
    rig.session.SetSearchFolder(tree.Dev(), tree.Sys());
    rig.Find<QPushButton>("searchButton")->click();
    const QString item =
        QString::fromStdString(adapter) +
        QString::fromUtf8(" — Silicon Labs CP2102 USB to UART Bridge Controller, serial 0001");
    QCOMPARE(rig.PortItems(), QStringList({item, "Simulated drive"}));
    QCOMPARE(rig.Find<QComboBox>("portCombo")->currentText(), item);
    rig.OpenButton()->click();
    rig.VerifyConnected();
    QCOMPARE(rig.port.Path(), adapter);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString("KVD417"));
    rig.OpenButton()->click();
    rig.VerifyClosed();

    // --port names the path: its item is chosen, none is added.
    rig.Find<QComboBox>("portCombo")->setCurrentIndex(1);
    rig.OpenOn(adapter);
    QCOMPARE(rig.PortItems(), QStringList({item, "Simulated drive"}));
    rig.VerifyConnected();
    QCOMPARE(rig.port.Path(), adapter);
    QCOMPARE(prompts.Texts(), QStringList());
}

QTEST_MAIN(ConsoleConnectionTest)
#include "console_connection_test.moc"
