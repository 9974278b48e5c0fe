// The loop page and its test box without a drive: the page's fields and modes, the gain checks
// through its entries, Cancel, Back and the keys, the chart layout rule, the Test buttons'
// refusals, what the page does with each result of the test box (plot, stop request, nothing)
// on capture data written here, the comparison with the previous response, and the Save
// buttons. The requests are recorded; the console's part is played by the test.
#include <qcustomplot.h>

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "protocol/frame.h"
#include "session/page_requests.h"
#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"
#include "tuning/loop_page.h"
#include "tuning/loop_page_steps.h"
#include "tuning/loop_test_dlg.h"
#include "tuning/test_data_file.h"

using torvane::LoopTest;

namespace {

const QString kComma = QString::fromUtf8("\xEF\xBC\x8C");

// The requests as the console would receive them. When the page opens its test box, `Console`
// (if set) plays the console's timers: it writes into the box and closes it.
class ScriptedRequests : public torvane::PageRequests {
public:
    QStringList Calls;
    std::function<void(torvane::ProgressBox*)> Console;
    std::vector<int> OpenStates;  // TestState of the box each time it opened
    std::vector<torvane::ProgressBoxKind> BoxKinds;  // the kind of each SetOpenBox

    uint8_t StartMotorMatch() override { return Call("start matching"); }
    uint8_t CancelMotorMatch() override { return Call("cancel matching"); }
    uint8_t StartCurrentLoopTest() override { return Call("start current"); }
    uint8_t StopCurrentLoopTest() override { return Call("stop current"); }
    uint8_t StartSpeedLoopTest() override { return Call("start speed"); }
    uint8_t StopSpeedLoopTest() override { return Call("stop speed"); }
    uint8_t StartPositionLoopTest() override { return Call("start position"); }
    uint8_t StopPositionLoopTest() override { return Call("stop position"); }
    void SetOpenBox(torvane::ProgressBoxKind kind, torvane::ProgressBox* box) override {
        QVERIFY(kind != torvane::ProgressBoxKind::Matching);
        Calls << (box ? "box open" : "box closed");
        BoxKinds.push_back(kind);
        if (box) OpenStates.push_back(static_cast<CDlgFileLoopTest*>(box)->TestState());
        if (box && Console) {
            auto console = Console;
            QTimer::singleShot(0, [console, box] { console(box); });
        }
    }
    // No drive here: the work does not run.
    void RunWithContext(const std::function<void(torvane::CommandContext&)>&) override {
        Calls << "run with context";
    }

private:
    uint8_t Call(const char* what) {
        Calls << what;
        return 0;
    }
};

void Click(QWidget* page, const char* button) {
    W<QPushButton>(page, button)->click();
}

void SetText(QWidget* page, const char* edit, const QString& text) {
    W<QLineEdit>(page, edit)->setText(text);
}

// A state as the opener leaves it: gains, limits, a matched motor.
torvane::DriveState OpenedState() {
    torvane::DriveState s;
    s.Params.Loop = {1.0f, 0.2f, 0.0f, 0.8f, 0.1f, 0.0f, 0.5f, 0.0f, 0.0f};
    s.Params.Motor.RatedCurrent = 3.0f;
    s.Params.Matching.MatchMarks = 1;
    s.Params.Application.MaximumSpeed = 3000;
    s.Params.Application.Acceleration = 1234;
    s.Params.Application.AppliedMaxPos = 100;
    s.Params.Application.AppliedMinPos = 100;
    s.OneLoopEncoderValue = 4096;
    s.ReductionRatio = 10;
    return s;
}

void PutCurrentRecord(torvane::DriveState& s, size_t k, float set, float actual) {
    torvane::PutFloatBE(&s.CaptureBuffer[k * 8], set);
    torvane::PutFloatBE(&s.CaptureBuffer[k * 8 + 4], actual);
}

void PutRecord16(torvane::DriveState& s, size_t k, int32_t set, int32_t actual, uint32_t index,
                 uint32_t fourthBits) {
    uint8_t* r = &s.CaptureBuffer[k * 16];
    torvane::PutI32BE(r, set);
    torvane::PutI32BE(r + 4, actual);
    torvane::PutU32BE(r + 8, index);
    torvane::PutU32BE(r + 12, fourthBits);
}

bool SameGains(const torvane::LoopGroup& a, const torvane::LoopGroup& b) {
    for (LoopTest loop : torvane::kLoopTests) {
        if (!(torvane::LoopGainsOf(a, loop) == torvane::LoopGainsOf(b, loop))) return false;
    }
    return true;
}

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A first-order speed response to a step of `step` at record 16, time constant `tau` records.
void FillSpeedResponse(torvane::DriveState& s, double step, double tau, size_t records = 512) {
    for (size_t k = 0; k < records; ++k) {
        const bool after = k >= 16;
        const double actual = after ? step * (1 - std::exp(-double(k - 16) / tau)) : 0;
        PutRecord16(s, k, after ? int32_t(step) : 0, int32_t(std::lround(actual)), uint32_t(8 * k),
                    FloatBits(0.5f));
    }
    s.SpeedTestLength = uint16_t(records * 16);
}

}  // namespace

