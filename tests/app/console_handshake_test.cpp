// The console against the simulated drive over a pseudo-terminal: the connection handshake
// filling the window, the status poll with fault decoding and rotation, the model switch of the
// long status read, Auto Update, and the failure paths of the handshake and the polls.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <memory>

#include "app/torvane_dlg.h"
#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "sim/simulated_drive.h"
#include "support/recording_prompts_qt.h"

using torvane::sim::DriveBehaviour;
using torvane::sim::SimOptions;
using torvane::sim::SimulatedDrive;
using Timer = CTorvaneDlg::TimerId;

namespace {

SimOptions Fast(const std::string& model = "KVD417", uint16_t faults = 0) {
    SimOptions o;
    o.Pacing = false;
    o.Model = model;
    o.FaultWord = faults;
    return o;
}

// A simulated drive, the process-wide records and a console over them.
struct Rig {
    explicit Rig(SimOptions options = Fast()) : sim(options) {
        std::string error;
        if (!sim.Start(&error)) qFatal("simulated drive: %s", error.c_str());
        dlg = std::make_unique<CTorvaneDlg>(session);
    }

    template <class T>
    T* Find(const char* name) {
        return dlg->findChild<T*>(name);
    }
    QString Text(const char* edit) { return Find<QLineEdit>(edit)->text(); }
    bool Enabled(const char* name) { return Find<QWidget>(name)->isEnabled(); }

    // Open through the Open button, on the drive's pseudo-terminal.
    void Open() {
        dlg->PreselectPort(QString::fromStdString(sim.SlavePath()));
        Find<QPushButton>("openButton")->click();
    }
    // Writes a register of the drive directly, as if it had been set on the drive.
    void Poke(torvane::RegisterAddress address, std::vector<uint8_t> data) {
        sim.WithBehaviour(
            [&](DriveBehaviour& b) { return b.Write(address, data.data(), data.size()); });
    }
    // (address, count) of every request the drive received.
    std::vector<std::pair<int, int>> Reads() {
        std::vector<std::pair<int, int>> out;
        for (const auto& r : sim.Requests()) out.emplace_back(r.Address, r.Count);
        return out;
    }

    SimulatedDrive sim;  // outlives the port and console
    torvane::DriveSession session;
    torvane::SerialPort& port = session.Port();
    torvane::DriveState& state = session.State();
    std::unique_ptr<CTorvaneDlg> dlg;
};

std::vector<uint8_t> WorkModeBlock(uint8_t mode, float current, int32_t speed, uint8_t type,
                                   int32_t position, int32_t positionSpeed) {
    std::vector<uint8_t> d(18);
    d[0] = mode;
    torvane::PutFloatBE(&d[1], current);
    torvane::PutI32BE(&d[5], speed);
    d[9] = type;
    torvane::PutI32BE(&d[10], position);
    torvane::PutI32BE(&d[14], positionSpeed);
    return d;
}

QStringList Texts(const std::vector<std::string>& v) {
    QStringList out;
    for (const auto& s : v) out << QString::fromStdString(s);
    return out;
}

}  // namespace

class ConsoleHandshakeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }

    void FullHandshakeFillsTheWindow();
    void WorkModeDecidesTheEntries_data();
    void WorkModeDecidesTheEntries();
    void DriveStateTexts_data();
    void DriveStateTexts();
    void CanSettings_data();
    void CanSettings();
    void FaultWordDecodingAndRotation();
    void ModelDecidesTheLongStatusRead_data();
    void ModelDecidesTheLongStatusRead();
    void AutoUpdateFeedsLiveValuesAndChart();
    void SilentDriveOnTheFirstRead();
    void ErrorReplyOnTheCanRead();
    void ShortPollFailingOnce();
    void LongPollFailingClearsTheBox();
    void MotorEnabledByTheDrive();
};

