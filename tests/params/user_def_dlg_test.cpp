// The custom parameters dialog through its real widgets: title and button by mode, the four
// visible values, the checks on OK in their order (all values stored first), the checks while
// typing and at the filling, Cancel, Escape and Enter, and the hidden flags and values kept.
#include <QTest>

#include "params/page_test_support.h"
#include "params/user_def_dlg.h"
#include "support/recording_prompts_qt.h"

using namespace pagetest;
using Icon = UserPrompts::Icon;

namespace {

const QString kIq = QString::fromUtf8(
    "Ring-opening vehicle distribution current Iq, export transfinite number\nallowed band 0 up "
    "to 20");
const QString kVq = QString::fromUtf8(
    "Ultra-low speed Vq setting size, export transfinite number\nallowed band 0 up to 1000");
const QString kBrake = QString::fromUtf8(
    "Duty cycle number of duty cycle, transfinite number of exports\nallowed band 0 up to 3000");
const QString kHolding = QString::fromUtf8(
    "Duty cycle holding duty cycle number, export transfinite number\nallowed band 0 up to 3000");

torvane::ParameterSet StartSet() {
    torvane::ParameterSet s;
    for (int k = 0; k < torvane::kCustomValueCount; ++k) s.Custom.CustomValues[k] = 100 + k;
    s.Custom.CustomValues[4] = 10;
    s.Custom.CustomValues[11] = 500;
    s.Custom.CustomValues[13] = 3000;
    s.Custom.CustomValues[14] = 0;
    s.Custom.CustomFlags[0] = 1;
    s.Custom.CustomFlags[9] = 1;
    s.Custom.CustomFlags[31] = 1;
    return s;
}

}  // namespace

class UserDefDlgTest : public QObject {
    Q_OBJECT

private slots:
    void TitlesAndFilling_data();
    void TitlesAndFilling();
    void ChecksOnSave_data();
    void ChecksOnSave();
    void RefusedValuesStayStored();
    void ChecksWhileTyping();
    void ChecksAtTheFilling();
    void LeavingWithoutSaving_data();
    void LeavingWithoutSaving();
    void EnterPressesSave();
};

void UserDefDlgTest::TitlesAndFilling_data() {
    QTest::addColumn<bool>("modify");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("accept");
    QTest::newRow("plain") << false << QString::fromUtf8("自定义参数") << "OK";
    QTest::newRow("modify") << true << "Custom Parameters - Modify"
                            << "Save";
}

void UserDefDlgTest::TitlesAndFilling() {
    QFETCH(bool, modify);
    QFETCH(QString, title);
    QFETCH(QString, accept);
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    const torvane::ParameterSet before = set;
    CDlgUserDef dialog(set);
    dialog.ModifyMode = modify;
    const int r = Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        QCOMPARE(d.windowTitle(), title);
        QCOMPARE(Find<QPushButton>(d, "okButton")->text(), accept);
        QCOMPARE(Text(d, "customValue4Edit"), QString("10"));
        QCOMPARE(Text(d, "customValue11Edit"), QString("500"));
        QCOMPARE(Text(d, "customValue13Edit"), QString("3000"));
        QCOMPARE(Text(d, "customValue14Edit"), QString("0"));
        // The labels name the entries.
        QCOMPARE(d.ValueEdit(13)->accessibleName(), QString("Brake Start Duty Cycle Parameters"));
        Click(d, "okButton");
    });
    QCOMPARE(r, 1);
    QCOMPARE(prompts.Texts(), QStringList());
    // Nothing changed: every flag and every value as they were (the block written back is the
    // block that was read).
    QVERIFY(set.Custom.CustomFlags == before.Custom.CustomFlags);
    QVERIFY(set.Custom.CustomValues == before.Custom.CustomValues);
}

void UserDefDlgTest::ChecksOnSave_data() {
    QTest::addColumn<QString>("v4");
    QTest::addColumn<QString>("v11");
    QTest::addColumn<QString>("v13");
    QTest::addColumn<QString>("v14");
    QTest::addColumn<QString>("message");  // "" accepted
    QTest::newRow("all at their bounds") << "20"
                                         << "1000"
                                         << "3000"
                                         << "3000"
                                         << "";
    QTest::newRow("all at zero") << "0"
                                 << "0"
                                 << "0"
                                 << "0"
                                 << "";
    QTest::newRow("iq 21") << "21"
                           << "0"
                           << "0"
                           << "0" << kIq;
    QTest::newRow("vq 1001") << "0"
                             << "1001"
                             << "0"
                             << "0" << kVq;
    QTest::newRow("iq -1") << "-1"
                           << "0"
                           << "0"
                           << "0" << kIq;
    // Order: 13, 14, 4, 11.
    QTest::newRow("iq and vq: iq first") << "21"
                                         << "1001"
                                         << "0"
                                         << "0" << kIq;
}