class LoopPageTest : public QObject {
    Q_OBJECT

private slots:
    void FieldsAndModes();
    void GainChecksThroughTheEntries_data();
    void GainChecksThroughTheEntries();
    void NextStopsAtTheFirstFailingLoop();
    void CancelBackAndTheCloseBox();
    void EnterEscapeAndSpaceDoNothing();
    void ChartLayoutRule();
    void TestRefusalsSendNothing_data();
    void TestRefusalsSendNothing();
    void TestBoxResults();
    void PlotsAsTheRecordsSay();
    void PreviousResponseForComparison();
    void TestBoxOnItsOwn();
    void SaveButtons();
};

void LoopPageTest::FieldsAndModes() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    state.Params.Loop.SpeedLoopP = 1e-7f;
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);

    page.SetModifyMode(false);
    QCOMPARE(RunPage(page,
                     [&](CDlgFileNewPID* p) {
                         QCOMPARE(p->windowTitle(), QString::fromUtf8("环路参数-新建"));
                         QCOMPARE(W<QPushButton>(p, "nextButton")->text(), QString("Next"));
                         QVERIFY(W<QPushButton>(p, "backButton")->isVisible());
                         const struct {
                             const char* edit;
                             const char* text;
                             bool visible, enabled;
                         } fields[] = {
                             {"currentPEdit", "1", true, true},
                             {"currentIEdit", "0.2", true, true},
                             {"currentDEdit", "0", true, true},
                             {"currentAmplitudeEdit", "1", true, true},
                             {"sinusoidalFrequencyEdit", "", true, false},
                             {"speedPEdit", "1e-07", true, true},
                             {"speedIEdit", "0.1", true, true},
                             {"setSpeedEdit", "1000", true, true},
                             {"positionPEdit", "0.5", true, true},
                             {"maximumSpeedEdit", "1000", true, true},
                             {"targetPositionEdit", "10000", true, true},
                             {"accelerationEdit", "1234", false, true},
                             {"decelerationEdit", "100", false, true},
                         };
                         for (const auto& f : fields) {
                             auto* e = W<QLineEdit>(p, f.edit);
                             QCOMPARE(e->text(), QString(f.text));
                             QCOMPARE(e->isVisible(), f.visible);
                             QCOMPARE(e->isEnabled(), f.enabled);
                         }
                         for (QLineEdit* e : p->findChildren<QLineEdit*>())
                             QCOMPARE(e->maxLength(), 16);
                         auto* type = W<QComboBox>(p, "currentTypeCombo");
                         QCOMPARE(type->count(), 1);
                         QCOMPARE(type->currentText(), QString("Step Current"));
                         const QString note = W<QLabel>(p, "noteTextLabel")->text();
                         QCOMPARE(note.size(), 255);
                         QVERIFY(note.endsWith("divided into 512 points accordin"));
                         QVERIFY(!p->Modified());
                         for (const char* figures :
                              {"currentFiguresLabel", "speedFiguresLabel", "positionFiguresLabel"})
                             QCOMPARE(W<QLabel>(p, figures)->text(), QString("No test yet"));
                         Click(p, "backButton");
                     }),
             3);

    // The charts as configured for the page.
    CTChart* upper = page.UpperChart();
    CTChart* lower = page.LowerChart();
    QVERIFY(!upper->View3D() && !lower->View3D());
    QCOMPARE(upper->Title(), QString("The response waveform"));
    QCOMPARE(lower->Title(), QString("The response waveform"));
    QVERIFY(upper->LegendVisible() && lower->LegendVisible());
    const struct {
        CTChart* chart;
        int index;
        const char* title;
        QColor colour;
        bool right;
    } series[] = {
        {upper, 0, "setting value", QColor(0, 255, 0), false},
        {upper, 1, "actual value", QColor(0, 0, 255), false},
        {upper, 2, "deviation value", QColor(255, 0, 0), true},
        {lower, 0, "actual value", QColor(0, 255, 0), false},
    };
    for (const auto& s : series) {
        CTChart::Series* x = s.chart->SeriesAt(s.index);
        QCOMPARE(x->Title(), QString(s.title));
        QCOMPARE(x->Colour(), s.colour);
        QCOMPARE(x->LineWidth(), 2);
        QCOMPARE(x->OnRightAxis(), s.right);
    }
    QVERIFY(lower->Plot()->yAxis2->tickLabels() && !lower->Plot()->yAxis->tickLabels());

    // Modify mode, set again at every opening.
    page.SetModifyMode(true);
    QCOMPARE(RunPage(page,
                     [&](CDlgFileNewPID* p) {
                         QCOMPARE(p->windowTitle(), QString("The loop parameters-Modify"));
                         QCOMPARE(W<QPushButton>(p, "nextButton")->text(), QString("Save"));
                         QVERIFY(!W<QPushButton>(p, "backButton")->isVisible());
                         Click(p, "nextButton");
                     }),
             1);
    page.SetModifyMode(false);
    QCOMPARE(RunPage(page,
                     [&](CDlgFileNewPID* p) {
                         QVERIFY(W<QPushButton>(p, "backButton")->isVisible());
                         QCOMPARE(W<QPushButton>(p, "nextButton")->text(), QString("Next"));
                     }),
             kStillOpen);
    QVERIFY(prompts.Entries().empty());
}

