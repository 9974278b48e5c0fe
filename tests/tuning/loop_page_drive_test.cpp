// The loop page's step tests against the simulated drive: the page's Test buttons, the
// console's requests and test timers (their core functions on Qt timers), the real session and
// port. Checks the exact frames the drive receives (gains, test parameters, start word, status
// polls, the length read, the 0x8000 + 128·k blocks), the points plotted from what it sent,
// the stop words of a cancelled test, the failure paths, and that better gains give better
// figures.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <functional>

#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"
#include "tuning/loop_page.h"
#include "tuning/loop_page_rig.h"
#include "tuning/loop_page_steps.h"
#include "tuning/loop_test_dlg.h"
#include "tuning/step_test_analysis.h"
#include "tuning/test_records.h"

using looprig::Frame;
using looprig::FramesOf;
using torvane::LoopTest;
namespace reg = torvane::reg;

namespace {

// A 500 ms poll takes 100 ms and a reply may take 1 s before it counts as missing: quick, and
// still safe on a loaded machine.
constexpr double kScale = 0.2;
constexpr int kWaitMs = 20000;  // generous: the machine may be loaded

const char* kButtons[] = {"currentTestButton", "speedTestButton", "positionTestButton"};

struct Registers {
    uint16_t Gains, Params, Status, Length, Start, Stop;
};
constexpr Registers kRegisters[] = {
    {0x2000, 0x2401, 0x2400, 0x2408, 0x0501, 0x0500},
    {0x200C, 0x2501, 0x2500, 0x2505, 0x0601, 0x0600},
    {0x2018, 0x2601, 0x2600, 0x2611, 0x0701, 0x0700},
};

QString Describe(const Frame& f) {
    QString s =
        QString("%1 %2 %3").arg(f.Function == 1 ? "R" : "W").arg(f.Address, 4, 16, QChar('0'));
    s += QString(" %1").arg(f.Count);
    for (uint8_t b : f.Data) s += QString(" %1").arg(b, 2, 16, QChar('0'));
    return s;
}

// Checks the frames of one completed test: the three writes, one status read or more, the
// length read and the blocks of `bytes`.
void CheckRunFrames(const std::vector<Frame>& frames, LoopTest test,
                    const std::vector<uint8_t>& gains, const std::vector<uint8_t>& params,
                    size_t bytes) {
    const Registers& r = kRegisters[size_t(test)];
    QVERIFY2(frames.size() >= 5, qPrintable(QString::number(frames.size())));
    QCOMPARE(Describe(frames[0]), Describe({2, r.Gains, 12, gains}));
    QCOMPARE(Describe(frames[1]), Describe({2, r.Params, uint8_t(params.size()), params}));
    QCOMPARE(Describe(frames[2]), Describe({2, 0x6000, 2, looprig::WordBE(r.Start)}));
    size_t at = 3;
    while (at < frames.size() && frames[at].Function == 1 && frames[at].Address == r.Status) {
        QCOMPARE(frames[at].Count, uint8_t(1));
        ++at;
    }
    QVERIFY(at > 3);  // polled at least once
    QVERIFY(at < frames.size());
    QCOMPARE(Describe(frames[at++]), Describe({1, r.Length, 2, {}}));
    for (size_t offset = 0; offset < bytes; offset += 128, ++at) {
        QVERIFY(at < frames.size());
        const auto count = uint8_t(std::min<size_t>(128, bytes - offset));
        QCOMPARE(Describe(frames[at]), Describe({1, uint16_t(0x8000 + offset), count, {}}));
    }
    QCOMPARE(at, frames.size());
}

}  // namespace

class LoopPageDriveTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(kScale); }
    void cleanupTestCase() { torvane::SetTimeScale(1.0); }
    void FullRuns_data();
    void FullRuns();
    void CancelSendsTheStopWord_data();
    void CancelSendsTheStopWord();
    void StartRefusedByTheDrive();
    void FailedStatusRead();
    void FailedReadBack();
    void BetterGainsBetterFigures();
};

