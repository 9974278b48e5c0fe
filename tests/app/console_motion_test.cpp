// The console's motion commands against the simulated drive through the real window and the
// real SerialPort: preconditions and their messages, the exact frames written in order, what
// the window shows afterwards, the angle-to-pulses conversion on focus-out, and CAN Setting.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/motion_panel.h"
#include "console_sim_rig.h"
#include "protocol/drive_error.h"
#include "protocol/frame.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "support/recording_prompts_qt.h"

using Timer = CTorvaneDlg::TimerId;
using Icon = UserPrompts::Icon;

namespace {

constexpr const char* kNotOpen = "The serial port is not open";
constexpr const char* kNotEnabled = "Motor not enabled";

QString ErrorText(uint8_t nibble) {
    return QString::fromUtf8(torvane::DriveErrorText(torvane::DriveErrorFromNibble(nibble)));
}

// Presets a set-point register in the drive, as an earlier session would have left it.
void Preset(ConsoleSimRig& rig, torvane::RegisterAddress address, std::vector<uint8_t> data) {
    rig.sim.WithBehaviour([&](torvane::sim::DriveBehaviour& drive) {
        return drive.Write(address, data.data(), data.size());
    });
}

std::vector<uint8_t> FloatBytes(float value) {
    std::vector<uint8_t> d(4);
    torvane::PutFloatBE(d.data(), value);
    return d;
}

// Current, Speed, Position, Position Type, Angle and the hidden set-point entry: enabled or not.
QString Enabling(ConsoleSimRig& rig) {
    QString s;
    for (const char* name : {"currentEdit", "speedEdit", "positionEdit"}) {
        s += rig.Find<QLineEdit>(name)->isEnabled() ? '1' : '0';
    }
    s += rig.Find<QComboBox>("positionTypeCombo")->isEnabled() ? '1' : '0';
    s += rig.Find<QLineEdit>("angleEdit")->isEnabled() ? '1' : '0';
    s += rig.Find<QLineEdit>("setpointExtraEdit")->isEnabled() ? '1' : '0';
    return s;
}

}  // namespace

class ConsoleMotionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }

    void CommandsWithoutAPort_data();
    void CommandsWithoutAPort();
    void ResetWithoutAPortWaitsForTheDrive();
    void WorkModeSelection_data();
    void WorkModeSelection();
    void WorkModeSelectionFailsOrIsIgnored();
    void EnableAndDisable();
    void EnabledRefusesAnUnmatchedMotor();
    void AMotorEnabledBeforeConnecting();
    void RunAndInversion_data();
    void RunAndInversion();
    void EntryChecksRefuse_data();
    void EntryChecksRefuse();
    void ReductionRatioChecks();
    void RunWithNoModeSelected();
    void MotorNotEnabledRefuses_data();
    void MotorNotEnabledRefuses();
    void StopAndEmergencyStop();
    void AnglePulsesOnFocusOut_data();
    void AnglePulsesOnFocusOut();
    void TypedAngleThenRunDirectly();
    void CorrectSequence();
    void CorrectGoesOnAfterARefusedCalibrationCommand();
    void EliminateMalfunction();
    void CanSetting_data();
    void CanSetting();
};

void ConsoleMotionTest::CommandsWithoutAPort_data() {
    QTest::addColumn<QString>("command");
    for (const char* name :
         {"workMode", "enabledButton", "runButton", "inversionButton", "stopButton",
          "emergencyStopButton", "correctButton", "eliminateMalfunctionButton", "settingButton"}) {
        QTest::newRow(name) << name;
    }
}

void ConsoleMotionTest::CommandsWithoutAPort() {
    QFETCH(QString, command);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    if (command == "workMode") {
        rig.PickWorkMode(1);
    } else {
        rig.Click(command.toLatin1().constData());
    }
    QCOMPARE(prompts.Texts(), QStringList{kNotOpen});
    QCOMPARE(rig.sim.RequestCount(), size_t{0});
    QVERIFY(!rig.dlg->InfoBox()->IsOpen());
}

