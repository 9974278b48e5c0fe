// The console's progress timers against the simulated drive through the real window: the page
// requests with a recording progress box registered through SetOpenBox (matching, the three
// loop tests), calibration into the Position Correction entry, and initialisation and reset
// in the real Info box, each to its ends (completion, failure, time-out through the time seam).
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "console_sim_rig.h"
#include "protocol/drive_error.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/page_requests.h"
#include "session/progress_box.h"
#include "support/recording_prompts_qt.h"

using Timer = CTorvaneDlg::TimerId;
using torvane::ProgressBoxKind;

namespace {

constexpr const char* kComplete = "Initialization is complete, please close";

QString ErrorText(uint8_t nibble) {
    return QString::fromUtf8(torvane::DriveErrorText(torvane::DriveErrorFromNibble(nibble)));
}

// Every write into the box, in order: "text ...", "caption ...", "state N", "close N".
class RecordingBox : public torvane::ProgressBox {
public:
    void SetText(const std::string& text) override {
        Events << "text " + QString::fromStdString(text);
    }
    void SetCaption(const std::string& caption) override {
        Events << "caption " + QString::fromStdString(caption);
    }
    void SetState(uint8_t state) override { Events << QString("state %1").arg(state); }
    void Close(int result) override {
        Events << QString("close %1").arg(result);
        Closed = true;
    }
    QStringList Events;
    bool Closed = false;
};

// The time scale for one test, back to the program's afterwards.
class ScopedTimeScale {
public:
    explicit ScopedTimeScale(double scale) : before_(torvane::TimeScale()) {
        torvane::SetTimeScale(scale);
    }
    ~ScopedTimeScale() { torvane::SetTimeScale(before_); }

private:
    double before_;
};

// The box's text after each tick of `timer`, recorded as the tick ends.
struct TickLog {
    TickLog(CTorvaneDlg& dlg, Timer timer) {
        auto* t = dlg.findChild<QTimer*>(QString("timer%1").arg(static_cast<int>(timer)));
        QObject::connect(t, &QTimer::timeout, &guard, [this, &dlg, timer] {
            Texts << dlg.InfoBox()->Text() + (dlg.TimerActive(timer) ? "" : " (stopped)");
        });
    }
    QObject guard;  // ends the connection with the log
    QStringList Texts;
};

QStringList Repeat(const QString& text, int times) {
    QStringList list;
    for (int i = 0; i < times; ++i) list << text;
    return list;
}

}  // namespace

class ConsoleProgressTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }

    void InfoBoxLooksAndKeys();
    void EnableFollowsInitialisation();
    void ClosingTheInfoBoxEarlyStopsNothing();
    void InitialisationTimesOut();
    void ResetCompletesOnItsFifthTick_data();
    void ResetCompletesOnItsFifthTick();
    void Calibration_data();
    void Calibration();
    void Matching_data();
    void Matching();
    void MatchingWithTheBoxClosed();
    void MatchingRequestFails();
    void LoopTests_data();
    void LoopTests();
    void LoopTestFailures_data();
    void LoopTestFailures();
};

