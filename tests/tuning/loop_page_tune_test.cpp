// The loop page's Auto-tune buttons against the simulated drive: the page, its "Auto-tune" box
// and timer, the console's side played by the core requests on the real session and port. A
// whole run (faint tries, the best, the entries, start -> result, Next), the box's Cancel, a
// lost drive, and the Test button's refusals; what the drive's gain register holds afterwards
// and that nothing reached its flash.
#include <qcustomplot.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cstring>

#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"
#include "tuning/auto_tune_box.h"
#include "tuning/auto_tune_run.h"
#include "tuning/loop_page.h"
#include "tuning/loop_page_rig.h"
#include "tuning/loop_page_steps.h"

using looprig::Frame;
using looprig::FramesOf;
using torvane::LoopTest;
namespace reg = torvane::reg;

namespace {

constexpr double kScale = 0.05;  // the drive's 1 s test takes 50 ms
constexpr int kWaitMs = 30000;   // generous: the machine may be loaded

torvane::LoopGroup DriveLoop(looprig::DriveRig& rig) {
    return rig.drive.WithBehaviour(
        [](torvane::sim::DriveBehaviour& b) { return b.Registers().Params.Loop; });
}

torvane::LoopGroup StoredLoop(looprig::DriveRig& rig) {
    return rig.drive.WithBehaviour(
        [](torvane::sim::DriveBehaviour& b) { return b.StoredParameters().Loop; });
}

bool SameLoop(const torvane::LoopGroup& a, const torvane::LoopGroup& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

QString Entries(QWidget* page, const char* prefix) {
    QStringList texts;
    for (const char* term : {"P", "I", "D"})
        texts << W<QLineEdit>(page, (std::string(prefix) + term + "Edit").c_str())->text();
    return texts.join(',');
}

// The writes to register `address`, each as its floats.
QList<QList<float>> GainWrites(const std::vector<Frame>& frames, uint16_t address) {
    QList<QList<float>> out;
    for (const Frame& f : frames) {
        if (f.Function != 2 || f.Address != address || f.Data.size() != 12) continue;
        QList<float> g;
        for (int k = 0; k < 3; ++k) g << torvane::GetFloatBE(f.Data.data() + 4 * k);
        out << g;
    }
    return out;
}

bool Stored(const std::vector<Frame>& frames) {
    for (const Frame& f : frames) {
        if (f.Function == 2 && f.Address == reg::kControlWord && f.Data == looprig::WordBE(0x0401))
            return true;
    }
    return false;
}

bool Polled(const torvane::sim::SimulatedDrive& drive, uint16_t status) {
    for (const Frame& f : FramesOf(drive))
        if (f.Function == 1 && f.Address == status) return true;
    return false;
}

}  // namespace

class LoopPageTuneTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(kScale); }
    void cleanupTestCase() { torvane::SetTimeScale(1.0); }
    void WholeRun();
    void CancelPutsTheOriginalGainsBack_data();
    void CancelPutsTheOriginalGainsBack();
    void LostDriveNamesTheGainsItMayHold();
    void Refusals_data();
    void Refusals();
};

