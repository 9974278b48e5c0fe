// The motor parameter page through its real widgets: titles and captions by mode, the filling
// with its encoder texts, the checks in their order with their exact messages, Cancel, the
// swallowed keys, and Match with its box, first against scripted requests and then against the
// simulated drive followed as the console follows it.
#include <QComboBox>
#include <QTest>

#include "params/matching_console.h"
#include "params/motor_page.h"
#include "params/page_test_support.h"
#include "params/parameter_rules.h"
#include "serial/timing.h"
#include "sim/simulated_drive.h"
#include "support/recording_prompts_qt.h"

using namespace pagetest;
using Icon = UserPrompts::Icon;

namespace {

torvane::DriveState StartState() {
    torvane::DriveState s;
    s.Params.Motor = {4, 1, 2500, 5.0f, 15.0f, 3000, 1};
    s.Params.Matching.MatchMarks = 1;
    s.SpeedLimit = 6000;
    return s;
}

QString ComboText(QWidget& w, const char* name) {
    return Find<QComboBox>(w, name)->currentText();
}

}  // namespace

class MotorPageTest : public QObject {
    Q_OBJECT

private slots:
    void TitlesAndCaptions_data();
    void TitlesAndCaptions();
    void FillingAndEncoderTexts_data();
    void FillingAndEncoderTexts();
    void Checks_data();
    void Checks();
    void CancelAsksOnlyAfterAnEdit();
    void KeysAndLengthLimit();
    void MatchRefusedBeforeAnyRequest_data();
    void MatchRefusedBeforeAnyRequest();
    void MatchBoxResults_data();
    void MatchBoxResults();
    void MatchingOnTheSimulatedDrive_data();
    void MatchingOnTheSimulatedDrive();
};

void MotorPageTest::TitlesAndCaptions_data() {
    QTest::addColumn<bool>("modify");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("accept");
    QTest::newRow("new") << false << QString::fromUtf8("电机参数-新建") << "Next";
    QTest::newRow("modify") << true << "Motor Parameters - modify"
                            << "Save";
}

void MotorPageTest::TitlesAndCaptions() {
    QFETCH(bool, modify);
    QFETCH(QString, title);
    QFETCH(QString, accept);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);
    page.ModifyMode = modify;
    const int r = Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        QCOMPARE(p.windowTitle(), title);
        QCOMPARE(Find<QPushButton>(p, "nextButton")->text(), accept);
        QVERIFY(!Find<QComboBox>(p, "matchingStateCombo")->isEnabled());
        QVERIFY(Find<QLineEdit>(p, "encoderLinesEdit")->isReadOnly());
        Click(p, "cancelButton");
    });
    QCOMPARE(r, 2);
    QCOMPARE(prompts.Texts(), QStringList());
}

void MotorPageTest::FillingAndEncoderTexts_data() {
    QTest::addColumn<int>("feedbackType");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<int>("storedLines");
    QTest::addColumn<int>("storedType");
    // Opening a type-2 set shows a 16-bit resolution and accepting it unchanged stores it.
    QTest::newRow("absolute encoder") << 2 << "Absolute encoder"
                                      << "Encoder Type"
                                      << "BIT"
                                      << "16" << 16 << 2;
    QTest::newRow("no type") << 1 << ""
                             << "Encoder Lines"
                             << "lines"
                             << "2500" << 2500 << 1;
}

