// The parameter menu commands through the real console against the simulated drive: the
// preconditions, the New chain with Back re-reading each page's blocks and Cancel keeping the
// earlier writes, save with a drive that answers and with a silent one, open and download in
// each list mode with the exact frames, the store and restore commands (an error reply is a
// failure), Motor and Driver with Auto Update ticked, Loop Parameters' copy of the entries, the
// custom parameters written back byte for byte, and the console's timers going on while a page
// is open.
//
// A console whose ShowLoopPage answers from a script stands in for the loop page (its own
// tests are in console_loop_page_test); one test reaches the real page.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

#include "app/torvane_dlg.h"
#include "params/driver_page.h"
#include "params/list_page.h"
#include "params/parameter_backup.h"
#include "params/motor_match_dlg.h"
#include "params/motor_page.h"
#include "params/parameter_file.h"
#include "params/user_def_dlg.h"
#include "tuning/loop_page.h"
#include "protocol/drive_error.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "sim/simulated_drive.h"
#include "support/frame_builder.h"
#include "support/modal_qt.h"
#include "support/recording_prompts_qt.h"

using torvane::sim::DriveBehaviour;
using torvane::sim::SimOptions;
using torvane::sim::SimulatedDrive;
using torvane::test::Bytes;
using Timer = CTorvaneDlg::TimerId;

namespace {

// The console with a scripted loop page.
class Console : public CTorvaneDlg {
public:
    using CTorvaneDlg::CTorvaneDlg;
    int ShowLoopPage(bool modify) override {
        loopCalls.push_back(modify);
        if (loopResults.empty()) return 2;
        const int r = loopResults.front();
        loopResults.pop_front();
        // An accepted page stores its gains.
        if (r == 1) State().Params.Loop.SpeedLoopP = 2.5f;
        return r;
    }
    std::deque<int> loopResults;
    std::vector<bool> loopCalls;
};

struct Rig {
    explicit Rig(bool scriptedLoopPage = true) : sim(Fast()) {
        std::string error;
        if (!sim.Start(&error)) qFatal("simulated drive: %s", error.c_str());
        if (scriptedLoopPage) {
            console = new Console(session);
            dlg.reset(console);
        } else {
            dlg = std::make_unique<CTorvaneDlg>(session);
        }
        // The sequences as such: the console's own backups are the backup tests' (the list
        // page's downloads back up from their look, with no requests of their own).
        dlg->Backups().SetWithout(torvane::WithoutBackup::Allowed);
        dlg->ListPage()->Backups().SetFolder(backups.path().toStdString());
    }
    // The console as it ships: a backup before every write, into `folder`.
    void WithBackupsIn(const QString& folder) {
        dlg->Backups().SetWithout(torvane::WithoutBackup::Ask);
        dlg->Backups().SetFolder(folder.toStdString());
        dlg->ListPage()->Backups().SetFolder(folder.toStdString());
    }
    static SimOptions Fast() {
        SimOptions o;
        o.Pacing = false;
        return o;
    }
    template <class T>
    T* Find(const char* name) {
        return dlg->findChild<T*>(name);
    }
    // Connects through the Open button and forgets the handshake's requests.
    void Open() {
        dlg->PreselectPort(QString::fromStdString(sim.SlavePath()));
        Find<QPushButton>("openButton")->click();
        if (!session.IsOpen()) qFatal("the console did not connect");
        sim.ClearRequests();
    }
    // Every request but the status polls: "R 1000 17", "W 6000 2".
    QStringList Log() const {
        QStringList out;
        for (const auto& r : sim.Requests()) {
            if (r.Address == torvane::reg::kLiveStatus) continue;
            out << QString("%1 %2 %3")
                       .arg(r.Function == torvane::kFunctionRead ? 'R' : 'W')
                       .arg(r.Address, 4, 16, QChar('0'))
                       .arg(r.Count)
                       .toUpper();
        }
        return out;
    }
    int StatusPolls() const {
        int n = 0;
        for (const auto& r : sim.Requests()) n += r.Address == torvane::reg::kLiveStatus;
        return n;
    }
    // The data bytes of the last write to `address`.
    Bytes LastWrite(torvane::RegisterAddress address) const {
        Bytes data;
        for (const auto& r : sim.Requests()) {
            if (r.Function == torvane::kFunctionWrite && r.Address == address)
                data.assign(r.Bytes.begin() + torvane::kDataOffset, r.Bytes.end() - 2);
        }
        return data;
    }
    torvane::sim::DriveParameters DriveParams() {
        return sim.WithBehaviour([](DriveBehaviour& b) { return b.Registers().Params; });
    }
    void PokeMotor(const torvane::MotorGroup& m) {
        uint8_t data[17];
        torvane::PackMotorGroup(data, m);
        sim.WithBehaviour([&](DriveBehaviour& b) { return b.Write(0x1000, data, 17); });
    }