void LoopPageTest::GainChecksThroughTheEntries_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");  // empty: accepted
    QTest::addColumn<float>("stored");
    const QString band = " \n allowed band Greater than 0  and less than ";
    QTest::newRow("current P 5") << "currentPEdit"
                                 << "5"
                                 << "" << 5.0f;
    QTest::newRow("current P 5.0001")
        << "currentPEdit"
        << "5.0001"
        << "P value of current loop" + kComma + "input overrun" + band + "5" << 0.0f;
    QTest::newRow("current D 1") << "currentDEdit"
                                 << "1"
                                 << "" << 1.0f;
    QTest::newRow("current D 1.0001")
        << "currentDEdit"
        << "1.0001"
        << "D value of current loop" + kComma +
               "input overrun \n allowed band Greater than0  and less than 1"
        << 0.0f;
    QTest::newRow("speed I 5") << "speedIEdit"
                               << "5"
                               << "" << 5.0f;
    QTest::newRow("speed D 5.0001")
        << "speedDEdit"
        << "5.0001"
        << "D value of speed loop" + kComma +
               "input overrun \n allowed band Greater than 0 and less than 5"
        << 0.0f;
    QTest::newRow("position I 2.5") << "positionIEdit"
                                    << "2.5"
                                    << "" << 2.5f;
    QTest::newRow("position D 2.5001")
        << "positionDEdit"
        << "2.5001"
        << "D value of position loop" + kComma + "input overrun" + band + "2.5" << 0.0f;
    QTest::newRow("no number is 0") << "speedPEdit"
                                    << "abc"
                                    << "" << 0.0f;
    QTest::newRow("negative") << "positionPEdit"
                              << "-0.1"
                              << "P value of position loop" + kComma + "input overrun" + band +
                                     "2.5"
                              << 0.0f;
}

void LoopPageTest::GainChecksThroughTheEntries() {
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(float, stored);
    RecordingPrompts prompts;
    prompts.DefaultConfirm = true;
    torvane::DriveState state = OpenedState();
    state.Params.Loop = {};
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    const int result = RunPage(page, [&](CDlgFileNewPID* p) {
        W<QLineEdit>(p, edit.toUtf8().constData())->setText(text);
        Click(p, "nextButton");
    });
    const float* fields[] = {&state.Params.Loop.CurrentLoopP,  &state.Params.Loop.CurrentLoopD,
                             &state.Params.Loop.SpeedLoopI,    &state.Params.Loop.SpeedLoopD,
                             &state.Params.Loop.PositionLoopI, &state.Params.Loop.PositionLoopD,
                             &state.Params.Loop.SpeedLoopP,    &state.Params.Loop.PositionLoopP};
    const char* names[] = {"currentPEdit",  "currentDEdit",  "speedIEdit", "speedDEdit",
                           "positionIEdit", "positionDEdit", "speedPEdit", "positionPEdit"};
    const float* field = nullptr;
    for (size_t i = 0; i < std::size(names); ++i) {
        if (edit == names[i]) field = fields[i];
    }
    QVERIFY(field);
    if (message.isEmpty()) {
        QCOMPARE(result, 1);
        QCOMPARE(*field, stored);
        QCOMPARE(prompts.NoticeCount(), 0);
    } else {
        QCOMPARE(result, kStillOpen);  // the page stays open with the entries as typed
        QCOMPARE(prompts.Entries().at(0).text, message);
        QCOMPARE(prompts.Entries().at(0).icon, UserPrompts::Icon::None);
    }
}