void MotorPageTest::FillingAndEncoderTexts() {
    QFETCH(int, feedbackType);
    QFETCH(QString, combo);
    QFETCH(QString, label);
    QFETCH(QString, unit);
    QFETCH(QString, encoder);
    QFETCH(int, storedLines);
    QFETCH(int, storedType);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    state.Params.Motor.FeedbackType = static_cast<uint8_t>(feedbackType);
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);
    const int r = Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        QCOMPARE(Text(p, "polePairsEdit"), QString("4"));
        QCOMPARE(Text(p, "ratedCurrentEdit"), QString("5"));
        QCOMPARE(Text(p, "lockedRotorCurrentEdit"), QString("15"));
        QCOMPARE(ComboText(p, "matchingStateCombo"), QString("Matched"));
        QCOMPARE(ComboText(p, "feedbackTypeCombo"), combo);
        QCOMPARE(LabelText(p, "encoderLinesLabel"), label);
        QCOMPARE(LabelText(p, "encoderLinesUnit"), unit);
        QCOMPARE(Text(p, "encoderLinesEdit"), encoder);
        QVERIFY(!p.Modified);
        Click(p, "nextButton");
    });
    QCOMPARE(r, 1);
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(int(state.Params.Motor.EncoderLines), storedLines);
    QCOMPARE(int(state.Params.Motor.FeedbackType), storedType);
    QCOMPARE(state.CountsPerRev, uint32_t(storedLines * 4));
    // The values without a visible control go back as they came.
    QCOMPARE(state.Params.Motor.RatedRotorSpeed, 3000);
    QCOMPARE(int(state.Params.Motor.MotorHallSequence), 1);

    // Choosing "Absolute encoder" shows the page's own Encoder Lines text as lines again.
    state.Params.Motor.EncoderLines = 1000;
    state.Params.Motor.FeedbackType = 2;
    Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        QCOMPARE(Text(p, "encoderLinesEdit"), QString("16"));
        QComboBox* type = Find<QComboBox>(p, "feedbackTypeCombo");
        emit type->activated(0);
        QCOMPARE(LabelText(p, "encoderLinesLabel"), QString("Encoder Lines"));
        QCOMPARE(LabelText(p, "encoderLinesUnit"), QString("lines"));
        QCOMPARE(Text(p, "encoderLinesEdit"), QString("1000"));
        Click(p, "nextButton");
    });
    QCOMPARE(state.Params.Motor.EncoderLines, uint16_t(1000));
    QCOMPARE(state.CountsPerRev, 4000u);
}

void MotorPageTest::Checks_data() {
    QTest::addColumn<QString>("polePairs");
    QTest::addColumn<QString>("rated");
    QTest::addColumn<QString>("locked");
    QTest::addColumn<int>("ratedRotorSpeed");  // the hidden entry, from the set
    QTest::addColumn<QString>("message");      // "" accepted
    QTest::addColumn<int>("storedPolePairs");  // after the page (4: nothing stored)
    QTest::addColumn<uint>("countsPerRev");    // 1: not stored

    const QString pole = QString::fromUtf8("pole pairs，input overrun\nallowed band 0 up to 40");
    const QString rated = QString::fromUtf8("额定电流，输入超限\nallowed band 0.8 up to 20");
    const QString locked = QString::fromUtf8("堵转电流，输入超限\nallowed band 0.8 up to 20");
    const QString ratedOverLocked = QString::fromUtf8(torvane::kRatedOverLockedMessage);
    const QString speed =
        QString::fromUtf8("Mechanical speed，input overrun\nallowed band 0 up to 6000");

    QTest::newRow("pole pairs 40") << "40"
                                   << "5"
                                   << "15" << 3000 << "" << 40 << 10000u;
    QTest::newRow("pole pairs 40.5") << "40.5"
                                     << "5"
                                     << "15" << 3000 << pole << 4 << 1u;
    QTest::newRow("pole pairs -0") << "-0"
                                   << "5"
                                   << "15" << 3000 << "" << 0 << 10000u;
    QTest::newRow("pole pairs 2.7 stores 2") << "2.7"
                                             << "5"
                                             << "15" << 3000 << "" << 2 << 10000u;
    QTest::newRow("pole pairs -1") << "-1"
                                   << "5"
                                   << "15" << 3000 << pole << 4 << 1u;
    QTest::newRow("rated 0.8") << "7"
                               << "0.8"
                               << "15" << 3000 << "" << 7 << 10000u;
    QTest::newRow("rated 0.79") << "7"
                                << "0.79"
                                << "15" << 3000 << rated << 4 << 1u;
    QTest::newRow("locked 20.5") << "7"
                                 << "5"
                                 << "20.5" << 3000 << locked << 4 << 1u;
    // Both inside their bands, but rated above locked: CountsPerRev is not reached either.
    QTest::newRow("rated 5 locked 4") << "7"
                                      << "5"
                                      << "4" << 3000 << ratedOverLocked << 4 << 1u;
    QTest::newRow("rated 10 locked 8") << "7"
                                       << "10"
                                       << "8" << 3000 << ratedOverLocked << 4 << 1u;
    QTest::newRow("rated equals locked") << "7"
                                         << "8"
                                         << "8" << 3000 << "" << 7 << 10000u;
    // The last check fails after CountsPerRev was stored.
    QTest::newRow("speed above the limit") << "7"
                                           << "5"
                                           << "15" << 6001 << speed << 4 << 10000u;
    QTest::newRow("speed at the limit") << "7"
                                        << "5"
                                        << "15" << 6000 << "" << 7 << 10000u;
    QTest::newRow("no digits read as 0") << "abc"
                                         << "5"
                                         << "15" << 3000 << "" << 0 << 10000u;
}