    QTemporaryDir backups;
    SimulatedDrive sim;
    torvane::DriveSession session;
    std::unique_ptr<CTorvaneDlg> dlg;
    Console* console = nullptr;
};

// Acts on the next modal window of type T; a window the action left open is closed (a failed
// check inside the action must not hang the test).
template <class T>
void Then(std::function<void(T&)> act) {
    OnNextModalOf<T>([act](T* w) {
        act(*w);
        if (w->isVisible()) {
            qWarning("%s left open", w->metaObject()->className());
            w->close();
        }
    });
}

void Set(QWidget& w, const char* edit, const QString& text) {
    w.findChild<QLineEdit*>(edit)->setText(text);
}
void Click(QWidget& w, const char* button) {
    w.findChild<QPushButton*>(button)->click();
}
QString Text(QWidget& w, const char* edit) {
    return w.findChild<QLineEdit*>(edit)->text();
}

QStringList Repeat(const QString& s, int n) {
    QStringList out;
    for (int i = 0; i < n; ++i) out << s;
    return out;
}

}  // namespace

class ConsoleParamsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }

    void Preconditions_data();
    void Preconditions();
    void NewChainWithBackReReadsEachPage();
    void NewChainCancelKeepsEarlierWrites();
    void NewChainReachesTheLoopPage();
    void NewChainAfterAMotorCommandWithTheMotorEnabled();
    void SaveReadsSevenBlocksAndOpensTheList();
    void SaveWithASilentDriveShowsEachFailure();
    void OpenThenDownloadShowsTheDifference();
    void StoreAndRestoreCommands_data();
    void StoreAndRestoreCommands();
    void MotorCommandSwitchesAutoUpdateOff();
    void DriverCommandWithAutoUpdateCannotSave();
    void AFailedReadOpensNoPage();
    void LoopParametersTakesTheEntriesFirst();
    void CustomParametersWrittenBackByteForByte();
    void CustomParametersAfterAFailedRead();
    void TimersGoOnWhileAPageIsOpen();
    void AGroupWriteBacksUpTheDriveSetFirst();
    void AnUnwritableBackupFolderAsksBeforeWriting_data();
    void AnUnwritableBackupFolderAsksBeforeWriting();
    void RestoreABackup();
    void MatchingThroughTheConsole_data();
    void MatchingThroughTheConsole();
};

void ConsoleParamsTest::Preconditions_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("state");  // "closed", "enabled", "auto update"
    QTest::addColumn<QString>("message");
    const char* file[] = {"new", "save", "open", "download", "default"};
    for (const char* c : file) {
        QTest::addRow("%s, closed", c) << c << "closed"
                                       << "The serial port is not open";
        QTest::addRow("%s, enabled", c) << c << "enabled"
                                        << "The motor is enabled";
        QTest::addRow("%s, auto update", c) << c << "auto update"
                                            << "The device is busy";
    }
    for (const char* c : {"motor", "driver", "loop", "custom"}) {
        QTest::addRow("%s, closed", c) << c << "closed"
                                       << "The serial port is not open";
    }
}

void ConsoleParamsTest::Preconditions() {
    QFETCH(QString, command);
    QFETCH(QString, state);
    QFETCH(QString, message);
    RecordingPrompts prompts;
    Rig rig;
    if (state != "closed") {
        rig.Open();
        if (state == "enabled") rig.dlg->Fields().MotorEnabled = 1;
        if (state == "auto update") rig.dlg->SetAutoUpdate(true);
        rig.sim.ClearRequests();
    }
    // Through the menu item, as the user chooses it.
    const std::map<QString, const char*> items = {
        {"new", "newAction"},
        {"save", "saveAction"},
        {"open", "openAction"},
        {"download", "downloadAction"},
        {"default", "defaultAction"},
        {"motor", "motorAction"},
        {"driver", "driverAction"},
        {"loop", "loopParametersAction"},
        {"custom", "customParametersAction"},
    };
    rig.Find<QAction>(items.at(command))->trigger();
    QCOMPARE(prompts.Texts(), QStringList{message});
    QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::None);
    QCOMPARE(rig.Log(), QStringList());
}

