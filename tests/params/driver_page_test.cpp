// The application parameter page through its real widgets: titles, Back and Save by mode,
// saving disabled while the motor is enabled or Auto Update ticked, the checks in their order
// with their exact messages, the derivations stored, and the values without a visible control
// taken back.
#include <QComboBox>
#include <QTest>

#include "params/driver_page.h"
#include "params/page_test_support.h"
#include "support/recording_prompts_qt.h"

using namespace pagetest;
using Icon = UserPrompts::Icon;

namespace {

torvane::DriveState StartState() {
    torvane::DriveState s;
    torvane::ApplicationGroup& a = s.Params.Application;
    a.MotorDirection = 1;
    a.CurrentFlag = 1;
    a.AppliedCurrentRating = 5.5f;
    a.AppliedLockedRotorCurrent = 15.25f;
    a.MaximumSpeed = 2000;
    a.Acceleration = 1000;
    a.Deceleration = 300;
    a.StopDeceleration = 5000;
    a.AppliedMaxPos = 100;
    a.AppliedMinPos = 50;
    a.InitialPosition = -77;
    a.MaxPos = 100;
    a.MinPos = 50;
    return s;
}

}  // namespace

class DriverPageTest : public QObject {
    Q_OBJECT

private slots:
    void ModesAndButtons_data();
    void ModesAndButtons();
    void Checks_data();
    void Checks();
    void BackStoresNothing();
    void CancelAsksOnlyAfterAnEdit();
    void MotorDirectionShown_data();
    void MotorDirectionShown();
};

void DriverPageTest::ModesAndButtons_data() {
    QTest::addColumn<bool>("modify");
    QTest::addColumn<bool>("motorEnabled");
    QTest::addColumn<bool>("deviceBusy");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("accept");
    QTest::addColumn<bool>("backShown");
    QTest::addColumn<bool>("acceptEnabled");
    const QString newTitle = QString::fromUtf8("应用参数-新建");
    const QString modifyTitle = "Application Parameter-Modify";
    QTest::newRow("new") << false << false << false << newTitle << "Next" << true << true;
    QTest::newRow("modify") << true << false << false << modifyTitle << "Save" << false << true;
    QTest::newRow("modify, motor enabled")
        << true << true << false << modifyTitle << "Save" << false << false;
    QTest::newRow("modify, auto update")
        << true << false << true << modifyTitle << "Save" << false << false;
}

void DriverPageTest::ModesAndButtons() {
    QFETCH(bool, modify);
    QFETCH(bool, motorEnabled);
    QFETCH(bool, deviceBusy);
    QFETCH(QString, title);
    QFETCH(QString, accept);
    QFETCH(bool, backShown);
    QFETCH(bool, acceptEnabled);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    CDlgFileNewDriver page(state);
    page.ModifyMode = modify;
    page.MotorEnabled = motorEnabled;
    page.DeviceBusy = deviceBusy;
    const int r = Run<CDlgFileNewDriver>(page, [&](CDlgFileNewDriver& p) {
        QCOMPARE(p.windowTitle(), title);
        QPushButton* next = Find<QPushButton>(p, "nextButton");
        QCOMPARE(next->text(), accept);
        QCOMPARE(next->isEnabled(), acceptEnabled);
        QCOMPARE(Find<QPushButton>(p, "backButton")->isVisible(), backShown);
        QVERIFY(!Find<QComboBox>(p, "motorDirectionCombo")->isEnabled());
        QCOMPARE(Text(p, "maximumSpeedEdit"), QString("2000"));
        QCOMPARE(Text(p, "accelerationEdit"), QString("1000"));
        QCOMPARE(Text(p, "maxPosEdit"), QString("100"));
        QCOMPARE(Text(p, "minPosEdit"), QString("50"));
        for (const char* name :
             {"maximumSpeedEdit", "accelerationEdit", "maxPosEdit", "minPosEdit"})
            QCOMPARE(Find<QLineEdit>(p, name)->maxLength(), 16);
        // A disabled Save does nothing.
        next->click();
        if (!acceptEnabled) {
            QVERIFY(p.isVisible());
            Click(p, "cancelButton");
        }
    });
    QCOMPARE(r, acceptEnabled ? 1 : 2);
    QCOMPARE(prompts.Texts(), QStringList());
}