void ConsoleHandshakeTest::FullHandshakeFillsTheWindow() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    QCOMPARE(prompts.Texts(), QStringList());
    const std::vector<std::pair<int, int>> expected = {
        {0x2100, 34}, {0x1200, 26}, {0x0300, 2},  {0x2300, 18}, {0x1000, 17},
        {0x2200, 7},  {0x1100, 37}, {0x2122, 24}, {0x2200, 7},
    };
    QCOMPARE(rig.Reads(), expected);

    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString("KVD417"));
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kMotorStatePane), QString("Disable motor"));
    // The first status read decodes also a zero fault word.
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), QString("no error"));
    QCOMPARE(rig.dlg->Fields().ShownFaultWord, uint16_t{0});
    QVERIFY(!rig.dlg->TimerActive(Timer::kFaultRotateTimer));
    QCOMPARE(rig.Text("canAddressEdit"), QString("141"));
    QCOMPARE(rig.Find<QComboBox>("canBaudCombo")->currentText(), QString("500"));
    // The drive starts in speed mode.
    QCOMPARE(rig.Find<QComboBox>("workModeCombo")->currentIndex(), 1);
    QVERIFY(rig.Enabled("workModeCombo"));
    QCOMPARE(rig.dlg->Fields().MotorEnabled, uint8_t{0});
    QCOMPARE(rig.Text("testStateEdit"), QString("Finished Test"));
    QCOMPARE(rig.Text("positionCorrectionEdit"), QString("Calibrated"));
    // Parameters reached DriveState (the set-point limits come from them).
    QCOMPARE(rig.state.Params.Application.MaximumSpeed, 2500);
    QCOMPARE(rig.state.Params.Motor.EncoderLines, uint16_t{2500});

    QVERIFY(rig.port.PortOpen());
    QCOMPARE(rig.Find<QPushButton>("openButton")->text(), QString("Close"));
    QVERIFY(!rig.Enabled("searchButton"));
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
    QVERIFY(!rig.dlg->TimerActive(Timer::kAutoUpdateTimer));

    // Timer 1 reads the 6-byte status and shows nothing of the live values.
    rig.sim.ClearRequests();
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(rig.Reads(), (std::vector<std::pair<int, int>>{{0x1200, 6}}));
    QCOMPARE(rig.Text("motorTemperatureEdit"), QString());
    QCOMPARE(prompts.NoticeCount(), 0);
}

void ConsoleHandshakeTest::WorkModeDecidesTheEntries_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("mode");
    // Enabled: current, speed, position, position type.
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("position");
    QTest::addColumn<int>("type");
    auto block = [](uint8_t mode) {
        const auto d = WorkModeBlock(mode, 1.5f, 300, 1, -1234, 250);
        return QByteArray(reinterpret_cast<const char*>(d.data()), int(d.size()));
    };
    QTest::newRow("current") << block(0) << 0 << "1000"
                             << "1.5"
                             << ""
                             << "" << -1;
    QTest::newRow("speed") << block(1) << 1 << "0100"
                           << ""
                           << "300"
                           << "" << -1;
    QTest::newRow("position") << block(2) << 2 << "0111"
                              << ""
                              << "250"
                              << "-1234" << 1;
}

void ConsoleHandshakeTest::WorkModeDecidesTheEntries() {
    QFETCH(QByteArray, block);
    QFETCH(int, mode);
    QFETCH(QString, enabled);
    QFETCH(QString, current);
    QFETCH(QString, speed);
    QFETCH(QString, position);
    QFETCH(int, type);
    RecordingPrompts prompts;
    Rig rig;
    rig.Poke(0x2300, std::vector<uint8_t>(block.begin(), block.end()));
    rig.Open();
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(rig.Find<QComboBox>("workModeCombo")->currentIndex(), mode);
    QString shown;
    for (const char* name : {"currentEdit", "speedEdit", "positionEdit", "positionTypeCombo"}) {
        shown += rig.Enabled(name) ? '1' : '0';
    }
    QCOMPARE(shown, enabled);
    QCOMPARE(rig.Text("currentEdit"), current);
    QCOMPARE(rig.Text("speedEdit"), speed);
    QCOMPARE(rig.Text("positionEdit"), position);
    QCOMPARE(rig.Find<QComboBox>("positionTypeCombo")->currentIndex(), type);
    // The Angle entry and the hidden set-point entry are not touched.
    QCOMPARE(rig.Text("angleEdit"), QString());
    QCOMPARE(rig.Text("setpointExtraEdit"), QString());
}