void ConsoleMotionTest::ResetWithoutAPortWaitsForTheDrive() {
    // Reset has no port check: its write fails after the reply wait, and no box opens.
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    rig.Click("resetButton");
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
    QVERIFY(!rig.Active(Timer::kResetTimer));
    QVERIFY(!rig.dlg->InfoBox()->isVisible());
}

void ConsoleMotionTest::WorkModeSelection_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("enabling");  // Current Speed Position Type Angle hidden entry
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("shown");
    QTest::newRow("current") << 0 << "read 2301 4"
                             << "100000"
                             << "currentEdit"
                             << "2.5";
    // The drive reports rpm in counts per second; the entry shows rpm again.
    QTest::newRow("speed") << 1 << "read 2305 8"
                           << "010001"
                           << "speedEdit"
                           << "1000";
    QTest::newRow("position") << 2 << "read 2309 13"
                              << "010111"
                              << "positionEdit"
                              << "16383";
}

void ConsoleMotionTest::WorkModeSelection() {
    QFETCH(int, mode);
    QFETCH(QString, read);
    QFETCH(QString, enabling);
    QFETCH(QString, entry);
    QFETCH(QString, shown);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    // The motor parameters' counts per turn (4 x 2500 lines), as the motor page stores them.
    rig.dlg->State().CountsPerRev = 10000;
    Preset(rig, torvane::reg::kCurrentSetpoint, FloatBytes(2.5f));
    Preset(rig, torvane::reg::kSpeedSetpoint, {0, 0, 0x03, 0xE8, 0, 0, 0, 0});
    Preset(rig, torvane::reg::kPositionSetpoint,
           {1, 0, 0, 0x3F, 0xFF, 0, 0, 0x01, 0x2C, 0, 0, 0, 0});
    QVERIFY(rig.Open());

    rig.PickWorkMode(mode);
    // Only the read: Enabled writes the mode.
    QCOMPARE(rig.Frames(), QStringList{read});
    QCOMPARE(Enabling(rig), enabling);
    QCOMPARE(rig.Text(entry.toLatin1().constData()), shown);
    QCOMPARE(rig.dlg->Motion().WorkMode, mode);
    if (mode == 2) {
        QCOMPARE(rig.Text("speedEdit"), QString("300"));
        QCOMPARE(rig.Find<QComboBox>("positionTypeCombo")->currentIndex(), 1);
    }
    // The field keeps the half added by the rounding; the entry shows it truncated.
    if (mode == 1) QCOMPARE(rig.dlg->Fields().SpeedSetpointRpm, 1000.5f);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::WorkModeSelectionFailsOrIsIgnored() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    // A failed read shows its error and leaves the enabling as it was.
    const QString before = Enabling(rig);
    rig.sim.AnswerWithResult(3, torvane::reg::kPositionSetpoint, 1);
    rig.PickWorkMode(2);
    QCOMPARE(prompts.Texts(), QStringList{ErrorText(3)});
    QCOMPARE(Enabling(rig), before);

    // With the motor enabled only the field changes.
    QVERIFY(rig.EnableIn(1));
    prompts.Clear();
    rig.dlg->Fields().MotorEnabled = 1;
    rig.PickWorkMode(0);
    QCOMPARE(rig.Frames(), QStringList());
    QCOMPARE(rig.dlg->Motion().WorkMode, 0);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::EnableAndDisable() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    auto* enabled = rig.Find<QPushButton>("enabledButton");
    auto* workMode = rig.Find<QComboBox>("workModeCombo");

    // First enable: the drive initialises behind the Info box (the progress tests follow it).
    rig.PickWorkMode(1);
    rig.Mark();
    QString opened;
    WhenInfoBoxOpens(
        [](CDlgCommCan* box) { return box->Text() == "Initialization is complete, please close"; },
        &opened);
    rig.Click("enabledButton");
    QCOMPARE(opened, QString("Initializing,please wait..."));
    QStringList frames = rig.Frames();
    QCOMPARE(frames.mid(0, 3), QStringList({"read 2200 7", "write 2300 01", "write 6000 02 01"}));
    for (const QString& f : frames.mid(3)) QCOMPARE(f, QString("read 2200 7"));
    QCOMPARE(enabled->text(), QString("Disabled"));
    QVERIFY(!workMode->isEnabled());
    QCOMPARE(rig.dlg->Fields().MotorEnabled, 1);
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0x0201);

    // Enabled on an enabled motor disables it.
    rig.Mark();
    rig.Click("enabledButton");
    QCOMPARE(rig.Frames(), QStringList{"write 6000 02 00"});
    QCOMPARE(enabled->text(), QString("Enabled"));
    QVERIFY(workMode->isEnabled());
    QCOMPARE(rig.dlg->Fields().MotorEnabled, 0);

    // An initialised drive: the mode and the enable word, no box, polling goes on.
    rig.PickWorkMode(2);
    rig.Mark();
    rig.Click("enabledButton");
    QCOMPARE(rig.Frames(), QStringList({"read 2200 7", "write 2300 02", "write 6000 02 01"}));
    QVERIFY(!rig.dlg->InfoBox()->isVisible());
    QVERIFY(!rig.Active(Timer::kInitTimer));
    QVERIFY(rig.Active(Timer::kPollTimer));
    QCOMPARE(enabled->text(), QString("Disabled"));
    QCOMPARE(prompts.Texts(), QStringList());

    // A refused enable word changes nothing on screen.
    rig.Click("enabledButton");
    rig.Mark();
    rig.sim.AnswerWithResult(6, torvane::reg::kControlWord, 1);
    rig.Click("enabledButton");
    QCOMPARE(prompts.Texts(), QStringList{ErrorText(6)});
    QCOMPARE(enabled->text(), QString("Enabled"));
    QCOMPARE(rig.dlg->Fields().MotorEnabled, 0);
}