void MotorPageTest::Checks() {
    QFETCH(QString, polePairs);
    QFETCH(QString, rated);
    QFETCH(QString, locked);
    QFETCH(int, ratedRotorSpeed);
    QFETCH(QString, message);
    QFETCH(int, storedPolePairs);
    QFETCH(uint, countsPerRev);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    state.Params.Motor.RatedRotorSpeed = ratedRotorSpeed;
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);
    page.ModifyMode = true;
    const int r = Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        Set(p, "polePairsEdit", polePairs);
        Set(p, "ratedCurrentEdit", rated);
        Set(p, "lockedRotorCurrentEdit", locked);
        Click(p, "nextButton");
        if (!message.isEmpty()) {
            // Refused: the page stays open with the entries as typed.
            QVERIFY(p.isVisible());
            QCOMPARE(Text(p, "polePairsEdit"), polePairs);
        }
    });
    if (message.isEmpty()) {
        QCOMPARE(r, 1);
        QCOMPARE(prompts.Texts(), QStringList());
    } else {
        QCOMPARE(r, kLeftOpen);
        QCOMPARE(prompts.Texts(), QStringList{message});
        QCOMPARE(prompts.LastIcon(), Icon::Error);
    }
    QCOMPARE(int(state.Params.Motor.PolePairs), storedPolePairs);
    QCOMPARE(state.CountsPerRev, uint32_t(countsPerRev));
    QVERIFY(requests.log.empty());
}

void MotorPageTest::CancelAsksOnlyAfterAnEdit() {
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);

    // Untouched: Cancel and the close box end the page at once.
    QCOMPARE(Run<CDlgFileNewMotor>(page, [](CDlgFileNewMotor& p) { Click(p, "cancelButton"); }), 2);
    QCOMPARE(Run<CDlgFileNewMotor>(page, [](CDlgFileNewMotor& p) { p.close(); }), 2);
    QCOMPARE(prompts.Texts(), QStringList());

    // Edited: the question; Cancel keeps the page, OK ends it and stores nothing.
    const int r = Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        Type(p, "polePairsEdit", "9");
        QVERIFY(p.Modified);
        prompts.QueueConfirm(false);
        Click(p, "cancelButton");
        QVERIFY(p.isVisible());
        prompts.QueueConfirm(true);
        p.close();
    });
    QCOMPARE(r, 2);
    QCOMPARE(prompts.Texts(), (QStringList{"Parameter not saved, sure to cancel?",
                                           "Parameter not saved, sure to cancel?"}));
    QCOMPARE(prompts.LastIcon(), Icon::Question);
    QCOMPARE(int(state.Params.Motor.PolePairs), 4);

    // The next showing starts unmodified from the set again.
    QCOMPARE(Run<CDlgFileNewMotor>(page,
                                   [](CDlgFileNewMotor& p) {
                                       QCOMPARE(Text(p, "polePairsEdit"), QString("4"));
                                       Click(p, "cancelButton");
                                   }),
             2);
    QCOMPARE(prompts.Texts().size(), 2);
}