void ConsoleHandshakeTest::DriveStateTexts_data() {
    QTest::addColumn<int>("calibration");
    QTest::addColumn<int>("test");
    QTest::addColumn<QString>("correction");
    QTest::addColumn<QString>("testText");
    QTest::newRow("both done") << 1 << 1 << "Calibrated"
                               << "Finished Test";
    QTest::newRow("neither") << 0 << 0 << "Not calibrated"
                             << "Not tested";
    QTest::newRow("other values leave the entries") << 2 << 7 << ""
                                                    << "";
}

void ConsoleHandshakeTest::DriveStateTexts() {
    QFETCH(int, calibration);
    QFETCH(int, test);
    QFETCH(QString, correction);
    QFETCH(QString, testText);
    RecordingPrompts prompts;
    Rig rig;
    rig.Poke(0x2200, {1, uint8_t(calibration), uint8_t(test), 0, 0, 0, 90});
    rig.Open();
    QCOMPARE(rig.Text("positionCorrectionEdit"), correction);
    QCOMPARE(rig.Text("testStateEdit"), testText);
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));

    // Get Results: a finished test restarts the poll, otherwise the test is still running.
    rig.dlg->StopTimer(Timer::kPollTimer);
    rig.Find<QPushButton>("getResultsButton")->click();
    QCOMPARE(rig.Text("testStateEdit"), QString(test == 1 ? "Finished test" : "testing"));
    QCOMPARE(rig.dlg->TimerActive(Timer::kPollTimer), test == 1);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleHandshakeTest::CanSettings_data() {
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("addressCode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("500, 141") << 4 << 1 << "141" << 0 << QStringList();
    QTest::newRow("1000, 140") << 5 << 0 << "140" << 1 << QStringList();
    QTest::newRow("code 255 shows 395") << 4 << 255 << "395" << 0 << QStringList();
    QTest::newRow("wrong baud") << 3 << 216 << "356" << -1 << QStringList{"Wrong CAN baud rate"};
}

void ConsoleHandshakeTest::CanSettings() {
    QFETCH(int, baudCode);
    QFETCH(int, addressCode);
    QFETCH(QString, address);
    QFETCH(int, baudIndex);
    QFETCH(QStringList, messages);
    RecordingPrompts prompts;
    Rig rig;
    rig.Poke(0x0300, {uint8_t(baudCode), uint8_t(addressCode)});
    rig.Open();
    QCOMPARE(rig.Text("canAddressEdit"), address);
    QCOMPARE(rig.Find<QComboBox>("canBaudCombo")->currentIndex(), baudIndex);
    QCOMPARE(prompts.Texts(), messages);
    // A wrong code still counts as a successful read: the handshake goes on to the end.
    QCOMPARE(rig.Reads().size(), size_t{9});
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
}

void ConsoleHandshakeTest::FaultWordDecodingAndRotation() {
    RecordingPrompts prompts;
    Rig rig(Fast("KVD417", 0x0005));
    rig.Open();
    const QStringList two = {"Hard case overflow recovery position", "Undervoltage error"};
    QCOMPARE(Texts(rig.dlg->Fields().FaultTexts), two);
    QCOMPARE(rig.dlg->Fields().FaultTextCount, 2);
    QVERIFY(rig.dlg->TimerActive(Timer::kFaultRotateTimer));
    // The pane keeps its text until the first rotation step.
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), QString("Fault Code"));
    QStringList shown;
    for (int i = 0; i < 5; ++i) {
        rig.dlg->TimerTick(Timer::kFaultRotateTimer);
        shown << rig.dlg->PaneText(CTorvaneDlg::kFaultPane);
    }
    QCOMPARE(shown, QStringList({two[0], two[1], two[0], two[1], two[0]}));

    // The same word again changes nothing: the rotation goes on where it was.
    rig.dlg->TimerTick(Timer::kPollTimer);
    rig.dlg->TimerTick(Timer::kFaultRotateTimer);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), two[1]);

    struct Step {
        uint16_t word;
        QStringList texts;
        bool rotating;
        QString pane;  // right after the status read
    };
    const Step steps[] = {
        // Only bits without text: no list, no rotation, the pane keeps what it showed.
        {0xC000, {}, false, two[1]},
        // Every text bit, in bit order.
        {0x3FFF, Texts(torvane::DecodeFaultWord(0x3FFF)), true, two[1]},
        {0x0000, {}, false, "no error"},
        {0x2010, {"Motor over-current", "Encoder calibration error"}, true, "no error"},
    };
    for (const Step& s : steps) {
        rig.Poke(0x1202, {0, 0});  // clears the drive's faults
        if (s.word != 0) rig.sim.RaiseFault(s.word);
        rig.dlg->TimerTick(Timer::kPollTimer);
        QCOMPARE(rig.dlg->Fields().FaultWord, s.word);
        QCOMPARE(Texts(rig.dlg->Fields().FaultTexts), s.texts);
        QCOMPARE(rig.dlg->TimerActive(Timer::kFaultRotateTimer), s.rotating);
        QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), s.pane);
        QCOMPARE(rig.dlg->Fields().FaultTextIndex, 0);
    }
    QCOMPARE(rig.dlg->Fields().FaultTexts.size(), size_t{2});
    rig.dlg->TimerTick(Timer::kFaultRotateTimer);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), QString("Motor over-current"));
    QCOMPARE(torvane::DecodeFaultWord(0x3FFF).size(), size_t{14});
    QCOMPARE(prompts.NoticeCount(), 0);
}