void ConsoleMotionTest::EnabledRefusesAnUnmatchedMotor() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    // The match state as last read.
    rig.dlg->State().Params.Matching.MatchMarks = 0;
    rig.Click("enabledButton");
    QCOMPARE(prompts.Texts(), QStringList{"Motor does not match"});
    QCOMPARE(rig.Frames(), QStringList());
}

void ConsoleMotionTest::AMotorEnabledBeforeConnecting() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    const uint8_t enable[] = {0x02, 0x01};
    rig.sim.WithBehaviour([&](torvane::sim::DriveBehaviour& drive) {
        return drive.Write(torvane::reg::kControlWord, enable, 2);
    });
    QVERIFY(rig.Open());
    // The status read takes the motor state but never the button's caption.
    QCOMPARE(rig.dlg->Fields().MotorEnabled, 1);
    QVERIFY(!rig.Find<QComboBox>("workModeCombo")->isEnabled());
    QCOMPARE(rig.Find<QPushButton>("enabledButton")->text(), QString("Enabled"));
    rig.Click("enabledButton");
    QCOMPARE(rig.Frames(), QStringList{"write 6000 02 00"});
    QCOMPARE(rig.Find<QPushButton>("enabledButton")->text(), QString("Enabled"));
    QVERIFY(rig.Find<QComboBox>("workModeCombo")->isEnabled());
    QCOMPARE(rig.dlg->Fields().MotorEnabled, 0);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::RunAndInversion_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("positionType");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("setpoint");
    QTest::newRow("current run") << 0 << "currentEdit"
                                 << "2.5" << -1 << "runButton"
                                 << "write 2301 40 20 00 00";
    QTest::newRow("current inversion") << 0 << "currentEdit"
                                       << "2.5" << -1 << "inversionButton"
                                       << "write 2301 C0 20 00 00";
    QTest::newRow("current at its rating") << 0 << "currentEdit"
                                           << "5" << -1 << "runButton"
                                           << "write 2301 40 A0 00 00";
    // rpm as typed, truncated: no conversion to counts.
    QTest::newRow("speed run") << 1 << "speedEdit"
                               << "150.7" << -1 << "runButton"
                               << "write 2305 00 00 00 96 00 00 00 00";
    QTest::newRow("speed inversion") << 1 << "speedEdit"
                                     << "150.7" << -1 << "inversionButton"
                                     << "write 2305 FF FF FF 6A 00 00 00 00";
    // Angle 90 x 65535 x 1 / 360 = 16383 pulses; the speed goes out as an integer.
    QTest::newRow("position run") << 2 << "speedEdit"
                                  << "150.7" << 0 << "runButton"
                                  << "write 2309 00 00 00 3F FF 00 00 00 96 00 00 00 00";
    QTest::newRow("position inversion relative")
        << 2 << "speedEdit"
        << "150.7" << 1 << "inversionButton"
        << "write 2309 01 FF FF C0 01 00 00 00 96 00 00 00 00";
}