void ConsoleProgressTest::InfoBoxLooksAndKeys() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    CDlgCommCan* box = rig.dlg->InfoBox();
    QCOMPARE(box->windowTitle(), QString("Info"));
    QVERIFY(box->findChildren<QAbstractButton*>().isEmpty());
    auto* line = box->findChild<QLabel*>("infoText");
    QVERIFY(line != nullptr);
    QCOMPARE(line->alignment(), Qt::AlignCenter);

    QVERIFY(rig.Open());
    rig.PickWorkMode(1);
    QStringList stillOpen;
    WhenInfoBoxOpens({}, nullptr, [&stillOpen](CDlgCommCan* b) {
        // Escape, Enter and Space do not close it; nothing but its close box does.
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(b, static_cast<Qt::Key>(key));
            if (b->IsOpen()) stillOpen << QKeySequence(key).toString();
        }
        // Centred over the console, and wide enough for its longest line.
        const QRect console = b->parentWidget()->geometry();
        if (qAbs(b->geometry().center().x() - console.center().x()) > 2) stillOpen << "off-centre";
        if (b->width() <
            b->fontMetrics().horizontalAdvance("Initialization timed out, please close")) {
            stillOpen << "too narrow";
        }
    });
    rig.dlg->show();
    rig.Click("enabledButton");
    QCOMPARE(stillOpen, QStringList({"Esc", "Return", "Enter", "Space"}));
    QVERIFY(!box->IsOpen());
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::EnableFollowsInitialisation() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.PickWorkMode(1);
    rig.dlg->Fields().ProgressCount = 7;  // Enabled does not clear it
    QString opened;
    bool autoUpdateOffWhileOpen = false;
    bool pollStoppedWhileOpen = false;
    WhenInfoBoxOpens([](CDlgCommCan* b) { return b->Text() == kComplete; }, &opened,
                     [&](CDlgCommCan*) {
                         autoUpdateOffWhileOpen =
                             !rig.Find<QCheckBox>("autoUpdateCheck")->isChecked() &&
                             !rig.Active(Timer::kAutoUpdateTimer);
                         pollStoppedWhileOpen = !rig.Active(Timer::kPollTimer);
                     });
    rig.Mark();
    rig.Click("enabledButton");
    QCOMPARE(opened, QString("Initializing,please wait..."));
    QVERIFY(autoUpdateOffWhileOpen);
    QVERIFY(pollStoppedWhileOpen);
    QCOMPARE(rig.dlg->InfoBox()->Text(), QString(kComplete));
    QVERIFY(!rig.Active(Timer::kInitTimer));
    QVERIFY(rig.Active(Timer::kPollTimer));
    QCOMPARE(rig.dlg->Fields().ProgressCount, 1);
    QCOMPARE(rig.Frames().mid(0, 4),
             QStringList({"read 2200 7", "write 2300 01", "write 6000 02 01", "read 2200 7"}));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::ClosingTheInfoBoxEarlyStopsNothing() {
    // Drive time runs ten times slower here, so the box is surely closed before the drive is
    // initialised (1 s).
    ScopedTimeScale slower(0.5);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.PickWorkMode(1);
    WhenInfoBoxOpens({});
    rig.Click("enabledButton");
    QVERIFY(!rig.dlg->InfoBox()->IsOpen());
    QVERIFY(rig.Active(Timer::kInitTimer));
    QVERIFY(!rig.Active(Timer::kPollTimer));
    QVERIFY(WaitFor([&] { return !rig.Active(Timer::kInitTimer); }));
    QVERIFY(rig.Active(Timer::kPollTimer));
    // Nothing was written into the closed box.
    QCOMPARE(rig.dlg->InfoBox()->Text(), QString("Initializing,please wait..."));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::InitialisationTimesOut() {
    ScopedTimeScale slower(0.5);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.PickWorkMode(1);
    // The 1250 polls are behind: the first poll that finds the drive not initialised gives up.
    rig.dlg->Fields().ProgressCount = 1250;
    WhenInfoBoxOpens([&](CDlgCommCan*) { return !rig.Active(Timer::kInitTimer); });
    rig.Click("enabledButton");
    QCOMPARE(rig.dlg->InfoBox()->Text(), QString("Initialization timed out, please close"));
    QVERIFY(!rig.Active(Timer::kPollTimer));
    QCOMPARE(rig.dlg->Fields().ProgressCount, 1);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::ResetCompletesOnItsFifthTick_data() {
    QTest::addColumn<int>("startCount");
    QTest::addColumn<int>("ticks");
    QTest::newRow("count from 0") << 0 << 5;
    QTest::newRow("count from 1") << 1 << 4;
}

void ConsoleProgressTest::ResetCompletesOnItsFifthTick() {
    QFETCH(int, startCount);
    QFETCH(int, ticks);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.dlg->Fields().ProgressCount = static_cast<uint16_t>(startCount);
    TickLog log(*rig.dlg, Timer::kResetTimer);
    WhenInfoBoxOpens([&](CDlgCommCan*) { return !rig.Active(Timer::kResetTimer); });
    rig.Mark();
    rig.Click("resetButton");
    QCOMPARE(rig.Frames(true), QStringList{"write 5001"});
    QCOMPARE(log.Texts, Repeat("Initializing,please wait...", ticks - 1)
                            << "Reset is complete, please close (stopped)");
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QVERIFY(!rig.Active(Timer::kAutoUpdateTimer));
    // Polling does not resume after a reset.
    QVERIFY(!rig.Active(Timer::kPollTimer));
    QCOMPARE(rig.dlg->Fields().ProgressCount, 1);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::Calibration_data() {
    QTest::addColumn<int>("outcome");  // torvane::sim::CalibrationOutcome
    QTest::addColumn<int>("failedReads");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("pollAgain");
    QTest::newRow("calibrated") << int(torvane::sim::CalibrationOutcome::Ok) << 0 << "Calibrated"
                                << QStringList() << true;
    // Failed reads are silent; the next tick tries again.
    QTest::newRow("calibrated after failed reads")
        << int(torvane::sim::CalibrationOutcome::Ok) << 2 << "Calibrated" << QStringList() << true;
    QTest::newRow("failed, times out") << int(torvane::sim::CalibrationOutcome::Fail) << 0
                                       << "No calibration" << QStringList{"Time Out"} << false;
    QTest::newRow("never ends, times out") << int(torvane::sim::CalibrationOutcome::Never) << 0
                                           << "No calibration" << QStringList{"Time Out"} << false;
}

void ConsoleProgressTest::Calibration() {
    QFETCH(int, outcome);
    QFETCH(int, failedReads);
    QFETCH(QString, entry);
    QFETCH(QStringList, messages);
    QFETCH(bool, pollAgain);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    rig.sim.SetCalibrationOutcome(static_cast<torvane::sim::CalibrationOutcome>(outcome));
    QVERIFY(rig.Open());
    if (failedReads > 0) rig.sim.AnswerWithResult(3, torvane::reg::kMatchingGroup, failedReads);
    QStringList texts;
    QList<int> noticesBefore;  // how many messages had been shown when each text came
    auto* correction = rig.Find<QLineEdit>("positionCorrectionEdit");
    connect(correction, &QLineEdit::textChanged, correction, [&](const QString& t) {
        texts << t;
        noticesBefore << prompts.NoticeCount();
    });
    rig.Click("correctButton");
    if (!pollAgain) {
        // The 25 s of polls are behind.
        rig.dlg->Fields().ProgressCount = 1240;
    }
    QVERIFY(WaitFor([&] { return !rig.Active(Timer::kCalibrationTimer); }));
    QCOMPARE(texts.first(), QString("Is the calibration"));
    QCOMPARE(texts.last(), entry);
    // Each poll's drive-state display writes the state read ("Not calibrated") before the tick
    // writes "Calibrating" over it.
    for (const QString& t : texts.mid(1, texts.size() - 2)) {
        QVERIFY2(t == "Calibrating" || t == "Not calibrated", qPrintable(t));
    }
    QVERIFY(pollAgain || texts.contains("Calibrating"));
    QCOMPARE(prompts.Texts(), messages);
    // "Time Out" is shown before the entry says "No calibration".
    QCOMPARE(noticesBefore.last(), messages.size());
    QCOMPARE(rig.Active(Timer::kPollTimer), pollAgain);
    QCOMPARE(rig.dlg->Fields().ProgressCount, 1);
}

void ConsoleProgressTest::Matching_data() {
    QTest::addColumn<int>("outcome");  // torvane::sim::MatchOutcome
    QTest::addColumn<QStringList>("end");
    QTest::addColumn<bool>("pollAgain");
    const QStringList waiting = {"text Matching，Please wait......", "caption Close"};
    QTest::newRow("matched") << int(torvane::sim::MatchOutcome::Ok)
                             << QStringList{"state 1", "text Match completed,please close……！",
                                            "caption close",
                                            "text Match completed, Please close……！",
                                            "caption Close"}
                             << true;
    QTest::newRow("failed") << int(torvane::sim::MatchOutcome::Fail)
                            << QStringList{"state 3", "text Failed to match. please close……！",
                                           "caption Close"}
                            << true;
    QTest::newRow("never, times out on the fourth poll")
        << int(torvane::sim::MatchOutcome::Never)
        << (waiting + waiting + waiting +
            QStringList{"text Match timeout， Please close！", "caption Close"})
        << false;
}

void ConsoleProgressTest::Matching() {
    QFETCH(int, outcome);
    QFETCH(QStringList, end);
    QFETCH(bool, pollAgain);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    rig.sim.SetMatchOutcome(static_cast<torvane::sim::MatchOutcome>(outcome));
    QVERIFY(rig.Open());
    RecordingBox box;
    torvane::PageRequests& requests = rig.dlg->Requests();
    requests.SetOpenBox(ProgressBoxKind::Matching, &box);
    QCOMPARE(requests.StartMotorMatch(), 0);
    const QStringList frames = rig.Frames();
    QCOMPARE(frames.size(), 2);
    QVERIFY(frames[0].startsWith("write 1000 "));
    QCOMPARE(frames[0].split(' ').size(), 2 + 17);
    QCOMPARE(frames[1], QString("write 6000 01 01"));
    QVERIFY(!rig.Active(Timer::kPollTimer));
    QVERIFY(rig.Active(Timer::kMatchTimer));
    QCOMPARE(rig.dlg->Fields().ProgressCount, 0);
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0);

    QVERIFY(WaitFor([&] { return !rig.Active(Timer::kMatchTimer); }));
    requests.SetOpenBox(ProgressBoxKind::Matching, nullptr);
    // Any polls before the end said "wait".
    QVERIFY(box.Events.size() >= end.size());
    QCOMPARE(box.Events.mid(box.Events.size() - end.size()), end);
    for (int i = 0; i + 1 < box.Events.size() - end.size(); i += 2) {
        QCOMPARE(box.Events.mid(i, 2),
                 QStringList({"text Matching，Please wait......", "caption Close"}));
    }
    QCOMPARE(rig.Active(Timer::kPollTimer), pollAgain);
    QCOMPARE(rig.dlg->Fields().ProgressCount, 0);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::MatchingWithTheBoxClosed() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    RecordingBox box;
    torvane::PageRequests& requests = rig.dlg->Requests();
    requests.SetOpenBox(ProgressBoxKind::Matching, &box);
    QCOMPARE(requests.StartMotorMatch(), 0);
    // The page's box is closed while matching: the request writes nothing, the timer goes on.
    requests.SetOpenBox(ProgressBoxKind::Matching, nullptr);
    rig.Mark();
    QCOMPARE(requests.CancelMotorMatch(), 0);
    QCOMPARE(rig.Frames(), QStringList());
    QVERIFY(rig.Active(Timer::kMatchTimer));
    QVERIFY(WaitFor([&] { return !rig.Active(Timer::kMatchTimer); }));
    QVERIFY(rig.Active(Timer::kPollTimer));
    QCOMPARE(box.Events, QStringList());
    // A drive-state read while no box is open writes nowhere.
    requests.SetOpenBox(ProgressBoxKind::Matching, nullptr);
    rig.Click("getResultsButton");
    QCOMPARE(box.Events, QStringList());
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleProgressTest::MatchingRequestFails() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    rig.sim.AnswerWithResult(7, torvane::reg::kControlWord, 1);
    QCOMPARE(rig.dlg->Requests().StartMotorMatch(), 1);
    QCOMPARE(prompts.Texts(), QStringList{ErrorText(7)});
    QCOMPARE(rig.Frames().size(), 2);
    QVERIFY(!rig.Active(Timer::kMatchTimer));
    QVERIFY(rig.Active(Timer::kPollTimer));
}

namespace {

struct LoopTest {
    uint8_t (torvane::PageRequests::*Start)();
    uint8_t (torvane::PageRequests::*Stop)();
    Timer Id;
    ProgressBoxKind Box;
};

LoopTest LoopTestOf(int which) {
    using R = torvane::PageRequests;
    switch (which) {
        case 1:
            return {&R::StartSpeedLoopTest, &R::StopSpeedLoopTest, Timer::kSpeedTestTimer,
                    ProgressBoxKind::SpeedLoopTest};
        case 2:
            return {&R::StartPositionLoopTest, &R::StopPositionLoopTest, Timer::kPositionTestTimer,
                    ProgressBoxKind::PositionLoopTest};
        default:
            return {&R::StartCurrentLoopTest, &R::StopCurrentLoopTest, Timer::kCurrentTestTimer,
                    ProgressBoxKind::CurrentLoopTest};
    }
}

}  // namespace

void ConsoleProgressTest::LoopTests_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QStringList>("start");  // the writes of the start request
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("status");
    QTest::newRow("current") << 0 << QStringList{"2000", "2401", "6000 05 01"} << "6000 05 00"
                             << "read 2400 1";
    QTest::newRow("speed") << 1 << QStringList{"200C", "2501", "6000 06 01"} << "6000 06 00"
                           << "read 2500 1";
    QTest::newRow("position") << 2 << QStringList{"2018", "2601", "6000 07 01"} << "6000 07 00"
                              << "read 2600 1";
}

void ConsoleProgressTest::LoopTests() {
    QFETCH(int, which);
    QFETCH(QStringList, start);
    QFETCH(QString, stop);
    QFETCH(QString, status);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    const LoopTest test = LoopTestOf(which);
    torvane::PageRequests& requests = rig.dlg->Requests();
    RecordingBox box;
    requests.SetOpenBox(test.Box, &box);
    QCOMPARE((requests.*test.Start)(), 0);
    const QStringList frames = rig.Frames();
    QCOMPARE(frames.size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(frames[i].startsWith("write " + start[i]), qPrintable(frames[i]));
    QVERIFY(rig.Active(test.Id));
    // The loop tests leave the status poll running.
    QVERIFY(rig.Active(Timer::kPollTimer));
    QCOMPARE(rig.dlg->Fields().LastControlWord, 0x0201);

    QVERIFY(WaitFor([&] { return box.Closed; }));
    requests.SetOpenBox(test.Box, nullptr);
    QCOMPARE(box.Events, QStringList({"text Test completed and reading data……", "close 1"}));
    QVERIFY(!rig.Active(test.Id));
    const QStringList after = rig.Frames().mid(3);
    QVERIFY(after.contains(status));
    QVERIFY(after.contains("read 8000 128"));
    QCOMPARE(prompts.Texts(), QStringList());

    // The stop request writes its word only.
    rig.Mark();
    QCOMPARE((requests.*test.Stop)(), 0);
    QCOMPARE(rig.Frames(), QStringList{"write " + stop});
    QVERIFY(!rig.Active(test.Id));
}

void ConsoleProgressTest::LoopTestFailures_data() {
    QTest::addColumn<int>("failing");  // 0 the start's first write, 1 the status read,
                                       // 2 the read-back, 3 the stop word
    QTest::addColumn<QStringList>("events");
    QTest::newRow("start request") << 0 << QStringList();
    QTest::newRow("status read") << 1 << QStringList{"state 3", "text Test error, please close……"};
    QTest::newRow("read-back") << 2
                               << QStringList{"text Test completed and reading data……", "state 3",
                                              "text Test error, please close……", "close 3"};
    QTest::newRow("stop request") << 3 << QStringList();
}

void ConsoleProgressTest::LoopTestFailures() {
    QFETCH(int, failing);
    QFETCH(QStringList, events);
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    torvane::PageRequests& requests = rig.dlg->Requests();
    RecordingBox box;
    requests.SetOpenBox(ProgressBoxKind::SpeedLoopTest, &box);
    const torvane::RegisterAddress failingAddress[] = {
        torvane::reg::kSpeedLoopGains, torvane::reg::kSpeedTestStatus,
        torvane::reg::kSpeedTestLength, torvane::reg::kControlWord};
    rig.sim.AnswerWithResult(8, failingAddress[failing], 1);
    if (failing == 3) {
        QCOMPARE(requests.StopSpeedLoopTest(), 1);
        QCOMPARE(prompts.Texts(), QStringList{ErrorText(8)});
        return;
    }
    const uint8_t started = requests.StartSpeedLoopTest();
    if (failing == 0) {
        QCOMPARE(started, 1);
        QCOMPARE(rig.Frames().size(), 1);
        QVERIFY(!rig.Active(Timer::kSpeedTestTimer));
    } else {
        QCOMPARE(started, 0);
        QVERIFY(WaitFor([&] { return !rig.Active(Timer::kSpeedTestTimer); }));
    }
    requests.SetOpenBox(ProgressBoxKind::SpeedLoopTest, nullptr);
    QCOMPARE(box.Events, events);
    QCOMPARE(prompts.Texts(), QStringList{ErrorText(8)});
}

QTEST_MAIN(ConsoleProgressTest)
#include "console_progress_test.moc"