void MotorPageTest::KeysAndLengthLimit() {
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);
    const int r = Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        QLineEdit* pole = Find<QLineEdit>(p, "polePairsEdit");
        pole->setFocus();
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(pole, static_cast<Qt::Key>(key));
            QVERIFY(p.isVisible());
        }
        Find<QPushButton>(p, "nextButton")->setFocus();
        QTest::keyClick(Find<QPushButton>(p, "nextButton"), Qt::Key_Space);
        QTest::keyClick(&p, Qt::Key_Escape);
        QVERIFY(p.isVisible());
        for (const char* name : {"polePairsEdit", "ratedCurrentEdit", "lockedRotorCurrentEdit"}) {
            Type(p, name, "12345678901234567890");
            QCOMPARE(Text(p, name), QString("1234567890123456"));
        }
        prompts.QueueConfirm(true);
        Click(p, "cancelButton");
    });
    QCOMPARE(r, 2);
    QCOMPARE(int(state.Params.Motor.PolePairs), 4);
}

void MotorPageTest::MatchRefusedBeforeAnyRequest_data() {
    QTest::addColumn<bool>("motorEnabled");
    QTest::addColumn<QString>("polePairs");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");
    QTest::newRow("motor enabled") << true << "4"
                                   << "The motor is enabled" << int(Icon::None);
    QTest::newRow("entry refused")
        << false << "41" << QString::fromUtf8("pole pairs，input overrun\nallowed band 0 up to 40")
        << int(Icon::Error);
}

void MotorPageTest::MatchRefusedBeforeAnyRequest() {
    QFETCH(bool, motorEnabled);
    QFETCH(QString, polePairs);
    QFETCH(QString, message);
    QFETCH(int, icon);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);
    page.ModifyMode = true;
    page.MotorEnabled = motorEnabled;
    Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        Set(p, "polePairsEdit", polePairs);
        Click(p, "matchButton");
        QVERIFY(p.isVisible());
        prompts.QueueConfirm(true);
        Click(p, "cancelButton");
    });
    QCOMPARE(prompts.Texts().value(0), message);
    QCOMPARE(int(prompts.Entries().at(0).icon), icon);
    QVERIFY(requests.log.empty());
}

void MotorPageTest::MatchBoxResults_data() {
    QTest::addColumn<int>("boxState");   // MatchState when the box is closed
    QTest::addColumn<QString>("close");  // "button", "close box" or "escape"
    QTest::addColumn<QString>("shown");  // Matching State afterwards
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("completed, button") << 1 << "button"
                                       << "Matched" << false;
    QTest::newRow("failed, button") << 3 << "button"
                                    << "Unmatch" << false;
    QTest::newRow("failed, close box") << 3 << "close box"
                                       << "Unmatch" << false;
    QTest::newRow("other state gives 4") << 7 << "close box"
                                         << "Unmatch" << false;
    QTest::newRow("still matching, button") << 2 << "button"
                                            << "Failure to match" << true;
    QTest::newRow("completed, escape") << 1 << "escape"
                                       << "Failure to match" << true;
}