void LoopPageTest::NextStopsAtTheFirstFailingLoop() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    const torvane::LoopGroup before = state.Params.Loop;
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    RunPage(page, [&](CDlgFileNewPID* p) {
        SetText(p, "currentPEdit", "7");
        SetText(p, "speedPEdit", "2");
        Click(p, "nextButton");
    });
    QVERIFY(prompts.Last().startsWith("P value of current loop"));
    QVERIFY(SameGains(state.Params.Loop, before));  // nothing stored for any loop

    RunPage(page, [&](CDlgFileNewPID* p) {
        SetText(p, "currentPEdit", "2");
        SetText(p, "speedIEdit", "6");
        SetText(p, "positionPEdit", "1");
        Click(p, "nextButton");
    });
    QVERIFY(prompts.Last().startsWith("I value of speed loop"));
    QCOMPARE(state.Params.Loop.CurrentLoopP, 2.0f);  // checked before the failure: stored
    QCOMPARE(state.Params.Loop.SpeedLoopI, before.SpeedLoopI);
    QCOMPARE(state.Params.Loop.PositionLoopP, before.PositionLoopP);
}

void LoopPageTest::CancelBackAndTheCloseBox() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);

    // Not edited: Cancel and the close box close at once.
    QCOMPARE(RunPage(page, [](CDlgFileNewPID* p) { Click(p, "cancelButton"); }), 2);
    QCOMPARE(RunPage(page, [](CDlgFileNewPID* p) { p->close(); }), 2);
    QVERIFY(prompts.Entries().empty());

    // Typed into a test field: the question; Cancel keeps the page, OK closes it.
    for (const char* edit : {"setSpeedEdit", "currentIEdit"}) {
        prompts.Clear();
        prompts.QueueConfirm(false);
        prompts.QueueConfirm(true);
        QCOMPARE(RunPage(page,
                         [&](CDlgFileNewPID* p) {
                             QTest::keyClicks(W<QLineEdit>(p, edit), "5");
                             QVERIFY(p->Modified());
                             Click(p, "cancelButton");
                             QVERIFY(p->isVisible());
                             p->close();  // the close box asks as well
                         }),
                 2);
        QCOMPARE(prompts.Texts(), QStringList({"Parameter not saved, sure to cancel?",
                                               "Parameter not saved, sure to cancel?"}));
        QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::Question);
    }

    // Back: at once, no checks, no question, nothing stored.
    prompts.Clear();
    const torvane::LoopGroup before = state.Params.Loop;
    QCOMPARE(RunPage(page,
                     [](CDlgFileNewPID* p) {
                         SetText(p, "currentPEdit", "9");
                         Click(p, "backButton");
                     }),
             3);
    QVERIFY(prompts.Entries().empty());
    QVERIFY(SameGains(state.Params.Loop, before));
}

void LoopPageTest::EnterEscapeAndSpaceDoNothing() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    QCOMPARE(RunPage(page,
                     [&](CDlgFileNewPID* p) {
                         auto* edit = W<QLineEdit>(p, "setSpeedEdit");
                         edit->setFocus();
                         for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
                             QTest::keyClick(edit, key);
                         QTest::keyClick(edit, Qt::Key_Space);
                         QCOMPARE(edit->text(), QString("1000"));
                         auto* next = W<QPushButton>(p, "nextButton");
                         next->setFocus();
                         QTest::keyClick(next, Qt::Key_Space);
                         QTest::keyClick(next, Qt::Key_Return);
                         QVERIFY(p->isVisible());
                     }),
             kStillOpen);
    QVERIFY(prompts.Entries().empty());
}