void DriverPageTest::Checks_data() {
    QTest::addColumn<QString>("maximumSpeed");
    QTest::addColumn<QString>("acceleration");
    QTest::addColumn<QString>("maxPos");
    QTest::addColumn<QString>("minPos");
    QTest::addColumn<QString>("message");  // "" accepted
    QTest::addColumn<int>("storedSpeed");
    QTest::addColumn<int>("appliedMaxPos");
    QTest::addColumn<float>("storedMaxPos");

    const QString speed = "maximum speed,input overrun\nallowed band 0 up to 2500";
    const QString accel =
        QString::fromUtf8("acceleration，input overrun\nallowed band 0 up to 10000");
    const QString maxPos = QString::fromUtf8("MaxPos，input overrun\nallowed band 0 up to 32767");
    const QString minPos = QString::fromUtf8("MinPos，input overrun\nallowed band 0 up to 32767");

    QTest::newRow("speed 2500") << "2500"
                                << "10"
                                << "1"
                                << "1"
                                << "" << 2500 << 1 << 1.0f;
    QTest::newRow("speed 2500.4") << "2500.4"
                                  << "10"
                                  << "1"
                                  << "1" << speed << 2000 << 100 << 100.0f;
    QTest::newRow("speed 1499.5 rounds up") << "1499.5"
                                            << "10"
                                            << "1"
                                            << "1"
                                            << "" << 1500 << 1 << 1.0f;
    QTest::newRow("speed 2.5 rounds up") << "2.5"
                                         << "10"
                                         << "1"
                                         << "1"
                                         << "" << 3 << 1 << 1.0f;
    QTest::newRow("speed 0.4 rounds down") << "0.4"
                                           << "10"
                                           << "1"
                                           << "1"
                                           << "" << 0 << 1 << 1.0f;
    QTest::newRow("acceleration 10001") << "100"
                                        << "10001"
                                        << "1"
                                        << "1" << accel << 2000 << 100 << 100.0f;
    QTest::newRow("maxpos 32767") << "100"
                                  << "10"
                                  << "32767"
                                  << "1"
                                  << "" << 100 << 32767 << 32767.0f;
    QTest::newRow("maxpos -1") << "100"
                               << "10"
                               << "-1"
                               << "1" << maxPos << 2000 << 100 << 100.0f;
    QTest::newRow("maxpos 10.99") << "100"
                                  << "10"
                                  << "10.99"
                                  << "1"
                                  << "" << 100 << 10 << 10.99f;
    // No order between the two: MinPos above MaxPos is taken as it is.
    QTest::newRow("minpos above maxpos") << "100"
                                         << "10"
                                         << "10.5"
                                         << "20"
                                         << "" << 100 << 10 << 10.5f;
    QTest::newRow("minpos 32768") << "100"
                                  << "10"
                                  << "1"
                                  << "32768" << minPos << 2000 << 100 << 100.0f;
    // Checks stop at the first failure: speed before acceleration.
    QTest::newRow("speed and acceleration")
        << "-1"
        << "-1"
        << "1"
        << "1"
        << "maximum speed,input overrun\nallowed band 0 up to 2500" << 2000 << 100 << 100.0f;
}