void ConsoleMotionTest::RunAndInversion() {
    QFETCH(int, mode);
    QFETCH(QString, entry);
    QFETCH(QString, value);
    QFETCH(int, positionType);
    QFETCH(QString, button);
    QFETCH(QString, setpoint);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(mode));
    rig.SetText(entry.toLatin1().constData(), value);
    if (mode == 2) {
        rig.Find<QComboBox>("positionTypeCombo")->setCurrentIndex(positionType);
        rig.SetText("angleEdit", "90");
        rig.dlg->UpdateAnglePulses();
        QCOMPARE(rig.Text("positionEdit"), QString("16383"));
    }
    rig.Click(button.toLatin1().constData());
    QCOMPARE(rig.Frames(), QStringList({setpoint, "write 6000 03 00"}));
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0x0300);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::EntryChecksRefuse_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    // The simulated drive: 5 A rating, 2500 rpm, positions within -100..100.
    QTest::newRow("current above") << 0 << "currentEdit"
                                   << "5.01"
                                   << "runButton"
                                   << "Set Current，input overrun\nallowed band -5 up to 5";
    QTest::newRow("current below, inversion")
        << 0 << "currentEdit"
        << "-5.01"
        << "inversionButton"
        << "Set Current，input overrun\nallowed band -5 up to 5";
    QTest::newRow("speed") << 1 << "speedEdit"
                           << "2500.5"
                           << "runButton"
                           << "Set velocity，input overrun\nallowed band -2500 up to 2500";
    QTest::newRow("position speed") << 2 << "speedEdit"
                                    << "-2501"
                                    << "runButton"
                                    << "Set velocity，input overrun\nallowed band -2500 up to 2500";
    QTest::newRow("position angle")
        << 2 << "angleEdit"
        << "20000.5"
        << "runButton"
        << "Set Position，input overrun\nallowed band -20000 up to 20000";
}

void ConsoleMotionTest::EntryChecksRefuse() {
    QFETCH(int, mode);
    QFETCH(QString, entry);
    QFETCH(QString, value);
    QFETCH(QString, button);
    QFETCH(QString, message);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(mode));
    rig.SetText("speedEdit", "100");
    rig.SetText("angleEdit", "10");
    rig.SetText(entry.toLatin1().constData(), value);
    rig.Click(button.toLatin1().constData());
    QCOMPARE(prompts.Texts(), QStringList{message});
    QCOMPARE(prompts.LastIcon(), Icon::Error);
    QCOMPARE(rig.Frames(), QStringList());
    // The entry keeps what was typed.
    QCOMPARE(rig.Text(entry.toLatin1().constData()), value);
}