void ConsoleHandshakeTest::ModelDecidesTheLongStatusRead_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("count");
    QTest::newRow("KVD417") << "KVD417" << 26;
    QTest::newRow("other model") << "KVD420" << 22;
    QTest::newRow("prefix only") << "KVD41" << 22;
    QTest::newRow("no model") << "" << 22;
}

void ConsoleHandshakeTest::ModelDecidesTheLongStatusRead() {
    QFETCH(QString, model);
    QFETCH(int, count);
    RecordingPrompts prompts;
    Rig rig(Fast(model.toStdString()));
    rig.Open();
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), model);
    QCOMPARE(rig.Reads().at(1), std::make_pair(0x1200, count));

    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.sim.ClearRequests();
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(rig.Reads(), (std::vector<std::pair<int, int>>{{0x1200, count}}));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleHandshakeTest::AutoUpdateFeedsLiveValuesAndChart() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    auto* box = rig.Find<QCheckBox>("autoUpdateCheck");
    rig.Find<QComboBox>("parameterCombo")->setCurrentIndex(1);  // Supply Voltage
    // The short poll plots nothing.
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(rig.dlg->SampleSeries()->Count(), 0);

    box->click();
    QCOMPARE(rig.state.AutoUpdate, uint8_t{1});
    QVERIFY(rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
    for (int i = 0; i < 3; ++i) rig.dlg->TimerTick(Timer::kAutoUpdateTimer);

    // The live values of the drive: about 48 V and 25 degrees at rest.
    const double volts = rig.Text("busbarVoltageEdit").toDouble();
    QVERIFY2(volts > 45 && volts < 50, qPrintable(rig.Text("busbarVoltageEdit")));
    QCOMPARE(rig.Text("motorTemperatureEdit"), QString("25"));
    QCOMPARE(rig.Text("currentSpeedEdit"), QString("0"));
    QCOMPARE(rig.Text("outputAxisPositionEdit"), rig.Text("motorPositionEdit"));
    QVERIFY(rig.Text("outputAxisAngleEdit").contains(QRegularExpression("^-?\\d+\\.\\d{5}$")));
    // One point a read, at X = its index, with the bus voltage.
    CTChart::Series* series = rig.dlg->SampleSeries();
    QCOMPARE(series->Count(), 3);
    for (int i = 0; i < 3; ++i) QCOMPARE(series->X(i), double(i));
    QCOMPARE(series->Y(2), double(rig.state.BusVoltage));

    // Clear Waveform empties the series; the next point is at X 0 again.
    rig.Find<QPushButton>("clearWaveformButton")->click();
    QCOMPARE(series->Count(), 0);
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(series->Count(), 1);
    QCOMPARE(series->X(0), 0.0);
    // BLANK plots nothing.
    rig.Find<QComboBox>("parameterCombo")->setCurrentIndex(0);
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(series->Count(), 1);

    // Clearing the box goes back to the short poll.
    box->click();
    QCOMPARE(rig.state.AutoUpdate, uint8_t{0});
    QVERIFY(!rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleHandshakeTest::SilentDriveOnTheFirstRead() {
    RecordingPrompts prompts;
    SimOptions o = Fast();
    o.Silent = true;
    Rig rig(o);
    rig.Open();
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
    QCOMPARE(rig.Reads(), (std::vector<std::pair<int, int>>{{0x2100, 34}}));
    // The port stays open, nothing polls.
    QVERIFY(rig.port.PortOpen());
    QCOMPARE(rig.Find<QPushButton>("openButton")->text(), QString("Close"));
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
    QVERIFY(!rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString(" "));

    // Close and open again once the drive answers: the handshake now succeeds.
    rig.Find<QPushButton>("openButton")->click();
    QVERIFY(!rig.port.PortOpen());
    rig.sim.SetSilent(false);
    prompts.Clear();
    rig.Open();
    QCOMPARE(prompts.Texts(), QStringList());
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
}

void ConsoleHandshakeTest::ErrorReplyOnTheCanRead() {
    RecordingPrompts prompts;
    Rig rig;
    rig.sim.AnswerWithResult(3, 0x0300);
    rig.Open();
    QCOMPARE(prompts.Texts(), QStringList{"Error Parameter address"});
    QCOMPARE(rig.Reads(),
             (std::vector<std::pair<int, int>>{{0x2100, 34}, {0x1200, 26}, {0x0300, 2}}));
    QVERIFY(rig.port.PortOpen());
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
    // The controls of the failed read keep their contents.
    QCOMPARE(rig.Text("canAddressEdit"), QString());
    QCOMPARE(rig.Find<QComboBox>("canBaudCombo")->currentIndex(), -1);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString("KVD417"));
}

void ConsoleHandshakeTest::ShortPollFailingOnce() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.sim.SilenceNext(1);
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(prompts.Texts(), QStringList{"Device not responding, please reconnect……"});
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
    // Ticking Auto Update starts polling again.
    prompts.Clear();
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(prompts.Texts(), QStringList());
    QVERIFY(!rig.Text("busbarVoltageEdit").isEmpty());
}