void MotorPageTest::MatchBoxResults() {
    QFETCH(int, boxState);
    QFETCH(QString, close);
    QFETCH(QString, shown);
    QFETCH(bool, cancelled);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    // "Failure to match" at the start tells a result that left the list alone.
    state.Params.Matching.MatchMarks = 2;
    ScriptedRequests requests;
    CDlgFileNewMotor page(state, requests);
    page.ModifyMode = true;
    const int r = Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        Set(p, "polePairsEdit", "6");
        OnNextModalOf<CDlgFileMotorMatch>([&](CDlgFileMotorMatch* box) {
            QCOMPARE(box->windowTitle(), QString::fromUtf8("电机匹配"));
            QCOMPARE(box->Text(), QString::fromUtf8("Matching, please wait……！"));
            QCOMPARE(box->Caption(), QString("Cancel"));
            QCOMPARE(int(box->MatchState), 2);
            QCOMPARE(requests.openBox, static_cast<torvane::ProgressBox*>(box));
            box->SetState(static_cast<uint8_t>(boxState));
            if (close == "button") {
                Click(*box, "matchBoxButton");
            } else if (close == "close box") {
                box->close();
            } else {
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        Click(p, "matchButton");
        // Matching leaves the page open, its group stored.
        QVERIFY(p.isVisible());
        QCOMPARE(ComboText(p, "matchingStateCombo"), shown);
        Click(p, "cancelButton");
    });
    QCOMPARE(r, 2);
    QCOMPARE(int(state.Params.Motor.PolePairs), 6);
    std::vector<std::string> expected = {"start", "box open", "box closed"};
    if (cancelled) expected.push_back("cancel");
    QCOMPARE(requests.log, expected);
    // Only the question of the Cancel after the edit.
    QCOMPARE(prompts.Texts(), QStringList{"Parameter not saved, sure to cancel?"});
}

void MotorPageTest::MatchingOnTheSimulatedDrive_data() {
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("ticks");  // timer 3 ticks until it stopped
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("cancels");
    using torvane::sim::MatchOutcome;
    // The drive needs 15 s: the second tick (20 s) sees the outcome.
    QTest::newRow("completed") << int(MatchOutcome::Ok)
                               << QString::fromUtf8("Match completed, Please close……！") << "Close"
                               << 2 << "Matched" << 0;
    QTest::newRow("failed") << int(MatchOutcome::Fail)
                            << QString::fromUtf8("Failed to match. please close……！") << "Close"
                            << 2 << "Unmatch" << 0;
    QTest::newRow("time-out") << int(MatchOutcome::Never)
                              << QString::fromUtf8("Match timeout， Please close！") << "Close" << 4
                              << "Unmatch" << 1;
}

void MotorPageTest::MatchingOnTheSimulatedDrive() {
    QFETCH(int, outcome);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QFETCH(int, ticks);
    QFETCH(QString, shown);
    QFETCH(int, cancels);
    RecordingPrompts prompts;
    torvane::sim::SimOptions options;
    options.Pacing = false;
    options.Match = static_cast<torvane::sim::MatchOutcome>(outcome);
    torvane::sim::SimulatedDrive drive(options);
    QVERIFY(drive.Start());
    MatchingConsole console(drive);
    torvane::DriveState& state = console.session.State();
    state.Params.Motor = StartState().Params.Motor;
    state.SpeedLimit = 6000;
    CDlgFileNewMotor page(state, console);
    page.ModifyMode = true;

    QStringList seen;
    Run<CDlgFileNewMotor>(page, [&](CDlgFileNewMotor& p) {
        Set(p, "polePairsEdit", "5");
        OnNextModalOf<CDlgFileMotorMatch>([&](CDlgFileMotorMatch* box) {
            // Wait in the box's own event loop until the console's timer 3 stopped.
            QTRY_VERIFY_WITH_TIMEOUT(!console.matchTimer.isActive(), 5000);
            seen << box->Text() << box->Caption();
            Click(*box, "matchBoxButton");
        });
        Click(p, "matchButton");
        seen << ComboText(p, "matchingStateCombo");
        Click(p, "cancelButton");
    });
    QCOMPARE(seen, (QStringList{text, caption, shown}));
    QCOMPARE(console.ticks, ticks);
    QCOMPARE(console.cancels, cancels);
    QVERIFY(console.notices.shown.empty());
    // The page's group went to the drive before the start word.
    std::vector<std::pair<int, int>> writes;
    for (const auto& r : drive.Requests()) {
        if (r.Function == torvane::kFunctionWrite) writes.emplace_back(r.Address, r.Count);
    }
    QCOMPARE(writes, (std::vector<std::pair<int, int>>{{0x1000, 17}, {0x6000, 2}}));
    QCOMPARE(int(drive.WithBehaviour([](torvane::sim::DriveBehaviour& b) {
                 return b.Registers().Params.Motor.PolePairs;
             })),
             5);
}

int RunMotorPageTest(int argc, char** argv) {
    MotorPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "motor_page_test.moc"