void ConsoleParamsTest::NewChainWithBackReReadsEachPage() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.console->loopResults = {1, 1};
    QStringList seen;
    QStringList listRows;

    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        seen << m.windowTitle() << Text(m, "polePairsEdit");
        Set(m, "polePairsEdit", "5");
        Click(m, "nextButton");
        Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
            seen << d.windowTitle();
            // The drive's motor group changes behind the console's back: Back must read it.
            rig.PokeMotor({9, 1, 2500, 5.0f, 15.0f, 3000, 1});
            Click(d, "backButton");
            Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m2) {
                seen << Text(m2, "polePairsEdit");
                Set(m2, "polePairsEdit", "6");
                Click(m2, "nextButton");
                Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d2) {
                    Set(d2, "maximumSpeedEdit", "2000");
                    Click(d2, "nextButton");
                    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) {
                        seen << l.windowTitle();
                        Click(l, "backButton");
                        Then<CDlgFileNewSave>([&](CDlgFileNewSave& l2) {
                            listRows = l2.Rows();
                            Click(l2, "downloadButton");
                            Click(l2, "finishButton");
                        });
                    });
                });
            });
        });
    });
    rig.dlg->NewParameterSet();

    QCOMPARE(seen, (QStringList{QString::fromUtf8("电机参数-新建"), "4",
                                QString::fromUtf8("应用参数-新建"), "9",
                                QString::fromUtf8("文件-新建")}));
    const QStringList loopStep = {"R 2000 12", "R 200C 12", "R 2018 12", "R 1100 37",
                                  "W 2000 12", "W 200C 12", "W 2018 12"};
    QStringList expected = {"R 1000 17", "R 2200 7",  "W 1000 17",  // motor
                            "R 1100 37", "R 2122 24",               // application: Back
                            "R 1000 17", "R 2200 7",  "W 1000 17",  // motor again
                            "R 1100 37", "R 2122 24", "W 1100 37"};
    expected << loopStep << loopStep << "W 6000 2";
    QCOMPARE(rig.Log(), expected);
    QCOMPARE(rig.console->loopCalls, (std::vector<bool>{false, false}));
    QCOMPARE(prompts.Texts(), QStringList{QString::fromUtf8("Parameter download completed！")});
    // Each accepted page wrote its group before the next opened; the list shows the set.
    const auto drive = rig.DriveParams();
    QCOMPARE(int(drive.Motor.PolePairs), 6);
    QCOMPARE(drive.Application.MaximumSpeed, 2000);
    QCOMPARE(drive.Application.Deceleration, 0);
    QCOMPARE(drive.Loop.SpeedLoopP, 2.5f);
    QCOMPARE(listRows.value(1), QString::fromUtf8("Pole Pairs：6"));
    QCOMPARE(listRows.value(31), QString::fromUtf8("Speed Loop P：2.5"));
    QCOMPARE(rig.LastWrite(0x6000), (Bytes{0x04, 0x01}));
}

void ConsoleParamsTest::NewChainCancelKeepsEarlierWrites() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        Set(m, "polePairsEdit", "7");
        Click(m, "nextButton");
        Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
            Set(d, "accelerationEdit", "20");
            prompts.QueueConfirm(true);
            Click(d, "cancelButton");
        });
    });
    rig.dlg->NewParameterSet();
    QCOMPARE(rig.Log(),
             (QStringList{"R 1000 17", "R 2200 7", "W 1000 17", "R 1100 37", "R 2122 24"}));
    QCOMPARE(prompts.Texts(), QStringList{"Parameter not saved, sure to cancel?"});
    QCOMPARE(int(rig.DriveParams().Motor.PolePairs), 7);
    QCOMPARE(rig.DriveParams().Application.Acceleration, 1000);
    QVERIFY(rig.console->loopCalls.empty());
}

void ConsoleParamsTest::NewChainReachesTheLoopPage() {
    RecordingPrompts prompts;
    Rig rig(false);
    rig.Open();
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        Click(m, "nextButton");
        Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
            Click(d, "nextButton");
            Then<CDlgFileNewPID>([&](CDlgFileNewPID& p) { Click(p, "cancelButton"); });
        });
    });
    rig.dlg->NewParameterSet();
    QCOMPARE(prompts.Texts(), QStringList{});
    // The loop step read its blocks and the page was cancelled unedited: nothing written after.
    QCOMPARE(rig.Log().mid(6), (QStringList{"R 2000 12", "R 200C 12", "R 2018 12", "R 1100 37"}));
}