void UserDefDlgTest::ChecksOnSave() {
    QFETCH(QString, v4);
    QFETCH(QString, v11);
    QFETCH(QString, v13);
    QFETCH(QString, v14);
    QFETCH(QString, message);
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    CDlgUserDef dialog(set);
    const int r = Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        Set(d, "customValue4Edit", v4);
        Set(d, "customValue11Edit", v11);
        Set(d, "customValue13Edit", v13);
        Set(d, "customValue14Edit", v14);
        prompts.Clear();  // what typing said is another test's
        Click(d, "okButton");
    });
    if (message.isEmpty()) {
        QCOMPARE(r, 1);
        QCOMPARE(prompts.Texts(), QStringList());
    } else {
        QCOMPARE(r, kLeftOpen);
        QCOMPARE(prompts.Texts(), QStringList{message});
        QCOMPARE(prompts.LastIcon(), Icon::Error);
    }
    // Stored in any case, before the checks.
    QCOMPARE(set.Custom.CustomValues[4], v4.toInt());
    QCOMPARE(set.Custom.CustomValues[11], v11.toInt());
    QCOMPARE(set.Custom.CustomValues[7], 107);
}

void UserDefDlgTest::RefusedValuesStayStored() {
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    CDlgUserDef dialog(set);
    Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        Set(d, "customValue13Edit", "3001");
        Set(d, "customValue14Edit", "3002");
        prompts.Clear();
        Click(d, "okButton");
        QCOMPARE(prompts.Texts(), QStringList{kBrake});
        d.close();
    });
    QCOMPARE(set.Custom.CustomValues[13], 3001);
    QCOMPARE(set.Custom.CustomValues[14], 3002);
}

void UserDefDlgTest::ChecksWhileTyping() {
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    set.Custom.CustomValues[13] = 0;
    CDlgUserDef dialog(set);
    Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        // The fourth key makes 3001; the text stays as typed.
        Type(d, "customValue13Edit", "3001");
        QCOMPARE(prompts.Texts(), QStringList{kBrake});
        QCOMPARE(Text(d, "customValue13Edit"), QString("3001"));
        prompts.Clear();
        Type(d, "customValue13Edit", "3000");
        QCOMPARE(prompts.Texts(), QStringList());
        Type(d, "customValue14Edit", "30010");
        QCOMPARE(prompts.Texts(), (QStringList{kHolding, kHolding}));
        prompts.Clear();
        // The other entries are checked on OK only.
        Type(d, "customValue4Edit", "99");
        QCOMPARE(prompts.Texts(), QStringList());
        d.close();
    });
}

void UserDefDlgTest::ChecksAtTheFilling() {
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    set.Custom.CustomValues[13] = 4000;
    set.Custom.CustomValues[14] = -5;
    CDlgUserDef dialog(set);
    QStringList whenShown;
    Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        whenShown = prompts.Texts();
        d.close();
    });
    QCOMPARE(whenShown, (QStringList{kBrake, kHolding}));
}

void UserDefDlgTest::LeavingWithoutSaving_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel") << "cancel";
    QTest::newRow("close box") << "close box";
    QTest::newRow("escape") << "escape";
}

void UserDefDlgTest::LeavingWithoutSaving() {
    QFETCH(QString, how);
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    CDlgUserDef dialog(set);
    const int r = Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        Set(d, "customValue4Edit", "7");
        if (how == "cancel") {
            Click(d, "cancelButton");
        } else if (how == "close box") {
            d.close();
        } else {
            QTest::keyClick(d.ValueEdit(4), Qt::Key_Escape);
        }
    });
    QCOMPARE(r, 2);
    QCOMPARE(set.Custom.CustomValues[4], 10);
    QCOMPARE(prompts.Texts(), QStringList());
}

void UserDefDlgTest::EnterPressesSave() {
    RecordingPrompts prompts;
    torvane::ParameterSet set = StartSet();
    CDlgUserDef dialog(set);
    dialog.ModifyMode = true;
    const int r = Run<CDlgUserDef>(dialog, [&](CDlgUserDef& d) {
        Set(d, "customValue11Edit", "12");
        QTest::keyClick(d.ValueEdit(11), Qt::Key_Return);
    });
    QCOMPARE(r, 1);
    QCOMPARE(set.Custom.CustomValues[11], 12);
}

int RunUserDefDlgTest(int argc, char** argv) {
    UserDefDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "user_def_dlg_test.moc"
