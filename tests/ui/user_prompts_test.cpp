#include "ui/user_prompts.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"

namespace {

// What the next message box looked like; filled by Inspect.
struct Seen {
    bool shown = false;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString title;
    QWidget* parent = nullptr;
    bool defaultOk = false;
};

// Records the next message box and presses `press` (or Escape when NoButton).
void Inspect(Seen& seen, QMessageBox::StandardButton press) {
    OnNextModalOf<QMessageBox>([&seen, press](QMessageBox* box) {
        seen.shown = true;
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.title = box->windowTitle();
        seen.parent = box->parentWidget();
        seen.defaultOk =
            static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::Ok);
        if (press == QMessageBox::NoButton) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            box->button(press)->click();
        }
    });
}

}  // namespace

class UserPromptsTest : public QObject {
    Q_OBJECT

private slots:
    void NoticeHasOneOkButtonAndTheIcon();
    void ConfirmIsOkCancelWithQuestionIcon();
    void FileDialogsReturnTheChosenNameOrEmpty();
    void InstalledPromptsReplaceTheQtOnes();
};

void UserPromptsTest::NoticeHasOneOkButtonAndTheIcon() {
    const struct {
        UserPrompts::Icon icon;
        QMessageBox::Icon qt;
    } cases[] = {{UserPrompts::Icon::None, QMessageBox::NoIcon},
                 {UserPrompts::Icon::Error, QMessageBox::Critical},
                 {UserPrompts::Icon::Warning, QMessageBox::Warning},
                 {UserPrompts::Icon::Information, QMessageBox::Information},
                 {UserPrompts::Icon::Question, QMessageBox::Question}};
    QWidget console;
    console.setWindowTitle("Kelmora GUI 2.1");
    SetPromptParent(&console);
    for (const auto& c : cases) {
        Seen seen;
        Inspect(seen, QMessageBox::Ok);
        Prompts().Notice(QString::fromUtf8("Open fail！\nreason"), c.icon);
        QVERIFY(seen.shown);
        QCOMPARE(seen.text, QString::fromUtf8("Open fail！\nreason"));
        QCOMPARE(seen.icon, c.qt);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.title, console.windowTitle());
        QCOMPARE(seen.parent, &console);
    }
    SetPromptParent(nullptr);
    Seen seen;
    Inspect(seen, QMessageBox::Ok);
    Prompts().Notice("Closed");
    QCOMPARE(seen.parent, nullptr);
}

void UserPromptsTest::ConfirmIsOkCancelWithQuestionIcon() {
    const struct {
        QMessageBox::StandardButton press;
        bool answer;
    } cases[] = {{QMessageBox::Ok, true},
                 {QMessageBox::Cancel, false},
                 {QMessageBox::NoButton, false}};  // Escape
    for (const auto& c : cases) {
        Seen seen;
        Inspect(seen, c.press);
        QCOMPARE(Prompts().Confirm("Parameter not saved, sure to cancel?"), c.answer);
        QVERIFY(seen.shown);
        QCOMPARE(seen.text, QString("Parameter not saved, sure to cancel?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(seen.defaultOk, true);
    }
}

void UserPromptsTest::FileDialogsReturnTheChosenNameOrEmpty() {
    QTemporaryDir dir;
    const QString existing = dir.filePath("motor.dat");
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QString caption;
    OnNextModalOf<QFileDialog>([&](QFileDialog* d) {
        caption = d->windowTitle();
        d->selectFile(existing);
        static_cast<QDialog*>(d)->accept();  // public in QDialog
    });
    QCOMPARE(Prompts().OpenFileName("Open parameters", "Parameter files (*.dat)"), existing);
    QCOMPARE(caption, QString("Open parameters"));

    const QString fresh = dir.filePath("new.csv");
    OnNextModalOf<QFileDialog>([&](QFileDialog* d) {
        d->selectFile(fresh);
        static_cast<QDialog*>(d)->accept();  // public in QDialog
    });
    QCOMPARE(Prompts().SaveFileName("Save points", "CSV files (*.csv)"), fresh);

    OnNextModalOf<QFileDialog>([](QFileDialog* d) { d->reject(); });
    QCOMPARE(Prompts().SaveFileName("Save points", "CSV files (*.csv)"), QString());
}

void UserPromptsTest::InstalledPromptsReplaceTheQtOnes() {
    UserPrompts* qt = &Prompts();
    {
        RecordingPrompts recorder;
        QCOMPARE(&Prompts(), static_cast<UserPrompts*>(&recorder));
        recorder.QueueConfirm(false);
        recorder.QueueFileName("/tmp/x.dat");
        Prompts().Notice("a", UserPrompts::Icon::Error);
        QVERIFY(!Prompts().Confirm("b"));
        QVERIFY(Prompts().Confirm("c"));  // script used up: the default answer
        QCOMPARE(Prompts().OpenFileName("Open", "*.dat"), QString("/tmp/x.dat"));
        QCOMPARE(Prompts().SaveFileName("Save", "*.dat"), QString());
        QCOMPARE(recorder.Texts(), QStringList({"a", "b", "c"}));
        QCOMPARE(recorder.NoticeCount(), 1);
        QCOMPARE(recorder.Last(), QString("c"));
        QCOMPARE(recorder.LastIcon(), UserPrompts::Icon::Question);
        QCOMPARE(int(recorder.Entries().size()), 5);
        recorder.Clear();
        QCOMPARE(recorder.Last(), QString());
    }
    QCOMPARE(&Prompts(), qt);
}

QTEST_MAIN(UserPromptsTest)
#include "user_prompts_test.moc"