void ConsoleParamsTest::NewChainAfterAMotorCommandWithTheMotorEnabled() {
    // A Motor command while the motor was enabled leaves no flag behind that refuses Match or
    // disables Next in a later New chain.
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->Fields().MotorEnabled = 1;
    rig.dlg->SetAutoUpdate(true);
    bool matchRefused = false;
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        Click(m, "matchButton");
        matchRefused = prompts.Last() == "The motor is enabled";
        Click(m, "cancelButton");
    });
    rig.dlg->EditMotorParameters();
    QVERIFY(matchRefused);
    rig.dlg->SetAutoUpdate(true);
    Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
        QVERIFY(!d.findChild<QPushButton*>("nextButton")->isEnabled());
        Click(d, "cancelButton");
    });
    rig.dlg->EditDriverParameters();

    rig.dlg->SetAutoUpdate(false);
    rig.dlg->Fields().MotorEnabled = 0;
    prompts.Clear();
    bool nextEnabled = false;
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        QVERIFY(!m.MotorEnabled);
        Click(m, "nextButton");
        Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
            nextEnabled = d.findChild<QPushButton*>("nextButton")->isEnabled();
            Click(d, "cancelButton");
        });
    });
    rig.dlg->NewParameterSet();
    QVERIFY(nextEnabled);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleParamsTest::SaveReadsSevenBlocksAndOpensTheList() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    QStringList rows;
    QString title;
    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) {
        title = l.windowTitle();
        rows = l.Rows();
        Click(l, "downloadButton");
        Click(l, "finishButton");
    });
    rig.dlg->SaveParameterSet();
    QCOMPARE(rig.Log(), (QStringList{"R 1000 17", "R 2200 7", "R 1100 37", "R 2122 24", "R 2000 12",
                                     "R 200C 12", "R 2018 12", "W 6000 2"}));
    QCOMPARE(title, QString("File-Save"));
    QCOMPARE(rows.size(), 37);
    QCOMPARE(rows[3], QString::fromUtf8("Number of encoder lines：2500"));
    QCOMPARE(prompts.Texts(), QStringList{QString::fromUtf8("Parameter download completed！")});
}

void ConsoleParamsTest::SaveWithASilentDriveShowsEachFailure() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->StopTimer(Timer::kPollTimer);
    rig.dlg->State().Params.Motor.PolePairs = 33;  // what the set held before
    rig.sim.SetSilent(true);
    QStringList rows;
    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) {
        rows = l.Rows();
        Click(l, "finishButton");
    });
    rig.dlg->SaveParameterSet();
    QCOMPARE(prompts.Texts(), Repeat("Device no response", 7));
    QCOMPARE(rig.Log().size(), 7);
    QCOMPARE(rows.value(1), QString::fromUtf8("Pole Pairs：33"));
}

void ConsoleParamsTest::OpenThenDownloadShowsTheDifference() {
    QTemporaryDir dir;
    const QString path = dir.filePath("drive.dat");
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    // Save the drive's set, then change the drive, then open the file and download it.
    prompts.QueueFileName(path);
    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) {
        Click(l, "saveButton");
        Click(l, "finishButton");
    });
    rig.dlg->SaveParameterSet();
    QCOMPARE(QFile(path).size(), qint64(96));
    rig.PokeMotor({9, 1, 2500, 5.0f, 15.0f, 3000, 1});
    rig.sim.ClearRequests();
    prompts.Clear();

    prompts.QueueFileName(path);
    QString title;
    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) {
        title = l.windowTitle();
        Click(l, "openButton");
        Click(l, "downloadButton");
        Click(l, "finishButton");
    });
    rig.dlg->OpenParameterFile();
    QCOMPARE(title, QString("File-Open"));
    const QStringList six = {"R 1000 17", "R 2200 7",  "R 1100 37",
                             "R 2000 12", "R 200C 12", "R 2018 12"};
    QStringList expected = six;
    expected << "W 1000 16"
             << "W 2200 7"
             << "W 1100 33"
             << "W 2000 12"
             << "W 200C 12"
             << "W 2018 12"
             << "W 6000 2" << six;
    QCOMPARE(rig.Log(), expected);
    QCOMPARE(prompts.Texts(),
             (QStringList{path,
                          "Drive values the file changes:\nPole Pairs: drive 9, file 4\n\n"
                          "Download the file to the drive?",
                          QString::fromUtf8("Parameter download completed！\nverified")}));
    QCOMPARE(int(rig.DriveParams().Motor.PolePairs), 4);
}