void LoopPageDriveTest::FullRuns_data() {
    QTest::addColumn<int>("test");
    QTest::addColumn<int>("reported");  // the byte count the drive reports; 0: its own
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("points");
    QTest::newRow("current") << int(LoopTest::Current) << 0 << 4096 << 512;
    QTest::newRow("speed, 8190 bytes") << int(LoopTest::Speed) << 8190 << 8190 << 511;
    QTest::newRow("position") << int(LoopTest::Position) << 0 << 8192 << 512;
}

void LoopPageDriveTest::FullRuns() {
    QFETCH(int, test);
    QFETCH(int, reported);
    QFETCH(int, bytes);
    QFETCH(int, points);
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    if (reported != 0) rig.drive.ReportCaptureLength(uint16_t(reported));
    rig.state.OneLoopEncoderValue = 4096;
    rig.state.ReductionRatio = 10;
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    const LoopTest loop = LoopTest(test);

    std::vector<uint8_t> gains, params;
    switch (loop) {
        case LoopTest::Current:
            gains = looprig::FloatsBE({3, 2, 0});
            params = {0x00, 0x3F, 0xC0, 0x00, 0x00, 0x00, 0x00};  // step, 1.5 A, 0 Hz
            break;
        case LoopTest::Speed:
            gains = looprig::FloatsBE({3, 0.2f, 0});
            params = {0x00, 0x00, 0x02, 0x96};  // 662 rpm ("662.9" read as an integer)
            break;
        case LoopTest::Position:
            gains = looprig::FloatsBE({2, 0, 0.1f});
            // Acceleration 1000 (the application's), 0, maximum speed 1000, -90 degrees with
            // 4096 counts and a ratio of 10: -10240 counts.
            params = {0x00, 0x00, 0x03, 0xE8, 0,    0,    0,    0,
                      0x00, 0x00, 0x03, 0xE8, 0xFF, 0xFF, 0xD8, 0x00};
            break;
    }
    RunPage(page, [&](CDlgFileNewPID* p) {
        const char* edits[3][3] = {{"currentPEdit", "currentIEdit", "currentDEdit"},
                                   {"speedPEdit", "speedIEdit", "speedDEdit"},
                                   {"positionPEdit", "positionIEdit", "positionDEdit"}};
        const char* texts[3][3] = {{"3", "2", "0"}, {"3", "0.2", "0"}, {"2", "0", "0.1"}};
        for (int k = 0; k < 3; ++k) W<QLineEdit>(p, edits[test][k])->setText(texts[test][k]);
        W<QLineEdit>(p, "currentAmplitudeEdit")->setText("1.5");
        W<QLineEdit>(p, "setSpeedEdit")->setText("662.9");
        W<QLineEdit>(p, "targetPositionEdit")->setText("-90");
        W<QPushButton>(p, kButtons[test])->click();  // returns once the test box has closed
    });
    QCOMPARE(prompts.Texts(), QStringList());
    CheckRunFrames(FramesOf(rig.drive), loop, gains, params, size_t(bytes));
    if (QTest::currentTestFailed()) return;

    CTChart::Series* set = page.UpperChart()->SeriesAt(0);
    CTChart::Series* actual = page.UpperChart()->SeriesAt(1);
    CTChart::Series* deviation = page.UpperChart()->SeriesAt(2);
    CTChart::Series* lower = page.LowerChart()->SeriesAt(0);
    QCOMPARE(set->Count(), points);
    QCOMPARE(actual->Count(), points);
    QCOMPARE(deviation->Count(), loop == LoopTest::Position ? points : 0);
    QCOMPARE(lower->Count(), loop == LoopTest::Current ? 0 : points);

    const auto capture = std::span<const uint8_t>(rig.state.CaptureBuffer);
    if (loop == LoopTest::Position) {
        // The drive's speeds are negative for this move: the division truncates toward zero.
        const auto records = torvane::DecodePositionTestRecords(capture, size_t(bytes));
        bool truncated = false;
        for (int k = 0; k < points; ++k) {
            const auto& r = records[size_t(k)];
            QCOMPARE(lower->Y(k), double(r.FourthValue / 10));
            QCOMPARE(deviation->Y(k), double(int64_t(r.ActualValue) - r.SetValue));
            QCOMPARE(set->X(k), double(r.PeriodIndex));
            truncated |= r.FourthValue < 0 && r.FourthValue % 10 != 0;
        }
        QVERIFY(truncated);
    } else if (loop == LoopTest::Speed) {
        const auto records = torvane::DecodeSpeedTestRecords(capture, size_t(bytes));
        QCOMPARE(set->X(points - 1), double(records.back().PeriodIndex));
        QCOMPARE(lower->Y(100), double(records[100].FourthValue));
    } else {
        QCOMPARE(set->X(points - 1), double(points - 1));
        QCOMPARE(set->Y(points - 1), 1.5);
    }
    QVERIFY(page.FiguresText(loop).contains("Rise time"));
}