void LoopPageTuneTest::WholeRun() {
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    const torvane::LoopGroup stored = StoredLoop(rig);
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetModifyMode(true);
    page.SetMotorEnabled(true);
    QString progress, best;
    int triesSeen = 0, bestPoints = 0;
    bool bestInFront = false;
    int result = RunPage(page, [&](CDlgFileNewPID* p) {
        OnNextModalOf<AutoTuneBox>([&](AutoTuneBox* box) {
            // Two tests in: both drawn faintly, the better one in the normal colours.
            QTRY_VERIFY_WITH_TIMEOUT(p->TriedResponses() >= 2 || !box->isVisible(), kWaitMs);
            if (!box->isVisible()) return;
            triesSeen = p->TriedResponses();
            progress = box->Progress();
            best = box->Best();
            bestPoints = p->UpperChart()->SeriesAt(1)->Count();
            bestInFront = p->UpperChart()->SeriesAt(1)->Graph()->layer()->index() >
                          p->UpperChart()->Plot()->layer("beneath")->index();
        });
        W<QPushButton>(p, "speedAutoTuneButton")->click();  // returns once the box has closed
        QVERIFY(!p->TuneBox()->isVisible());
        W<QPushButton>(p, "nextButton")->click();
    });
    QCOMPARE(result, 1);
    QCOMPARE(prompts.Texts(), QStringList());
    QVERIFY(triesSeen >= 2);
    QVERIFY2(QRegularExpression("^Test \\d+ of at most 30$").match(progress).hasMatch(),
             qPrintable(progress));
    QVERIFY2(best.startsWith("Best so far: test ") && best.contains("\nIAE "), qPrintable(best));
    QCOMPARE(bestPoints, 512);
    QVERIFY(bestInFront);

    // The drive holds the tuned gains; the entries show them exactly, and Next stored them.
    const torvane::LoopGroup drive = DriveLoop(rig);
    const torvane::LoopGroup& set = rig.state.Params.Loop;
    QCOMPARE(set.SpeedLoopP, drive.SpeedLoopP);
    QCOMPARE(set.SpeedLoopI, drive.SpeedLoopI);
    QCOMPARE(set.SpeedLoopD, drive.SpeedLoopD);
    QVERIFY(drive.SpeedLoopP != 0.8f || drive.SpeedLoopI != 0.1f);
    const QList<QList<float>> writes = GainWrites(FramesOf(rig.drive), reg::kSpeedLoopGains);
    QVERIFY(writes.size() >= 3);
    QCOMPARE(writes.front(), (QList<float>{0.8f, 0.1f, 0}));
    QCOMPARE(writes.back(), (QList<float>{drive.SpeedLoopP, drive.SpeedLoopI, drive.SpeedLoopD}));
    QVERIFY(writes.mid(0, writes.size() - 1).contains(writes.back()));  // a tested one
    QVERIFY(!Stored(FramesOf(rig.drive)));
    QVERIFY(SameLoop(StoredLoop(rig), stored));

    // Start -> result beside the charts; the start as the previous response, the tries gone.
    const QString tuned = QString::fromStdString(torvane::GainsText(
        {drive.SpeedLoopP, drive.SpeedLoopI, drive.SpeedLoopD}));
    const QString figures = page.FiguresText(LoopTest::Speed);
    QVERIFY2(figures.startsWith(QString::fromUtf8("Auto-tune, ")), qPrintable(figures));
    QVERIFY2(figures.contains(QString::fromUtf8("\nP 0.8, I 0.1, D 0\n→ ") + tuned + "\n"),
             qPrintable(figures));
    QVERIFY(figures.contains(QString::fromUtf8("IAE per unit step: ")));
    QCOMPARE(page.TriedResponses(), 0);
    QCOMPARE(page.PreviousSeries()->Count(), 512);
    QCOMPARE(page.PreviousSeries()->Title(), QString("previous (P 0.8, I 0.1, D 0)"));
    QCOMPARE(page.UpperChart()->SeriesAt(1)->Count(), 512);
}

void LoopPageTuneTest::CancelPutsTheOriginalGainsBack_data() {
    QTest::addColumn<bool>("typed");  // gains typed before the run, and Cancel in its first test
    QTest::newRow("typed gains, in the first test") << true;
    QTest::newRow("the drive's gains, after the first test") << false;
}

void LoopPageTuneTest::CancelPutsTheOriginalGainsBack() {
    QFETCH(bool, typed);
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    rig.drive.HoldLoopTests(typed);  // the first test runs until the user cancels
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    QString entries;
    RunPage(page, [&](CDlgFileNewPID* p) {
        if (typed) {
            W<QLineEdit>(p, "speedPEdit")->setText("2");
            W<QLineEdit>(p, "speedIEdit")->setText("1");
        }
        OnNextModalOf<AutoTuneBox>([&](AutoTuneBox* box) {
            if (typed) {
                QTRY_VERIFY_WITH_TIMEOUT(Polled(rig.drive, reg::kSpeedTestStatus), kWaitMs);
                QCOMPARE(box->Progress(), QString("Test 1 of at most 30"));
                QCOMPARE(box->Best(), QString("No test finished yet"));
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(p->TriedResponses() >= 1, kWaitMs);
            }
            W<QPushButton>(box, "cancelButton")->click();
        });
        W<QPushButton>(p, "speedAutoTuneButton")->click();
        entries = Entries(p, "speed");
    });
    QCOMPARE(prompts.Texts(), QStringList{"Auto-tune cancelled. The speed loop's original gains "
                                          "P 0.8, I 0.1, D 0 were written back."});
    const std::vector<Frame> frames = FramesOf(rig.drive);
    const QList<QList<float>> writes = GainWrites(frames, reg::kSpeedLoopGains);
    QCOMPARE(writes.back(), (QList<float>{0.8f, 0.1f, 0}));
    QCOMPARE(frames.back().Address, reg::kSpeedLoopGains);
    const torvane::LoopGroup drive = DriveLoop(rig);
    QCOMPARE(drive.SpeedLoopP, 0.8f);
    QCOMPARE(drive.SpeedLoopI, 0.1f);
    QCOMPARE(entries, QString("0.8,0.1,0"));
    QCOMPARE(page.TriedResponses(), 0);
    QVERIFY(!Stored(frames));
    if (typed) {
        // The tested gains, the test's start and stop words, the original gains.
        QCOMPARE(writes, (QList<QList<float>>{{2, 1, 0}, {0.8f, 0.1f, 0}}));
        const Frame& stop = frames[frames.size() - 2];
        QCOMPARE(stop.Address, reg::kControlWord);
        QVERIFY(stop.Data == looprig::WordBE(0x0600));
        // No response of the gains the drive holds: nothing is drawn.
        QCOMPARE(page.UpperChart()->SeriesAt(1)->Count(), 0);
        QCOMPARE(page.FiguresText(LoopTest::Speed), QString("No test yet"));
    } else {
        // The first test ran the gains the drive holds again: its response and figures.
        QCOMPARE(writes.front(), (QList<float>{0.8f, 0.1f, 0}));
        QCOMPARE(page.UpperChart()->SeriesAt(1)->Count(), 512);
        QVERIFY2(page.FiguresText(LoopTest::Speed).startsWith("P 0.8, I 0.1, D 0\nRise time"),
                 qPrintable(page.FiguresText(LoopTest::Speed)));
    }
}