void LoopPageTest::ChartLayoutRule() {
    // The rule on numbers: group (100, 50) to (600, 451): M = (50 + 451) / 2 = 250.
    const auto [upper, lower] = CDlgFileNewPID::ChartRects(QRect(100, 50, 500, 401));
    QCOMPARE(upper, QRect(QPoint(110, 65), QPoint(589, 259)));
    QCOMPARE(lower, QRect(QPoint(110, 260), QPoint(589, 440)));

    torvane::DriveState state = OpenedState();
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    auto check = [](CDlgFileNewPID* p) {
        // The group's box: inside the group, below its title.
        QGroupBox* group = p->WaveformDisplayGroup();
        const QRect inPage(group->mapTo(p, QPoint(0, 0)), group->size());
        const QRect box = p->DisplayGroupRect();
        QVERIFY(inPage.contains(box));
        QVERIFY(box.top() > inPage.top());
        QCOMPARE(box.bottom(), inPage.bottom());
        const auto [u, l] = CDlgFileNewPID::ChartRects(box);
        QCOMPARE(QRect(p->UpperChart()->mapTo(p, QPoint(0, 0)), p->UpperChart()->size()), u);
        QCOMPARE(QRect(p->LowerChart()->mapTo(p, QPoint(0, 0)), p->LowerChart()->size()), l);
    };
    RunPage(page, [&](CDlgFileNewPID* p) {
        check(p);
        for (QSize size : {QSize(1500, 820), QSize(1300, 700)}) {
            const QSize before = p->WaveformDisplayGroup()->size();
            p->resize(size);
            QTRY_VERIFY_WITH_TIMEOUT(p->WaveformDisplayGroup()->size() != before, 10000);
            check(p);
        }
    });
}

void LoopPageTest::TestRefusalsSendNothing_data() {
    QTest::addColumn<int>("test");
    QTest::addColumn<int>("matchMarks");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("errorIcon");
    QTest::addColumn<bool>("gainsStored");
    const int current = int(LoopTest::Current), speed = int(LoopTest::Speed),
              position = int(LoopTest::Position);
    QTest::newRow("not matched, even when disabled") << current << 0 << false << ""
                                                     << ""
                                                     << "Motor does not match" << false << false;
    QTest::newRow("not enabled") << current << 1 << false << ""
                                 << ""
                                 << "The motor is not enabled" << false << false;
    QTest::newRow("speed test ignores Match Marks") << speed << 0 << false << ""
                                                    << ""
                                                    << "The motor is not enabled" << false << false;
    QTest::newRow("gain") << position << 1 << true << "positionDEdit"
                          << "3"
                          << "D value of position loop" + kComma +
                                 "input overrun \n allowed band Greater than 0  and less than 2.5"
                          << false << false;
    QTest::newRow("amplitude 0.79")
        << current << 1 << true << "currentAmplitudeEdit"
        << "0.79"
        << "Current amplitude" + kComma + "input overrun\nallowed band 0.8 up to 3" << true << true;
    QTest::newRow("set speed") << speed << 1 << true << "setSpeedEdit"
                               << "3001"
                               << "Set speed" + kComma + "input overrun\nallowed band 0 up to 3000"
                               << true << true;
    QTest::newRow("target") << position << 1 << true << "targetPositionEdit"
                            << "101"
                            << "Target position" + kComma +
                                   "input overrun\nallowed band -100 up to 100"
                            << true << true;
}

void LoopPageTest::TestRefusalsSendNothing() {
    QFETCH(int, test);
    QFETCH(int, matchMarks);
    QFETCH(bool, enabled);
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(bool, errorIcon);
    QFETCH(bool, gainsStored);
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    state.Params.Matching.MatchMarks = uint8_t(matchMarks);
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    page.SetMotorEnabled(enabled);
    const char* gainEdits[] = {"currentIEdit", "speedIEdit", "positionIEdit"};
    const char* buttons[] = {"currentTestButton", "speedTestButton", "positionTestButton"};
    RunPage(page, [&](CDlgFileNewPID* p) {
        SetText(p, gainEdits[test], "0.25");
        if (!edit.isEmpty()) SetText(p, edit.toUtf8().constData(), text);
        Click(p, buttons[test]);
    });
    QCOMPARE(prompts.Texts(), QStringList{message});
    QCOMPARE(prompts.LastIcon(), errorIcon ? UserPrompts::Icon::Error : UserPrompts::Icon::None);
    QVERIFY(requests.Calls.isEmpty());
    // A loop's gains are stored once their check passed, even when a test field is refused.
    const float i = torvane::LoopGainsOf(state.Params.Loop, LoopTest(test)).I;
    QCOMPARE(i == 0.25f, gainsStored);
}