void ConsoleParamsTest::StoreAndRestoreCommands_data() {
    QTest::addColumn<bool>("restore");
    QTest::addColumn<QString>("drive");  // "answers", "refuses", "silent"
    QTest::addColumn<QString>("message");
    // A failure names where it stopped: the command word's register.
    const QString refused =
        "Control Word (0x6000): " + QString::fromUtf8(torvane::DriveErrorText(0xF2));
    const QString silent = "Control Word (0x6000): Device no response";
    QTest::newRow("download") << false << "answers"
                              << QString::fromUtf8("Parameter download completed！");
    QTest::newRow("download, error reply") << false << "refuses" << refused;
    QTest::newRow("download, silent") << false << "silent" << silent;
    QTest::newRow("default") << true << "answers"
                             << QString::fromUtf8("Parameter restoration completed！");
    QTest::newRow("default, error reply") << true << "refuses" << refused;
    QTest::newRow("default, silent") << true << "silent" << silent;
}

void ConsoleParamsTest::StoreAndRestoreCommands() {
    QFETCH(bool, restore);
    QFETCH(QString, drive);
    QFETCH(QString, message);
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->StopTimer(Timer::kPollTimer);
    if (drive == "refuses") rig.sim.AnswerWithResult(2, torvane::RegisterAddress{0x6000});
    if (drive == "silent") rig.sim.SetSilent(true);
    if (restore) {
        rig.dlg->RestoreDefaultParameters();
    } else {
        rig.dlg->DownloadParameterSet();
    }
    QCOMPARE(prompts.Texts(), QStringList{message});
    QCOMPARE(rig.Log(), QStringList{"W 6000 2"});
    const auto requests = rig.sim.Requests();
    QCOMPARE(requests.at(0).Bytes,
             torvane::test::WriteRequest(0x6000, {0x04, uint8_t(restore ? 0x00 : 0x01)}));
}

void ConsoleParamsTest::MotorCommandSwitchesAutoUpdateOff() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->SetAutoUpdate(true);
    QVERIFY(rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    bool saveEnabled = false;
    bool tickedWhileOpen = true;
    QString title;
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        title = m.windowTitle();
        saveEnabled = m.findChild<QPushButton*>("nextButton")->isEnabled();
        tickedWhileOpen = rig.Find<QCheckBox>("autoUpdateCheck")->isChecked();
        Set(m, "ratedCurrentEdit", "6");
        Click(m, "nextButton");
    });
    rig.dlg->EditMotorParameters();
    QCOMPARE(title, QString("Motor Parameters - modify"));
    QVERIFY(saveEnabled);
    QVERIFY(!tickedWhileOpen);
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QCOMPARE(int(rig.dlg->State().AutoUpdate), 0);
    QVERIFY(!rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
    QCOMPARE(rig.Log(), (QStringList{"R 1000 17", "R 2200 7", "W 1000 17"}));
    // 17 bytes: the hidden Motor Hall Sequence goes back too.
    QCOMPARE(rig.LastWrite(0x1000).size(), size_t(17));
    QCOMPARE(rig.DriveParams().Motor.RatedCurrent, 6.0f);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleParamsTest::AGroupWriteBacksUpTheDriveSetFirst() {
    QTemporaryDir dir;
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.WithBackupsIn(dir.path());
    const torvane::sim::DriveParameters before = rig.DriveParams();
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        Set(m, "ratedCurrentEdit", "6");
        Click(m, "nextButton");
    });
    rig.dlg->EditMotorParameters();
    // The page's reads, the backup's six, the write.
    QCOMPARE(rig.Log(), (QStringList{"R 1000 17", "R 2200 7", "R 1000 17", "R 2200 7",
                                     "R 1100 37", "R 2000 12", "R 200C 12", "R 2018 12",
                                     "W 1000 17"}));
    QCOMPARE(prompts.Texts(), QStringList());
    const auto files = torvane::ListBackups(dir.path().toStdString());
    QCOMPARE(files.size(), size_t(1));
    QCOMPARE(files[0].Model, std::string("KVD417"));
    torvane::DriveState saved;
    QVERIFY(torvane::LoadParameterFile(files[0].Path, saved).Ok);
    QCOMPARE(saved.Params.Motor.RatedCurrent, before.Motor.RatedCurrent);
    QCOMPARE(rig.DriveParams().Motor.RatedCurrent, 6.0f);
}