void ConsoleMotionTest::ReductionRatioChecks() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    rig.SetText("speedEdit", "100");
    auto* ratio = rig.Find<QLineEdit>("reductionRatioEdit");
    const QString changeMessage =
        "Reduction ratio, input exceeding limit\nallowed band 0 up to 5001";

    // Every change that leaves the text above 5001 is refused (no write); 5001 passes.
    ratio->clear();
    QTest::keyClicks(ratio, "5001");
    QCOMPARE(prompts.Texts(), QStringList());
    QTest::keyClick(ratio, Qt::Key_Backspace);
    QTest::keyClicks(ratio, "2");
    QCOMPARE(prompts.Texts(), QStringList{changeMessage});
    QTest::keyClicks(ratio, "0");
    QCOMPARE(prompts.Texts(), QStringList({changeMessage, changeMessage}));
    QCOMPARE(prompts.LastIcon(), Icon::Error);
    QCOMPARE(rig.Frames(), QStringList());
    QCOMPARE(rig.dlg->Fields().RatioInput, 50020.0f);

    // Run checks it after the set-point went out and writes no run word; Inversion does not.
    ratio->setText("5002");
    prompts.Clear();
    rig.Click("runButton");
    QCOMPARE(prompts.Texts(),
             QStringList{"Speed ratio, export transfinite number\nallowed band 0 up to 5001"});
    QCOMPARE(prompts.LastIcon(), Icon::Error);
    QCOMPARE(rig.Frames(), QStringList{"write 2305 00 00 00 64 00 00 00 00"});
    rig.Mark();
    prompts.Clear();
    rig.Click("inversionButton");
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(rig.Frames(), QStringList({"write 2305 FF FF FF 9C 00 00 00 00", "write 6000 03 00"}));
}

void ConsoleMotionTest::RunWithNoModeSelected() {
    // Before any work mode is shown: no set-point, but the ratio check and the run word.
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    rig.dlg->MotionGroup()->ShowWorkMode(-1);
    rig.Click("runButton");
    QCOMPARE(prompts.Texts(), QStringList{"Invalid working mode"});
    QCOMPARE(rig.Frames(), QStringList{"write 6000 03 00"});
    QCOMPARE(rig.dlg->Motion().WorkMode, 0xFF);

    rig.Mark();
    prompts.Clear();
    rig.SetText("reductionRatioEdit", "6000");
    rig.Click("runButton");
    QCOMPARE(prompts.Texts().mid(1),
             QStringList({"Invalid working mode",
                          "Speed ratio, export transfinite number\nallowed band 0 up to 5001"}));
    QCOMPARE(rig.Frames(), QStringList());
}

void ConsoleMotionTest::MotorNotEnabledRefuses_data() {
    QTest::addColumn<QString>("button");
    for (const char* name : {"runButton", "inversionButton", "stopButton", "emergencyStopButton"}) {
        QTest::newRow(name) << name;
    }
}

void ConsoleMotionTest::MotorNotEnabledRefuses() {
    QFETCH(QString, button);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.PickWorkMode(1);
    rig.Mark();
    rig.SetText("speedEdit", "100");
    rig.Click(button.toLatin1().constData());
    QCOMPARE(prompts.Texts(), QStringList{kNotEnabled});
    QCOMPARE(rig.Frames(), QStringList());
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0);
}

void ConsoleMotionTest::StopAndEmergencyStop() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    rig.SetText("speedEdit", "500");
    rig.Click("runButton");
    rig.Mark();
    rig.Click("stopButton");
    QCOMPARE(rig.Frames(), QStringList{"write 6000 03 01"});
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0x0301);
    rig.Mark();
    rig.Click("emergencyStopButton");  // hidden
    QCOMPARE(rig.Frames(), QStringList{"write 6000 03 02"});
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0x0302);
    // Neither is an enable or disable: the caption stays.
    QCOMPARE(rig.Find<QPushButton>("enabledButton")->text(), QString("Disabled"));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::AnglePulsesOnFocusOut_data() {
    QTest::addColumn<QString>("angle");
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<QString>("ratio");
    QTest::addColumn<QString>("leaving");  // the entry the focus leaves
    QTest::addColumn<QString>("pulses");
    QTest::newRow("90 x 65535 x 1") << "90"
                                    << "65535"
                                    << "1"
                                    << "angleEdit"
                                    << "16383";
    QTest::newRow("encoder entry") << "90"
                                   << "65535.0"
                                   << "2"
                                   << "encoderValueEdit"
                                   << "32767";
    QTest::newRow("ratio entry, negative") << "-45"
                                           << "4096"
                                           << "3"
                                           << "reductionRatioEdit"
                                           << "-1536";
    QTest::newRow("leading number") << "12.5deg"
                                    << "1000"
                                    << "1"
                                    << "angleEdit"
                                    << "34";
    QTest::newRow("no angle") << ""
                              << "65535"
                              << "1"
                              << "angleEdit"
                              << "0";
}