void LoopPageDriveTest::CancelSendsTheStopWord_data() {
    QTest::addColumn<int>("test");
    QTest::newRow("current 0x0500") << int(LoopTest::Current);
    QTest::newRow("speed 0x0600") << int(LoopTest::Speed);
    QTest::newRow("position 0x0700") << int(LoopTest::Position);
}

void LoopPageDriveTest::CancelSendsTheStopWord() {
    QFETCH(int, test);
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    rig.state.OneLoopEncoderValue = 4096;
    rig.state.ReductionRatio = 1;
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    RunPage(page, [&](CDlgFileNewPID* p) {
        W<QLineEdit>(p, "targetPositionEdit")->setText("90");
        // Slow time: the drive's test and the first poll lie far ahead, so the box is
        // certainly still open when the user cancels it.
        torvane::SetTimeScale(100);
        OnNextModalOf<CDlgFileLoopTest>(
            [](CDlgFileLoopTest* box) { W<QPushButton>(box, "cancelButton")->click(); });
        W<QPushButton>(p, kButtons[test])->click();
        torvane::SetTimeScale(kScale);
    });
    const std::vector<Frame> frames = FramesOf(rig.drive);
    QCOMPARE(frames.size(), size_t(4));  // gains, parameters, start word, stop word
    QCOMPARE(Describe(frames[2]),
             Describe({2, 0x6000, 2, looprig::WordBE(kRegisters[test].Start)}));
    QCOMPARE(Describe(frames[3]), Describe({2, 0x6000, 2, looprig::WordBE(kRegisters[test].Stop)}));
    QCOMPARE(page.UpperChart()->SeriesAt(0)->Count(), 0);
    QCOMPARE(prompts.NoticeCount(), 0);
}

void LoopPageDriveTest::StartRefusedByTheDrive() {
    // The page believes the motor enabled; the drive has it disabled and refuses the start
    // word. The error is shown, no timer runs, and the box still opens with its own text; the
    // user's cancel sends the stop word.
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    rig.drive.WithBehaviour([](torvane::sim::DriveBehaviour& b) {
        const uint8_t disable[] = {0x02, 0x00};
        return b.Write(reg::kControlWord, disable, 2);
    });
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    QString boxText;
    RunPage(page, [&](CDlgFileNewPID* p) {
        OnNextModalOf<CDlgFileLoopTest>([&](CDlgFileLoopTest* box) {
            boxText = box->Text();
            W<QPushButton>(box, "cancelButton")->click();
        });
        W<QPushButton>(p, "speedTestButton")->click();
    });
    QCOMPARE(prompts.NoticeCount(), 1);
    QCOMPARE(boxText, QString::fromUtf8("Testing,please wait……！"));
    const std::vector<Frame> frames = FramesOf(rig.drive);
    QCOMPARE(frames.size(), size_t(4));
    QCOMPARE(Describe(frames[3]), Describe({2, 0x6000, 2, looprig::WordBE(0x0600)}));
    QVERIFY(!rig.requests.IsActive(torvane::TimerId::kSpeedTestTimer));
}