void ConsoleParamsTest::AnUnwritableBackupFolderAsksBeforeWriting_data() {
    QTest::addColumn<bool>("goOn");
    QTest::newRow("declined") << false;
    QTest::newRow("written without a backup") << true;
}

void ConsoleParamsTest::AnUnwritableBackupFolderAsksBeforeWriting() {
    QFETCH(bool, goOn);
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = dir.filePath("file/backups");
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.WithBackupsIn(folder);
    prompts.QueueConfirm(goOn);
    rig.dlg->RestoreDefaultParameters();
    QStringList expected = {"R 1000 17", "R 2200 7",  "R 1100 37",
                            "R 2000 12", "R 200C 12", "R 2018 12"};
    if (goOn) expected << "W 6000 2";
    QCOMPARE(rig.Log(), expected);
    const QStringList texts = prompts.Texts();
    QVERIFY(!texts.isEmpty());
    QVERIFY2(texts[0].startsWith("The drive's parameters could not be backed up:\n") &&
                 texts[0].contains(folder) &&
                 texts[0].endsWith("Write to the drive without a backup?"),
             qPrintable(texts[0]));
    QCOMPARE(prompts.Entries()[0].kind, RecordingPrompts::Kind::Confirm);
    QCOMPARE(texts.size(), goOn ? 2 : 1);
}

void ConsoleParamsTest::RestoreABackup() {
    QTemporaryDir dir;
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.WithBackupsIn(dir.path());
    // A backup of a set with 7 pole pairs; the drive holds its factory 4.
    torvane::DriveState set;
    set.Params.Motor = {7, 2, 2500, 5.0f, 15.0f, 3000, 1};
    set.CountsPerRev = 10000;
    const torvane::BackupResult made = torvane::WriteBackup(
        dir.path().toStdString(), "KVD417",
        torvane::EncodeParameterImage(set.Params, set.CountsPerRev), std::time(nullptr) - 60);
    QVERIFY(made.Ok);
    prompts.QueueFileName(QString::fromStdString(made.Path));
    int rows = 0;
    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) {
        QTRY_COMPARE(l.List()->count(), 37);
        rows = l.List()->count();
        Click(l, "downloadButton");
        Click(l, "finishButton");
    });
    rig.dlg->findChild<QAction*>("restoreBackupAction")->trigger();
    QCOMPARE(rows, 37);
    // The open dialog began in the backup folder.
    QCOMPARE(prompts.Entries()[0].kind, RecordingPrompts::Kind::OpenFile);
    QCOMPARE(prompts.Entries()[0].initial, dir.path());
    QCOMPARE(int(rig.DriveParams().Motor.PolePairs), 7);
    // The download backed up the set it replaced, from its own look.
    QCOMPARE(torvane::ListBackups(dir.path().toStdString()).size(), size_t(2));
    QVERIFY(prompts.Texts().last().startsWith(QString::fromUtf8("Parameter download completed！")));
    // A plain open starts where the dialog likes again.
    prompts.Clear();
    Then<CDlgFileNewSave>([&](CDlgFileNewSave& l) { Click(l, "finishButton"); });
    rig.dlg->OpenParameterFile();
    QVERIFY(prompts.Entries().empty());
}

void ConsoleParamsTest::DriverCommandWithAutoUpdateCannotSave() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->SetAutoUpdate(true);
    bool saveEnabled = true;
    QString title;
    bool backShown = true;
    Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
        title = d.windowTitle();
        saveEnabled = d.findChild<QPushButton*>("nextButton")->isEnabled();
        backShown = d.findChild<QPushButton*>("backButton")->isVisible();
        Click(d, "cancelButton");
    });
    rig.dlg->EditDriverParameters();
    QCOMPARE(title, QString("Application Parameter-Modify"));
    QVERIFY(!saveEnabled);
    QVERIFY(!backShown);
    // Auto Update stays on.
    QVERIFY(rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QVERIFY(rig.dlg->TimerActive(Timer::kAutoUpdateTimer));
    QCOMPARE(rig.Log(), (QStringList{"R 1100 37", "R 2122 24"}));

    // Without Auto Update the page saves: 37 bytes.
    rig.dlg->SetAutoUpdate(false);
    Then<CDlgFileNewDriver>([&](CDlgFileNewDriver& d) {
        Set(d, "maximumSpeedEdit", "1499.5");
        Click(d, "nextButton");
    });
    rig.dlg->EditDriverParameters();
    QCOMPARE(rig.Log().last(), QString("W 1100 37"));
    QCOMPARE(rig.DriveParams().Application.MaximumSpeed, 1500);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleParamsTest::AFailedReadOpensNoPage() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->StopTimer(Timer::kPollTimer);
    rig.sim.AnswerWithResult(1, torvane::RegisterAddress{0x2200});
    bool opened = false;
    OnNextModal(
        [&](QWidget* w) {
            opened = true;
            w->close();
        },
        20);
    rig.dlg->EditMotorParameters();
    QCOMPARE(prompts.Texts(), QStringList{QString::fromUtf8(torvane::DriveErrorText(0xF1))});
    QCOMPARE(rig.Log(), (QStringList{"R 1000 17", "R 2200 7"}));
    // Long enough for the twenty looks (each takes one turn of the event loop).
    QTest::qWait(500);
    QVERIFY(!opened);
}