void ConsoleMotionTest::AnglePulsesOnFocusOut() {
    QFETCH(QString, angle);
    QFETCH(QString, encoder);
    QFETCH(QString, ratio);
    QFETCH(QString, leaving);
    QFETCH(QString, pulses);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    rig.dlg->show();
    QVERIFY(QTest::qWaitForWindowActive(rig.dlg.get()));
    rig.SetText("angleEdit", angle);
    rig.SetText("encoderValueEdit", encoder);
    rig.SetText("reductionRatioEdit", ratio);
    auto* from = rig.Find<QLineEdit>(leaving.toLatin1().constData());
    from->setFocus();
    QTRY_VERIFY(from->hasFocus());
    rig.Find<QLineEdit>("canAddressEdit")->setFocus();
    QTRY_COMPARE(rig.Text("positionEdit"), pulses);
    QCOMPARE(rig.dlg->Motion().PositionSetpoint, pulses.toInt());
    QCOMPARE(rig.dlg->State().OneLoopEncoderValue, encoder.toFloat());
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::TypedAngleThenRunDirectly() {
    // The focus leaves the Angle entry for the Run button: the pulses are computed before
    // Run's command reads the Position entry.
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    rig.dlg->show();
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(2));
    rig.dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.dlg.get()));
    rig.Find<QComboBox>("positionTypeCombo")->setCurrentIndex(0);
    rig.SetText("speedEdit", "150");
    auto* angle = rig.Find<QLineEdit>("angleEdit");
    angle->clear();
    angle->setFocus();
    QTRY_VERIFY(angle->hasFocus());
    QTest::keyClicks(angle, "90");
    QCOMPARE(rig.Text("positionEdit"), QString("0"));
    QTest::mouseClick(rig.Find<QPushButton>("runButton"), Qt::LeftButton);
    QCOMPARE(rig.Text("positionEdit"), QString("16383"));
    QCOMPARE(rig.Frames(), QStringList({"write 2309 00 00 00 3F FF 00 00 00 96 00 00 00 00",
                                        "write 6000 03 00"}));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::CorrectSequence() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    QVERIFY(rig.Active(Timer::kAutoUpdateTimer));
    rig.Mark();
    rig.Click("correctButton");
    // Auto Update off, polling stopped, the calibration command, the long status read.
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QCOMPARE(rig.dlg->State().AutoUpdate, 0);
    QVERIFY(!rig.Active(Timer::kAutoUpdateTimer));
    QVERIFY(!rig.Active(Timer::kPollTimer));
    QVERIFY(rig.Active(Timer::kCalibrationTimer));
    QCOMPARE(rig.Text("positionCorrectionEdit"), QString("Is the calibration"));
    QCOMPARE(rig.dlg->Fields().ProgressCount, 0);
    QCOMPARE(rig.Frames(true).mid(0, 2), QStringList({"write 120A", "read 1200 26"}));

    QVERIFY(WaitFor([&] { return !rig.Active(Timer::kCalibrationTimer); }));
    QCOMPARE(rig.Text("positionCorrectionEdit"), QString("Calibrated"));
    QVERIFY(rig.Active(Timer::kPollTimer));
    const QStringList frames = rig.Frames();
    for (const QString& f : frames.mid(2)) QCOMPARE(f, QString("read 2200 7"));
    QCOMPARE(prompts.Texts(), QStringList());

    // With the motor enabled: refused, nothing written.
    QVERIFY(rig.EnableIn(1));
    rig.Click("correctButton");
    QCOMPARE(prompts.Texts(), QStringList{"The motor is enabled"});
    QCOMPARE(rig.Frames(), QStringList());
    QVERIFY(!rig.Active(Timer::kCalibrationTimer));
}

