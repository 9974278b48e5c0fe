// The Live Preview's Record button through the real console against the simulated drive, its
// live status held at known values: the save dialog's proposal, Auto Update ticked, a row for
// each live reply with the values the Live Preview shows, the count on the button, and the end
// of a recording by the button, a closed port and a lost one, with the file whole each time; a
// file that cannot be created, a cancelled dialog and a closed port.
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/console_sim_rig.h"
#include "app/live_preview_panel.h"
#include "serial/timing.h"
#include "support/recording_prompts_qt.h"

using Timer = CTorvaneDlg::TimerId;
using Icon = UserPrompts::Icon;

namespace {

QStringList FileLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.readAll();
    if (!all.endsWith('\n')) return {"(the last line is not whole)"};
    return QString::fromUtf8(all).split('\n', Qt::SkipEmptyParts);
}

QStringList DataRows(const QStringList& lines) {
    QStringList rows;
    for (const QString& l : lines) {
        if (!l.startsWith('#') && !l.startsWith("time_s")) rows << l;
    }
    return rows;
}

struct RecordRig : ConsoleSimRig {
    RecordRig() : ConsoleSimRig(Options()) {
        torvane::sim::LiveStatus live;
        live.Temperature = 30;
        live.MotorState = 0;
        live.FaultWord = 0x0001;
        live.Speed = 120;
        live.Position = 65535;
        live.PhaseCurrent = 0.75f;
        live.BusVoltage = 48.5f;
        sim.WithBehaviour([&](torvane::sim::DriveBehaviour& b) {
            b.HoldLive(live);
            return 0;
        });
    }
    static torvane::sim::SimOptions Options() {
        torvane::sim::SimOptions o;
        o.Pacing = false;
        return o;
    }
    QPushButton* Record() const { return Find<QPushButton>("recordButton"); }
    // Starts a recording into `path` with the button; the live timer's ticks are the test's.
    void StartInto(const QString& path, RecordingPrompts& prompts) {
        prompts.QueueFileName(path);
        Record()->click();
        dlg->StopTimer(Timer::kAutoUpdateTimer);
    }
};

}  // namespace

class ConsoleRecordTest : public QObject {
    Q_OBJECT

private slots:
    void init() { torvane::SetTimeScale(0.05); }
    void cleanup() { torvane::SetTimeScale(1.0); }
    void RowsAsTheLivePreviewShowsThem();
    void EndsWithTheConnection_data();
    void EndsWithTheConnection();
    void RefusalsLeaveTheButtonReleased_data();
    void RefusalsLeaveTheButtonReleased();
};

void ConsoleRecordTest::RowsAsTheLivePreviewShowsThem() {
    QTemporaryDir dir;
    RecordingPrompts prompts;
    RecordRig rig;
    QVERIFY(rig.Open());
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    const QString path = dir.filePath("live.csv");
    rig.StartInto(path, prompts);
    QCOMPARE(prompts.Entries().size(), size_t(1));
    const RecordingPrompts::Entry& dialog = prompts.Entries()[0];
    QCOMPARE(dialog.kind, RecordingPrompts::Kind::SaveFile);
    QCOMPARE(dialog.filter, QString("CSV File(*.csv)"));
    QVERIFY2(QRegularExpression(R"(^Live\d{8}-\d{6}\.csv$)").match(dialog.initial).hasMatch(),
             qPrintable(dialog.initial));
    QVERIFY(rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QVERIFY(rig.Record()->isChecked());
    for (int i = 0; i < 3; ++i) rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(rig.Record()->text(), QString("Recording: 3"));
    // The values the Live Preview shows now.
    const QString shown = QStringList{rig.Text("busbarVoltageEdit"),
                                      rig.Text("phaseCurrentEdit"),
                                      rig.Text("currentSpeedEdit"),
                                      rig.Text("motorPositionEdit"),
                                      rig.Text("outputAxisPositionEdit"),
                                      rig.Text("outputAxisAngleEdit"),
                                      rig.Text("motorTemperatureEdit")}
                              .join(',');
    QCOMPARE(shown, QString("48.5,0.75,120,65535,65535,360.00000,30"));
    rig.Record()->click();  // released
    QVERIFY(!rig.dlg->Recording());
    QCOMPARE(rig.Record()->text(), QString("Record"));

    const QStringList lines = FileLines(path);
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[0], QString("# Torvane live record"));
    QCOMPARE(lines[1], QString("# model: KVD417"));
    QCOMPARE(lines[2], "# port: " + QString::fromStdString(rig.sim.SlavePath()));
    QVERIFY(lines[3].startsWith("# started: "));
    QCOMPARE(lines[4], QString("# period_ms: 50"));
    QCOMPARE(lines[5], QString("time_s,busbar_voltage_V,phase_current_A,current_speed_rpm,"
                               "motor_position_P,output_axis_position_P,output_axis_angle_deg,"
                               "motor_temperature_C,motor_state,fault_word"));
    const QStringList rows = DataRows(lines);
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[0].startsWith("0.000,"));
    for (const QString& row : rows) QCOMPARE(row.section(',', 1), shown + ",0,1");
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleRecordTest::EndsWithTheConnection_data() {
    QTest::addColumn<bool>("lost");
    QTest::newRow("port closed") << false;
    QTest::newRow("port lost") << true;
}

void ConsoleRecordTest::EndsWithTheConnection() {
    QFETCH(bool, lost);
    QTemporaryDir dir;
    RecordingPrompts prompts;
    RecordRig rig;
    QVERIFY(rig.Open());
    const QString path = dir.filePath("live.csv");
    rig.StartInto(path, prompts);
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    if (lost) {
        rig.sim.HangUp();
        QVERIFY(WaitFor([&] { return !rig.session.IsOpen() && !rig.dlg->Recording(); }));
    } else {
        rig.Click("openButton");  // Close
        QVERIFY(!rig.session.IsOpen());
    }
    QVERIFY(!rig.dlg->Recording());
    QVERIFY(!rig.Record()->isChecked());
    QCOMPARE(rig.Record()->text(), QString("Record"));
    QCOMPARE(DataRows(FileLines(path)).size(), 2);
}

void ConsoleRecordTest::RefusalsLeaveTheButtonReleased_data() {
    QTest::addColumn<QString>("situation");  // "no port", "cancelled", "unwritable"
    QTest::newRow("no port") << "no port";
    QTest::newRow("dialog cancelled") << "cancelled";
    QTest::newRow("file cannot be created") << "unwritable";
}

void ConsoleRecordTest::RefusalsLeaveTheButtonReleased() {
    QFETCH(QString, situation);
    QTemporaryDir dir;
    RecordingPrompts prompts;
    RecordRig rig;
    if (situation != "no port") QVERIFY(rig.Open());
    const QString target = dir.filePath("missing/live.csv");
    if (situation == "unwritable") prompts.QueueFileName(target);
    rig.Record()->click();
    QVERIFY(!rig.Record()->isChecked());
    QVERIFY(!rig.dlg->Recording());
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    if (situation == "no port") {
        QCOMPARE(prompts.Texts(), QStringList{"The serial port is not open"});
    } else if (situation == "cancelled") {
        QCOMPARE(prompts.Texts(), QStringList());
    } else {
        QCOMPARE(prompts.Texts(),
                 QStringList{"cannot create " + target + ": No such file or directory"});
        QCOMPARE(prompts.LastIcon(), Icon::Error);
    }
}

QTEST_MAIN(ConsoleRecordTest)
#include "console_record_test.moc"