void ConsoleParamsTest::LoopParametersTakesTheEntriesFirst() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Find<QLineEdit>("encoderValueEdit")->setText("4096");
    rig.Find<QLineEdit>("reductionRatioEdit")->setText("12.5");
    rig.dlg->EditLoopParameters();
    // No port: the entries are taken all the same.
    QCOMPARE(prompts.Texts(), QStringList{"The serial port is not open"});
    QCOMPARE(rig.dlg->State().OneLoopEncoderValue, 4096.0f);
    QCOMPARE(rig.dlg->State().ReductionRatio, 12.5f);

    rig.Open();
    prompts.Clear();
    rig.dlg->SetAutoUpdate(true);
    rig.console->loopResults = {1};
    rig.dlg->EditLoopParameters();
    QCOMPARE(rig.console->loopCalls, std::vector<bool>{true});
    QVERIFY(!rig.Find<QCheckBox>("autoUpdateCheck")->isChecked());
    QCOMPARE(rig.Log(), (QStringList{"R 2000 12", "R 200C 12", "R 2018 12", "R 1100 37",
                                     "W 2000 12", "W 200C 12", "W 2018 12"}));
    QCOMPARE(rig.DriveParams().Loop.SpeedLoopP, 2.5f);
}

void ConsoleParamsTest::CustomParametersWrittenBackByteForByte() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    // The drive holds flags and values the dialog does not show.
    Bytes block(100, 0);
    block[1] = 0x02;  // flag 9
    block[3] = 0x81;  // flags 24 and 31
    for (int k = 0; k < 24; ++k) torvane::PutI32BE(&block[4 + 4 * k], 1000 + k);
    torvane::PutI32BE(&block[4 + 4 * 4], 5);
    torvane::PutI32BE(&block[4 + 4 * 11], -0);
    torvane::PutI32BE(&block[4 + 4 * 13], 3000);
    torvane::PutI32BE(&block[4 + 4 * 14], 0);
    rig.sim.WithBehaviour([&](DriveBehaviour& b) { return b.Write(0x3000, block.data(), 100); });

    QString title;
    QString brake;
    Then<CDlgUserDef>([&](CDlgUserDef& d) {
        title = d.windowTitle();
        brake = d.ValueEdit(13)->text();
        Click(d, "okButton");
    });
    rig.dlg->EditCustomParameters();
    QCOMPARE(title, QString("Custom Parameters - Modify"));
    QCOMPARE(brake, QString("3000"));
    QCOMPARE(rig.Log(), (QStringList{"R 3000 100", "W 3000 100"}));
    QCOMPARE(rig.LastWrite(0x3000), block);
    // 3001 is refused while typing and on Save, then 20 is taken.
    Then<CDlgUserDef>([&](CDlgUserDef& d) {
        d.ValueEdit(13)->setText("3001");
        Click(d, "okButton");
        d.ValueEdit(13)->setText("20");
        Click(d, "okButton");
    });
    rig.dlg->EditCustomParameters();
    const QString brakeMessage = QString::fromUtf8(
        "Duty cycle number of duty cycle, transfinite number of exports\nallowed band 0 up to "
        "3000");
    QCOMPARE(prompts.Texts(), (QStringList{brakeMessage, brakeMessage}));
    Bytes expected = block;
    torvane::PutI32BE(&expected[4 + 4 * 13], 20);
    QCOMPARE(rig.LastWrite(0x3000), expected);
}

