// The loop page opened by the console (ShowLoopPage) over the console's own requests and test
// timers, against the simulated drive: a whole step test with its frames and plot, a cancelled
// one with its stop word, a cancelled test whose timer goes on beside the next test's box, the
// page's MotorEnabled in both modes, and the test timers ticking while the page is open inside a
// command that holds the busy guard.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/console_sim_rig.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"
#include "tuning/loop_page.h"
#include "tuning/loop_test_dlg.h"

namespace {

constexpr int kStillOpen = 99;

// Runs ShowLoopPage(modify) and `act` on the page once it shows; a page left open is closed
// with kStillOpen.
int ShowPage(CTorvaneDlg& dlg, bool modify, const std::function<void(CDlgFileNewPID*)>& act) {
    OnNextModalOf<CDlgFileNewPID>([act](CDlgFileNewPID* p) {
        act(p);
        if (p->isVisible()) p->done(kStillOpen);
    });
    return dlg.ShowLoopPage(modify);
}

void Click(QWidget* w, const char* name) {
    w->findChild<QPushButton*>(name)->click();
}

}  // namespace

class ConsoleLoopPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.1); }
    void cleanupTestCase() { torvane::SetTimeScale(1.0); }
    void SpeedTestThroughTheConsole();
    void CancelSendsTheStopWord();
    void ACancelledTestThatEndsLeavesTheNextTestsBoxAlone();
    void MotorEnabledInBothModes();
    void AutoTuneThroughTheConsole();
};

void ConsoleLoopPageTest::SpeedTestThroughTheConsole() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    rig.sim.ReportCaptureLength(8190);
    rig.Mark();
    int points = 0, lower = 0;
    // As a command that holds the busy guard around its page would run it.
    torvane::DriveSession::BusyScope busy(rig.session);
    const int result = ShowPage(*rig.dlg, true, [&](CDlgFileNewPID* p) {
        p->findChild<QLineEdit*>("speedPEdit")->setText("3");
        p->findChild<QLineEdit*>("speedIEdit")->setText("0.2");
        Click(p, "speedTestButton");  // returns once the test box has closed
        points = p->UpperChart()->SeriesAt(1)->Count();
        lower = p->LowerChart()->SeriesAt(0)->Count();
        Click(p, "nextButton");
    });
    QCOMPARE(result, 1);
    QVERIFY(rig.session.Busy());  // the guard is back
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(points, 511);
    QCOMPARE(lower, 511);
    QCOMPARE(rig.session.State().Params.Loop.SpeedLoopP, 3.0f);

    QStringList expected = {"write 200C 40 40 00 00 3E 4C CC CD 00 00 00 00",
                            "write 2501 00 00 03 E8", "write 6000 06 01"};
    const QStringList frames = rig.Frames();
    QVERIFY2(frames.size() > 5, qPrintable(frames.join('\n')));
    QCOMPARE(frames.mid(0, 3), expected);
    int at = 3;
    while (at < frames.size() && frames[at] == "read 2500 1") ++at;
    QVERIFY(at > 3);
    expected = {"read 2505 2"};
    for (int k = 0; k < 63; ++k)
        expected << "read " + QString::number(0x8000 + 128 * k, 16).toUpper() + " 128";
    expected << "read 9F80 126";
    QCOMPARE(frames.mid(at), expected);
}

void ConsoleLoopPageTest::CancelSendsTheStopWord() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(0));
    rig.Mark();
    ShowPage(*rig.dlg, true, [&](CDlgFileNewPID* p) {
        // Slow time: the drive's test and the first poll lie far ahead, so the box is still
        // open when the user cancels it.
        torvane::SetTimeScale(100);
        OnNextModalOf<CDlgFileLoopTest>([](CDlgFileLoopTest* box) { Click(box, "cancelButton"); });
        Click(p, "currentTestButton");
        torvane::SetTimeScale(0.1);
        QCOMPARE(p->UpperChart()->SeriesAt(0)->Count(), 0);
    });
    const QStringList frames = rig.Frames();
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames[2], QString("write 6000 05 01"));
    QCOMPARE(frames[3], QString("write 6000 05 00"));
    QCOMPARE(prompts.NoticeCount(), 0);
}