void LoopPageTuneTest::LostDriveNamesTheGainsItMayHold() {
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    rig.drive.HoldLoopTests(true);
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    QString entries;
    bool closedByItself = false;
    RunPage(page, [&](CDlgFileNewPID* p) {
        W<QLineEdit>(p, "speedPEdit")->setText("2");
        W<QLineEdit>(p, "speedIEdit")->setText("1");
        OnNextModalOf<AutoTuneBox>([&](AutoTuneBox* box) {
            QTRY_VERIFY_WITH_TIMEOUT(Polled(rig.drive, reg::kSpeedTestStatus), kWaitMs);
            rig.drive.HangUp();
            QTRY_VERIFY_WITH_TIMEOUT(!box->isVisible(), kWaitMs);
            closedByItself = true;
        });
        W<QPushButton>(p, "speedAutoTuneButton")->click();
        entries = Entries(p, "speed");
    });
    QVERIFY(closedByItself);
    QCOMPARE(prompts.Texts(),
             QStringList{"Device no response\nAuto-tune stopped: the drive does not answer. The "
                         "speed loop may still hold the gains of test 1: P 2, I 1, D 0."});
    const torvane::LoopGroup drive = DriveLoop(rig);
    QCOMPARE(drive.SpeedLoopP, 2.0f);
    QCOMPARE(drive.SpeedLoopI, 1.0f);
    // The page agrees with what the drive may hold.
    QCOMPARE(entries, QString("2,1,0"));
    QCOMPARE(rig.state.Params.Loop.SpeedLoopP, 2.0f);
    QCOMPARE(page.UpperChart()->SeriesAt(1)->Count(), 0);
}

void LoopPageTuneTest::Refusals_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("matchMarks");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("not enabled") << "speedAutoTuneButton" << false << 1 << "" << ""
                                 << "The motor is not enabled";
    QTest::newRow("current, not matched")
        << "currentAutoTuneButton" << true << 0 << "" << "" << "Motor does not match";
    QTest::newRow("gain out of range")
        << "positionAutoTuneButton" << true << 1 << "positionPEdit" << "2.6"
        << QString::fromUtf8("P value of position loop，input overrun \n allowed band Greater "
                             "than 0  and less than 2.5");
    QTest::newRow("set speed out of range")
        << "speedAutoTuneButton" << true << 1 << "setSpeedEdit" << "-1"
        << QString::fromUtf8("Set speed，input overrun\nallowed band 0 up to ");
}

void LoopPageTuneTest::Refusals() {
    QFETCH(QString, button);
    QFETCH(bool, enabled);
    QFETCH(int, matchMarks);
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, message);
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    rig.state.Params.Matching.MatchMarks = uint8_t(matchMarks);
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(enabled);
    RunPage(page, [&](CDlgFileNewPID* p) {
        if (!edit.isEmpty()) W<QLineEdit>(p, qPrintable(edit))->setText(text);
        W<QPushButton>(p, qPrintable(button))->click();
    });
    QCOMPARE(prompts.Texts().size(), 1);
    QVERIFY2(prompts.Texts().front().startsWith(message), qPrintable(prompts.Texts().front()));
    QVERIFY(FramesOf(rig.drive).empty());
}

QTEST_MAIN(LoopPageTuneTest)
#include "loop_page_tune_test.moc"