void LoopPageTest::TestBoxResults() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    page.SetMotorEnabled(true);
    for (size_t k = 0; k < 512; ++k) PutCurrentRecord(state, k, k < 16 ? 0.0f : 1.5f, 0.001f * k);

    struct Case {
        const char* button;
        std::function<void(torvane::ProgressBox*)> console;
        QStringList calls;
        int points;  // on the upper chart's "setting value" afterwards
    };
    const Case cases[] = {
        // Completed: the console read the data back and closed the box with 1.
        {"currentTestButton",
         [&](torvane::ProgressBox* box) {
             state.CurrentTestLength = 4096;
             box->SetText("Test completed and reading data……");
             box->Close(1);
         },
         {"start current", "box open", "box closed"},
         512},
        // Cancelled: the stop request; the charts keep what they show.
        {"speedTestButton",
         [&](torvane::ProgressBox*) {
             QTest::mouseClick(W<QPushButton>(page.TestBox(), "cancelButton"), Qt::LeftButton);
         },
         {"start speed", "box open", "box closed", "stop speed"},
         512},
        // Failed (TestState 3): cancel gives 3, nothing is sent or plotted.
        {"positionTestButton",
         [&](torvane::ProgressBox* box) {
             box->SetState(3);
             box->SetText("Test error, please close……");
             QTest::mouseClick(W<QPushButton>(page.TestBox(), "cancelButton"), Qt::LeftButton);
         },
         {"start position", "box open", "box closed"},
         512},
        // The close box cancels whatever TestState is.
        {"positionTestButton",
         [&](torvane::ProgressBox* box) {
             box->SetState(3);
             page.TestBox()->close();
         },
         {"start position", "box open", "box closed", "stop position"},
         512},
    };
    RunPage(page, [&](CDlgFileNewPID* p) {
        SetText(p, "targetPositionEdit", "90");
        for (const Case& c : cases) {
            requests.Calls.clear();
            requests.Console = c.console;
            Click(p, c.button);
            QCOMPARE(requests.Calls, c.calls);
            QCOMPARE(p->UpperChart()->SeriesAt(0)->Count(), c.points);
        }
    });
    QCOMPARE(prompts.NoticeCount(), 0);
    // The box's state was 2 whenever it opened.
    QCOMPARE(requests.OpenStates, std::vector<int>(4, 2));
    // It was opened and closed under the test it showed.
    using K = torvane::ProgressBoxKind;
    QVERIFY(requests.BoxKinds == (std::vector<K>{K::CurrentLoopTest, K::CurrentLoopTest,
                                                  K::SpeedLoopTest, K::SpeedLoopTest,
                                                  K::PositionLoopTest, K::PositionLoopTest,
                                                  K::PositionLoopTest, K::PositionLoopTest}));
}

void LoopPageTest::PlotsAsTheRecordsSay() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    page.SetMotorEnabled(true);
    auto completeWith = [&](std::function<void()> fill) {
        requests.Console = [fill](torvane::ProgressBox* box) {
            fill();
            box->Close(1);
        };
    };
    RunPage(page, [&](CDlgFileNewPID* p) {
        SetText(p, "targetPositionEdit", "90");
        CTChart::Series* set = p->UpperChart()->SeriesAt(0);
        CTChart::Series* actual = p->UpperChart()->SeriesAt(1);
        CTChart::Series* deviation = p->UpperChart()->SeriesAt(2);
        CTChart::Series* lower = p->LowerChart()->SeriesAt(0);

        // Current: AppendValue, X the record number; no deviation, nothing below.
        completeWith([&] {
            for (size_t k = 0; k < 512; ++k) PutCurrentRecord(state, k, 1.5f, 1.25f);
            PutCurrentRecord(state, 3, 2.0f, -0.5f);
            state.CurrentTestLength = 4096;
        });
        Click(p, "currentTestButton");
        QCOMPARE(set->Count(), 512);
        QCOMPARE(actual->Count(), 512);
        QCOMPARE(set->X(511), 511.0);
        QCOMPARE(set->Y(3), 2.0);
        QCOMPARE(actual->Y(3), -0.5);
        QCOMPARE(deviation->Count(), 0);
        QCOMPARE(lower->Count(), 0);

        // Speed, 8190 bytes: 511 records at their period index, the fourth value below.
        completeWith([&] {
            for (size_t k = 0; k < 512; ++k)
                PutRecord16(state, k, 1000, 998, uint32_t(8 * k), FloatBits(0.5f));
            state.SpeedTestLength = 8190;
        });
        Click(p, "speedTestButton");
        QCOMPARE(set->Count(), 511);
        QCOMPARE(actual->Count(), 511);
        QCOMPARE(lower->Count(), 511);
        QCOMPARE(deviation->Count(), 0);
        QCOMPARE(set->X(510), 4080.0);
        QCOMPARE(actual->Y(7), 998.0);
        QCOMPARE(lower->Y(7), 0.5);

        // Position: deviation actual - set; the fourth value / 10 truncated toward zero.
        const int32_t fourth[] = {-15, 15, -7, 7, -10, 2147483647};
        completeWith([&] {
            for (size_t k = 0; k < 6; ++k)
                PutRecord16(state, k, 200, 150 - int32_t(k), uint32_t(k), uint32_t(fourth[k]));
            PutRecord16(state, 6, -2147483647 - 1, 2147483647, 6, 0);
            state.PositionTestLength = 7 * 16 + 15;  // and a partial record, ignored
        });
        Click(p, "positionTestButton");
        QCOMPARE(set->Count(), 7);
        QCOMPARE(deviation->Count(), 7);
        const double expected[] = {-1, 1, 0, 0, -1, 214748364, 0};
        for (int k = 0; k < 7; ++k) QCOMPARE(lower->Y(k), expected[k]);
        QCOMPARE(deviation->Y(1), -51.0);
        QCOMPARE(deviation->Y(6), 4294967295.0);  // exact, no wrap

        // Byte count 0: all four series cleared, nothing plotted.
        completeWith([&] { state.SpeedTestLength = 0; });
        Click(p, "speedTestButton");
        for (CTChart::Series* s : {set, actual, deviation, lower}) QCOMPARE(s->Count(), 0);
        QVERIFY(p->FiguresText(LoopTest::Speed).contains("fewer than two records"));
    });
    QCOMPARE(prompts.NoticeCount(), 0);
}