void DriverPageTest::Checks() {
    QFETCH(QString, maximumSpeed);
    QFETCH(QString, acceleration);
    QFETCH(QString, maxPos);
    QFETCH(QString, minPos);
    QFETCH(QString, message);
    QFETCH(int, storedSpeed);
    QFETCH(int, appliedMaxPos);
    QFETCH(float, storedMaxPos);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    CDlgFileNewDriver page(state);
    const int r = Run<CDlgFileNewDriver>(page, [&](CDlgFileNewDriver& p) {
        Set(p, "maximumSpeedEdit", maximumSpeed);
        Set(p, "accelerationEdit", acceleration);
        Set(p, "maxPosEdit", maxPos);
        Set(p, "minPosEdit", minPos);
        Click(p, "nextButton");
    });
    const torvane::ApplicationGroup& a = state.Params.Application;
    if (message.isEmpty()) {
        QCOMPARE(r, 1);
        QCOMPARE(prompts.Texts(), QStringList());
        // Accepting stores the derivations and takes the hidden values back.
        QCOMPARE(a.Deceleration, 0);
        QCOMPARE(a.StopDeceleration, 0);
        QCOMPARE(int(a.CurrentFlag), 0);
        QCOMPARE(int(a.MotorDirection), 1);
        QCOMPARE(a.AppliedCurrentRating, 5.5f);
        QCOMPARE(a.AppliedLockedRotorCurrent, 15.25f);
        QCOMPARE(a.InitialPosition, -77);
    } else {
        QCOMPARE(r, kLeftOpen);
        QCOMPARE(prompts.Texts(), QStringList{message});
        QCOMPARE(prompts.LastIcon(), Icon::Error);
        QCOMPARE(a.Deceleration, 300);  // nothing stored
    }
    QCOMPARE(a.MaximumSpeed, storedSpeed);
    QCOMPARE(a.AppliedMaxPos, appliedMaxPos);
    QCOMPARE(a.MaxPos, storedMaxPos);
}

void DriverPageTest::BackStoresNothing() {
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    CDlgFileNewDriver page(state);
    const int r = Run<CDlgFileNewDriver>(page, [](CDlgFileNewDriver& p) {
        Set(p, "maximumSpeedEdit", "99999");
        Click(p, "backButton");
    });
    QCOMPARE(r, 3);
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(state.Params.Application.MaximumSpeed, 2000);
    QCOMPARE(state.Params.Application.Deceleration, 300);
}

void DriverPageTest::CancelAsksOnlyAfterAnEdit() {
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    CDlgFileNewDriver page(state);
    QCOMPARE(Run<CDlgFileNewDriver>(page, [](CDlgFileNewDriver& p) { Click(p, "cancelButton"); }),
             2);
    QCOMPARE(prompts.Texts(), QStringList());
    const int r = Run<CDlgFileNewDriver>(page, [&](CDlgFileNewDriver& p) {
        Type(p, "minPosEdit", "7");
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) {
            QTest::keyClick(Find<QLineEdit>(p, "minPosEdit"), static_cast<Qt::Key>(key));
        }
        QVERIFY(p.isVisible());
        QCOMPARE(Text(p, "minPosEdit"), QString("7"));
        prompts.QueueConfirm(false);
        p.close();
        QVERIFY(p.isVisible());
        prompts.QueueConfirm(true);
        Click(p, "cancelButton");
    });
    QCOMPARE(r, 2);
    QCOMPARE(prompts.Texts(), (QStringList{"Parameter not saved, sure to cancel?",
                                           "Parameter not saved, sure to cancel?"}));
    QCOMPARE(state.Params.Application.MinPos, 50.0f);
}

void DriverPageTest::MotorDirectionShown_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("stored");
    QTest::newRow("0") << 0 << "Same as the current positive direction" << 0;
    QTest::newRow("1") << 1 << "Contrary to the current positive direction" << 1;
    QTest::newRow("5: no selection, stored as 1") << 5 << "" << 1;
}

void DriverPageTest::MotorDirectionShown() {
    QFETCH(int, direction);
    QFETCH(QString, shown);
    QFETCH(int, stored);
    RecordingPrompts prompts;
    torvane::DriveState state = StartState();
    state.Params.Application.MotorDirection = static_cast<uint8_t>(direction);
    CDlgFileNewDriver page(state);
    Run<CDlgFileNewDriver>(page, [&](CDlgFileNewDriver& p) {
        QCOMPARE(Find<QComboBox>(p, "motorDirectionCombo")->currentText(), shown);
        Click(p, "nextButton");
    });
    QCOMPARE(int(state.Params.Application.MotorDirection), stored);
}

int RunDriverPageTest(int argc, char** argv) {
    DriverPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "driver_page_test.moc"