void ConsoleMotionTest::CorrectGoesOnAfterARefusedCalibrationCommand() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.sim.AnswerWithResult(4, torvane::reg::kEncoderCalibration, 1);
    rig.Click("correctButton");
    QCOMPARE(prompts.Texts(), QStringList{ErrorText(4)});
    QCOMPARE(rig.Frames(true).mid(0, 2), QStringList({"write 120A", "read 1200 26"}));
    QVERIFY(rig.Active(Timer::kCalibrationTimer));
    QCOMPARE(rig.Text("positionCorrectionEdit"), QString("Is the calibration"));
    rig.dlg->StopTimer(Timer::kCalibrationTimer);

    // A failed status read ends it there.
    prompts.Clear();
    rig.Mark();
    rig.dlg->StopTimer(Timer::kPollTimer);
    rig.sim.AnswerWithResult(5, torvane::reg::kLiveStatus, 1);
    rig.Click("correctButton");
    QCOMPARE(prompts.Texts(), QStringList{ErrorText(5)});
    QCOMPARE(rig.Frames(true), QStringList({"write 120A", "read 1200 26"}));
    QVERIFY(!rig.Active(Timer::kCalibrationTimer));
}

void ConsoleMotionTest::EliminateMalfunction() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.sim.RaiseFault(0x0004);
    rig.dlg->StopTimer(Timer::kPollTimer);
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(rig.dlg->State().StatusFaultWord, 0x0004);
    rig.Mark();
    rig.Click("eliminateMalfunctionButton");  // hidden
    QCOMPARE(rig.Frames(), QStringList{"write 1202 00 00"});
    QCOMPARE(rig.dlg->State().StatusFaultWord, 0);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), QString("No Error"));
    QCOMPARE(rig.sim.WithBehaviour([](torvane::sim::DriveBehaviour& d) { return d.Faults(); }),
             uint16_t{0});
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleMotionTest::CanSetting_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("shownAgain");  // after the next connection's handshake
    QTest::newRow("141, 500") << "141" << 0 << "write 0300 04 01"
                              << "141";
    QTest::newRow("140, 1000") << "140" << 1 << "write 0300 05 00"
                               << "140";
    QTest::newRow("395") << "395" << 0 << "write 0300 04 FF"
                         << "395";
    QTest::newRow("396 wraps") << "396" << 0 << "write 0300 04 00"
                               << "140";
    QTest::newRow("100 wraps") << "100" << 1 << "write 0300 05 D8"
                               << "356";
    QTest::newRow("empty") << "" << 0 << "write 0300 04 74"
                           << "256";
    QTest::newRow("no baud selected") << "141" << -1 << "write 0300 03 01"
                                      << "141";
}

void ConsoleMotionTest::CanSetting() {
    QFETCH(QString, address);
    QFETCH(int, baud);
    QFETCH(QString, frame);
    QFETCH(QString, shownAgain);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.SetText("canAddressEdit", address);
    rig.Find<QComboBox>("canBaudCombo")->setCurrentIndex(baud);
    rig.Click("settingButton");
    // No range check, no confirmation, no read-back.
    QCOMPARE(rig.Frames(), QStringList{frame});
    QCOMPARE(prompts.Texts(), QStringList());

    rig.Click("openButton");  // Close
    QVERIFY(!rig.session.IsOpen());
    rig.Click("openButton");
    QCOMPARE(rig.Text("canAddressEdit"), shownAgain);
    if (baud < 0) {
        QCOMPARE(prompts.Texts(), QStringList{"Wrong CAN baud rate"});
    } else {
        QCOMPARE(rig.Find<QComboBox>("canBaudCombo")->currentIndex(), baud);
        QCOMPARE(prompts.Texts(), QStringList());
    }
}

QTEST_MAIN(ConsoleMotionTest)
#include "console_motion_test.moc"