void LoopPageTest::PreviousResponseForComparison() {
    RecordingPrompts prompts;
    torvane::DriveState state = OpenedState();
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    page.SetMotorEnabled(true);
    auto legendHas = [](CTChart* chart, const QString& name) {
        QCPLegend* legend = chart->Plot()->legend;
        for (int i = 0; i < legend->itemCount(); ++i) {
            auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i));
            if (item && item->plottable()->name() == name) return true;
        }
        return false;
    };
    RunPage(page, [&](CDlgFileNewPID* p) {
        CTChart::Series* previous = p->PreviousSeries();
        // First run: nothing to compare with.
        requests.Console = [&](torvane::ProgressBox* box) {
            FillSpeedResponse(state, 1000, 100);
            box->Close(1);
        };
        Click(p, "speedTestButton");
        QCOMPARE(previous->Count(), 0);
        const QString slow = p->FiguresText(LoopTest::Speed);
        QVERIFY2(slow.startsWith("P 0.8, I 0.1, D 0\nRise time"), qPrintable(slow));

        // Another loop in between does not count as this loop's previous response.
        requests.Console = [&](torvane::ProgressBox* box) {
            for (size_t k = 0; k < 512; ++k) PutCurrentRecord(state, k, 1.0f, 1.0f);
            state.CurrentTestLength = 4096;
            box->Close(1);
        };
        Click(p, "currentTestButton");
        QCOMPARE(previous->Count(), 0);

        // Second speed run with other gains: the first one in a light colour, named with its
        // gains, in the legend.
        SetText(p, "speedPEdit", "3");
        SetText(p, "speedIEdit", "0.2");
        requests.Console = [&](torvane::ProgressBox* box) {
            FillSpeedResponse(state, 1000, 30);
            box->Close(1);
        };
        Click(p, "speedTestButton");
        QCOMPARE(previous->Count(), 512);
        QCOMPARE(previous->Title(), QString("previous (P 0.8, I 0.1, D 0)"));
        QVERIFY(legendHas(p->UpperChart(), previous->Title()));
        QVERIFY(previous->Colour().lightness() >
                p->UpperChart()->SeriesAt(1)->Colour().lightness());
        const double firstAt100 = 1000 * (1 - std::exp(-84.0 / 100));
        QCOMPARE(previous->Y(100), double(std::lround(firstAt100)));
        QVERIFY(p->FiguresText(LoopTest::Speed).startsWith("P 3, I 0.2, D 0\n"));
        QVERIFY(p->FiguresText(LoopTest::Current).startsWith("P 1, I 0.2, D 0\n"));

        Click(p, "clearComparisonButton");
        QCOMPARE(previous->Count(), 0);
        QVERIFY(!legendHas(p->UpperChart(), previous->Title()));

        // Position moves go on from where the last one ended: the previous move is drawn from
        // the new start, and the legend says by how much it was moved.
        SetText(p, "targetPositionEdit", "90");
        for (int32_t start : {0, 10240}) {
            requests.Console = [&state, start](torvane::ProgressBox* box) {
                for (size_t k = 0; k < 512; ++k) {
                    const int32_t set = start + (k < 16 ? 0 : 10240);
                    PutRecord16(state, k, set, set - int32_t(k < 16 ? 0 : 5000 / (k - 15)),
                                uint32_t(k), 0);
                }
                state.PositionTestLength = 8192;
                box->Close(1);
            };
            Click(p, "positionTestButton");
        }
        QCOMPARE(previous->Title(), QString("previous (P 0.5, I 0, D 0), moved by +10240"));
        QCOMPARE(previous->Y(17), p->UpperChart()->SeriesAt(1)->Y(17));
        QCOMPARE(previous->Y(17), double(10240 + 10240 - 2500));
    });

    // A new opening starts with empty charts; the figures stay.
    RunPage(page, [&](CDlgFileNewPID* p) {
        QCOMPARE(p->UpperChart()->SeriesAt(1)->Count(), 0);
        QVERIFY(W<QLabel>(p, "speedFiguresLabel")->text().startsWith("P 3, I 0.2, D 0\n"));
        QVERIFY(W<QLabel>(p, "positionFiguresLabel")->text().startsWith("P 0.5, I 0, D 0\n"));
    });
}