void LoopPageDriveTest::FailedStatusRead() {
    // A status read that gets no reply: TestState 3 and the error text; the user closes the box
    // with "cancel" (result 3): no stop word, nothing plotted.
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    rig.drive.SilenceAddress(reg::kSpeedTestStatus);
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    uint8_t state = 0;
    RunPage(page, [&](CDlgFileNewPID* p) {
        OnNextModalOf<CDlgFileLoopTest>([&](CDlgFileLoopTest* box) {
            QTRY_COMPARE_WITH_TIMEOUT(box->Text(), QString::fromUtf8("Test error, please close……"),
                                      kWaitMs);
            state = box->TestState();
            W<QPushButton>(box, "cancelButton")->click();
        });
        W<QPushButton>(p, "speedTestButton")->click();
    });
    QCOMPARE(state, uint8_t(3));
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
    const std::vector<Frame> frames = FramesOf(rig.drive);
    QCOMPARE(frames.back().Address, reg::kSpeedTestStatus);
    QCOMPARE(page.UpperChart()->SeriesAt(0)->Count(), 0);
}

void LoopPageDriveTest::FailedReadBack() {
    // A block that gets no reply: the box closes with 3 by itself; the chart keeps the
    // previous test's response.
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    int points = 0;
    RunPage(page, [&](CDlgFileNewPID* p) {
        W<QPushButton>(p, "currentTestButton")->click();
        points = p->UpperChart()->SeriesAt(0)->Count();
        rig.drive.SilenceAddress(0x8000 + 3 * 128);
        W<QPushButton>(p, "speedTestButton")->click();
    });
    QCOMPARE(points, 512);
    QCOMPARE(page.UpperChart()->SeriesAt(0)->Count(), 512);
    QCOMPARE(page.UpperChart()->SeriesAt(0)->X(511), 511.0);  // still the current test's
    QCOMPARE(prompts.Texts(), QStringList{"Device no response"});
}

void LoopPageDriveTest::BetterGainsBetterFigures() {
    RecordingPrompts prompts;
    looprig::DriveRig rig;
    CDlgFileNewPID page(rig.state, rig.requests);
    page.SetMotorEnabled(true);
    torvane::StepFigures soft, tuned;
    QString softText, tunedText;
    RunPage(page, [&](CDlgFileNewPID* p) {
        // The drive's own gains first (0.8, 0.1, 0), then stiffer ones.
        W<QPushButton>(p, "speedTestButton")->click();
        soft = torvane::AnalyseStepTest(LoopTest::Speed, rig.state).Figures;
        softText = p->FiguresText(LoopTest::Speed);
        W<QLineEdit>(p, "speedPEdit")->setText("3");
        W<QLineEdit>(p, "speedIEdit")->setText("1.5");
        W<QPushButton>(p, "speedTestButton")->click();
        tuned = torvane::AnalyseStepTest(LoopTest::Speed, rig.state).Figures;
        tunedText = p->FiguresText(LoopTest::Speed);
    });
    QCOMPARE(prompts.NoticeCount(), 0);
    QVERIFY(soft.RiseTime && tuned.RiseTime);
    // The soft gains stall short of the set value; the tuned ones settle without ringing.
    QVERIFY(!soft.Settled);
    QVERIFY(tuned.Settled);
    QVERIFY(*tuned.RiseTime < 0.6 * *soft.RiseTime);
    QVERIFY(*tuned.OvershootPercent <= 5.0);
    QVERIFY(tuned.IntegralAbsoluteError < soft.IntegralAbsoluteError);
    QVERIFY(std::abs(tuned.SteadyStateError) < std::abs(soft.SteadyStateError));
    // What the page shows is the core's text of these figures.
    QString expected = "P 3, I 1.5, D 0";
    for (const std::string& line : torvane::FormatStepFigures(tuned))
        expected += "\n" + QString::fromStdString(line);
    QCOMPARE(tunedText, expected);
    QVERIFY(softText.startsWith("P 0.8, I 0.1, D 0\n"));
    // The soft response stays on the chart beside the tuned one.
    QCOMPARE(page.PreviousSeries()->Count(), 512);
    QCOMPARE(page.PreviousSeries()->Title(), QString("previous (P 0.8, I 0.1, D 0)"));
}

QTEST_MAIN(LoopPageDriveTest)
#include "loop_page_drive_test.moc"