void ConsoleLoopPageTest::ACancelledTestThatEndsLeavesTheNextTestsBoxAlone() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(0));
    auto values = [](CTChart::Series* s) {
        QList<double> y;
        for (int32_t k = 0; k < s->Count(); ++k) y << s->Y(k);
        return y;
    };
    QList<double> plotted, shownAfterward;
    bool speedBoxOpenAfterward = false;
    QString speedBoxText;
    QStringList frames;
    ShowPage(*rig.dlg, true, [&](CDlgFileNewPID* p) {
        // A whole speed test: the chart shows its response.
        Click(p, "speedTestButton");
        plotted = values(p->UpperChart()->SeriesAt(1));
        // From here on the drive's tests end only when this test lets them.
        rig.sim.HoldLoopTests(true);
        rig.Mark();
        // The current test is cancelled, but its stop word is refused: the drive goes on with
        // it, and so does its timer.
        OnNextModalOf<CDlgFileLoopTest>([&](CDlgFileLoopTest* box) {
            rig.sim.AnswerWithResult(6, torvane::reg::kControlWord, 1);
            Click(box, "cancelButton");
        });
        Click(p, "currentTestButton");
        QVERIFY(rig.Active(CTorvaneDlg::TimerId::kCurrentTestTimer));
        // The next speed test cannot start beside it; its box opens all the same and waits for
        // the user. Meanwhile the current test ends and its timer reads it back.
        OnNextModalOf<CDlgFileLoopTest>([&](CDlgFileLoopTest* box) {
            rig.sim.HoldLoopTests(false);
            QVERIFY(WaitFor([&] { return !rig.Active(CTorvaneDlg::TimerId::kCurrentTestTimer); }));
            speedBoxOpenAfterward = box->isVisible();
            speedBoxText = box->Text();
            if (box->isVisible()) Click(box, "cancelButton");
        });
        Click(p, "speedTestButton");
        shownAfterward = values(p->UpperChart()->SeriesAt(1));
        frames = rig.Frames();
    });
    QCOMPARE(plotted.size(), 512);
    QVERIFY(speedBoxOpenAfterward);
    QCOMPARE(speedBoxText, QString::fromUtf8(CDlgFileLoopTest::kTestingText));
    // Cancelled: the chart keeps the first speed test's response.
    QVERIFY(shownAfterward == plotted);
    // The refused stop word and the refused start; no message from the current test's end.
    QCOMPARE(prompts.Texts(),
             (QStringList{"Unable to process command", "Unable to process command"}));
    // The current test's timer read its capture back, as a cancelled test's timer does.
    QVERIFY2(frames.contains("read 2408 2") && frames.contains("read 8F80 128"),
             qPrintable(frames.join('\n')));
    QCOMPARE(frames.last(), QString("write 6000 06 00"));
}

void ConsoleLoopPageTest::MotorEnabledInBothModes() {
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    // New mode before any opening for modification: the page's flag is still false.
    ShowPage(*rig.dlg, false, [](CDlgFileNewPID* p) {
        QVERIFY(!p->MotorEnabled());
        Click(p, "speedTestButton");
    });
    QCOMPARE(prompts.Texts(), QStringList{"The motor is not enabled"});
    // Modify mode takes the console's flag, and new mode keeps it afterwards.
    ShowPage(*rig.dlg, true, [](CDlgFileNewPID* p) { QVERIFY(p->MotorEnabled()); });
    ShowPage(*rig.dlg, false, [](CDlgFileNewPID* p) {
        QVERIFY(p->MotorEnabled());
        QCOMPARE(p->windowTitle(), QString::fromUtf8("环路参数-新建"));
    });
    // One page for the console's life.
    QCOMPARE(rig.dlg->findChildren<CDlgFileNewPID*>().size(), 1);
}

void ConsoleLoopPageTest::AutoTuneThroughTheConsole() {
    // The page's run ticks on its own timer and the console runs each tick on its session,
    // while the console's own timers go on beside it; inside a command that holds the busy
    // guard, as the Loop Parameters command opens the page.
    RecordingPrompts prompts;
    ConsoleSimRig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.EnableIn(1));
    rig.Mark();
    QString figures;
    torvane::DriveSession::BusyScope busy(rig.session);
    ShowPage(*rig.dlg, true, [&](CDlgFileNewPID* p) {
        Click(p, "speedAutoTuneButton");  // returns once the run is over
        figures = p->FiguresText(torvane::LoopTest::Speed);
    });
    QCOMPARE(prompts.Texts(), QStringList());
    QVERIFY2(figures.startsWith("Auto-tune, "), qPrintable(figures));
    const torvane::LoopGroup drive = rig.sim.WithBehaviour(
        [](torvane::sim::DriveBehaviour& b) { return b.Registers().Params.Loop; });
    const torvane::LoopGroup& page = rig.session.State().Params.Loop;
    QCOMPARE(page.SpeedLoopP, drive.SpeedLoopP);
    QCOMPARE(page.SpeedLoopI, drive.SpeedLoopI);
    QVERIFY(drive.SpeedLoopP != 0.8f || drive.SpeedLoopI != 0.1f);
    // Only the gain register and the tests: nothing stored.
    const QStringList frames = rig.Frames();
    QVERIFY(frames.contains("write 6000 06 01"));
    QVERIFY(!frames.contains("write 6000 04 01"));
    // The console's test timer stayed out of it.
    QVERIFY(!rig.Active(CTorvaneDlg::TimerId::kSpeedTestTimer));
}

QTEST_MAIN(ConsoleLoopPageTest)
#include "console_loop_page_test.moc"