void LoopPageTest::TestBoxOnItsOwn() {
    CDlgFileLoopTest box;
    QCOMPARE(box.windowTitle(), QString(" "));
    QCOMPARE(box.Text(), QString::fromUtf8("Testing,please wait……！"));
    QCOMPARE(W<QPushButton>(&box, "cancelButton")->text(), QString("cancel"));
    // Not shown: text and closing change nothing.
    box.SetText("elsewhere");
    box.Close(1);
    QCOMPARE(box.Text(), QString::fromUtf8("Testing,please wait……！"));

    struct Case {
        uint8_t state;
        std::function<void(CDlgFileLoopTest*)> act;
        int result;
    };
    const Case cases[] = {
        {2, [](CDlgFileLoopTest* b) { Click(b, "cancelButton"); }, 2},
        {3, [](CDlgFileLoopTest* b) { Click(b, "cancelButton"); }, 3},
        {3, [](CDlgFileLoopTest* b) { QTest::keyClick(b, Qt::Key_Escape); }, 2},
        {3, [](CDlgFileLoopTest* b) { b->close(); }, 2},
        {2,
         [](CDlgFileLoopTest* b) {
             b->SetText("Test completed and reading data……");
             QCOMPARE(b->Text(), QString::fromUtf8("Test completed and reading data……"));
             b->Close(1);
         },
         1},
    };
    for (const Case& c : cases) {
        box.SetState(c.state);
        QString opened;
        OnNextModalOf<CDlgFileLoopTest>([&](CDlgFileLoopTest* b) {
            opened = b->Text();
            c.act(b);
        });
        QCOMPARE(box.Run(), c.result);
        // Each opening starts with the box's own text.
        QCOMPARE(opened, QString::fromUtf8("Testing,please wait……！"));
    }
}

void LoopPageTest::SaveButtons() {
    RecordingPrompts prompts;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    torvane::DriveState state = OpenedState();
    for (size_t k = 0; k < 3; ++k) PutCurrentRecord(state, k, 1.5f, 1.25f);
    state.CurrentTestLength = 24;
    ScriptedRequests requests;
    CDlgFileNewPID page(state, requests);
    const std::time_t now = std::time(nullptr);
    RunPage(page, [&](CDlgFileNewPID* p) { Click(p, "saveCurrentButton"); });
    // The file of the minute the button was pressed (or of the next, at a minute's turn).
    std::string text;
    for (std::time_t t : {now, now + 60}) {
        std::ifstream in(dir.filePath(QString::fromStdString(torvane::TestDataFileName(
                                          LoopTest::Current, torvane::LocalTime(t))))
                             .toStdString(),
                         std::ios::binary);
        if (in) text.assign(std::istreambuf_iterator<char>(in), {});
        if (!text.empty()) break;
    }
    QCOMPARE(QString::fromStdString(text),
             QString("1.500000\t1.250000\r\n1.500000\t1.250000\r\n1.500000\t1.250000\r\n"));
    QCOMPARE(prompts.NoticeCount(), 0);

    // A file that cannot be written: the message names it. (A folder of the file's name stands
    // in the way, which holds for every user, root included.)
    const std::time_t later = std::time(nullptr);
    for (std::time_t t : {later, later + 60})
        QDir(dir.path())
            .mkdir(QString::fromStdString(
                torvane::TestDataFileName(LoopTest::Speed, torvane::LocalTime(t))));
    RunPage(page, [&](CDlgFileNewPID* p) { Click(p, "saveSpeedButton"); });
    QCOMPARE(prompts.NoticeCount(), 1);
    QVERIFY2(prompts.Last().contains("VelocityTestData"), qPrintable(prompts.Last()));
    QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::Error);
    QVERIFY(QDir::setCurrent(cwd));
}

QTEST_MAIN(LoopPageTest)
#include "loop_page_test.moc"