void ConsoleParamsTest::CustomParametersAfterAFailedRead() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    rig.dlg->StopTimer(Timer::kPollTimer);
    rig.dlg->State().Params.Custom.CustomValues[4] = 17;
    rig.sim.SetSilent(true);
    QString iq;
    Then<CDlgUserDef>([&](CDlgUserDef& d) {
        iq = d.ValueEdit(4)->text();
        Click(d, "okButton");
    });
    rig.dlg->EditCustomParameters();
    // The dialog opened with what the set held; the write's failure is shown with its block.
    QCOMPARE(iq, QString("17"));
    QCOMPARE(prompts.Texts(), QStringList{"Custom Parameters (0x3000): Device no response"});
    QCOMPARE(rig.Log(), (QStringList{"R 3000 100", "W 3000 100"}));
}

void ConsoleParamsTest::TimersGoOnWhileAPageIsOpen() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Open();
    int polls = -1;
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        const int before = rig.StatusPolls();
        // Six poll periods (25 ms each here) with the page open.
        QTest::qWait(150);
        polls = rig.StatusPolls() - before;
        Click(m, "cancelButton");
    });
    rig.dlg->EditMotorParameters();
    QVERIFY2(polls >= 2, qPrintable(QString::number(polls)));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleParamsTest::MatchingThroughTheConsole_data() {
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");  // MatchState when the box is closed
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("pollAgain");
    using torvane::sim::MatchOutcome;
    // The drive takes 15 s; timer 3 looks every 10 s and gives up on its fourth look.
    QTest::newRow("completed") << int(MatchOutcome::Ok)
                               << QString::fromUtf8("Match completed, Please close……！") << 1
                               << "Matched" << true;
    QTest::newRow("failed") << int(MatchOutcome::Fail)
                            << QString::fromUtf8("Failed to match. please close……！") << 3
                            << "Unmatch" << true;
    QTest::newRow("time-out") << int(MatchOutcome::Never)
                              << QString::fromUtf8("Match timeout， Please close！") << 2
                              << "Unmatch" << false;
}

void ConsoleParamsTest::MatchingThroughTheConsole() {
    QFETCH(int, outcome);
    QFETCH(QString, text);
    QFETCH(int, state);
    QFETCH(QString, shown);
    QFETCH(bool, pollAgain);
    RecordingPrompts prompts;
    Rig rig;
    rig.sim.SetMatchOutcome(static_cast<torvane::sim::MatchOutcome>(outcome));
    rig.Open();
    // The drive starts matched; the page shows what the drive reports afterwards.
    rig.sim.WithBehaviour([](DriveBehaviour& b) {
        const uint8_t unmatched[7] = {0, 1, 1, 0, 0, 0, 90};
        return b.Write(0x2200, unmatched, 7);
    });
    QStringList seen;
    int boxState = -1;
    bool matchTimerRan = false;
    Then<CDlgFileNewMotor>([&](CDlgFileNewMotor& m) {
        Set(m, "polePairsEdit", "6");
        Then<CDlgFileMotorMatch>([&](CDlgFileMotorMatch& box) {
            // The console's timer 3 writes into the box while it is open: the command that
            // opened the page does not hold the console busy meanwhile.
            matchTimerRan = rig.dlg->TimerActive(Timer::kMatchTimer);
            QTRY_VERIFY_WITH_TIMEOUT(!rig.dlg->TimerActive(Timer::kMatchTimer), 10000);
            seen << box.Text() << box.Caption();
            boxState = box.MatchState;
            Click(box, "matchBoxButton");
        });
        Click(m, "matchButton");
        seen << m.findChild<QComboBox*>("matchingStateCombo")->currentText();
        Click(m, "nextButton");
    });
    rig.dlg->EditMotorParameters();
    QVERIFY(matchTimerRan);
    QCOMPARE(seen, (QStringList{text, "Close", shown}));
    QCOMPARE(boxState, state);
    QCOMPARE(rig.dlg->TimerActive(Timer::kPollTimer), pollAgain);
    QCOMPARE(prompts.Texts(), QStringList());
    // The page's group went to the drive, then the start word; the Save wrote it once more.
    QStringList writes;
    for (const QString& line : rig.Log()) {
        if (line.startsWith('W')) writes << line;
    }
    QCOMPARE(writes, (QStringList{"W 1000 17", "W 6000 2", "W 1000 17"}));
    QCOMPARE(int(rig.DriveParams().Motor.PolePairs), 6);
}

QTEST_MAIN(ConsoleParamsTest)
#include "console_params_test.moc"