void ConsoleHandshakeTest::LongPollFailingClearsTheBox() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    auto* box = rig.Find<QCheckBox>("autoUpdateCheck");
    box->click();
    rig.sim.SetSilent(true);
    const size_t before = rig.sim.RequestCount();
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
    QVERIFY(!box->isChecked());
    QCOMPARE(rig.state.AutoUpdate, uint8_t{0});
    QVERIFY(!rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    QVERIFY(!rig.dlg->TimerActive(Timer::kPollTimer));
    QCOMPARE(rig.sim.RequestCount(), before + 1);
}

void ConsoleHandshakeTest::MotorEnabledByTheDrive() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    // The drive enables (it initialises first); the next status read follows it.
    rig.Poke(0x6000, {0x02, 0x01});
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kMotorStatePane), QString("Enabled motor"));
    QCOMPARE(rig.dlg->Fields().MotorEnabled, uint8_t{1});
    QVERIFY(!rig.Enabled("workModeCombo"));
    // The status read never changes the Enabled button's caption.
    QCOMPARE(rig.Find<QPushButton>("enabledButton")->text(), QString("Enabled"));
    rig.Poke(0x6000, {0x02, 0x00});
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kMotorStatePane), QString("Disable motor"));
    QCOMPARE(rig.dlg->Fields().MotorEnabled, uint8_t{0});
    QVERIFY(rig.Enabled("workModeCombo"));
    QCOMPARE(prompts.Texts(), QStringList());
}

QTEST_MAIN(ConsoleHandshakeTest)
#include "console_handshake_test.moc"
