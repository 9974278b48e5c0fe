// The parameter list page through its real widgets: titles, buttons and rows by mode; Back,
// Finish and the close box; save and open with real files in a temporary folder (whole files
// only, failures shown); and the download in each mode against the simulated drive, with the
// exact frames from the drive's request log, the look before, the check after, an error reply
// and a drive that falls silent.
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "params/list_page.h"
#include "params/parameter_backup.h"
#include "params/page_test_support.h"
#include "params/parameter_file.h"
#include "params/parameter_image.h"
#include "protocol/drive_error.h"
#include "protocol/register_map.h"
#include "sim/simulated_drive.h"
#include "support/frame_builder.h"
#include "support/recording_prompts_qt.h"

using namespace pagetest;
using Icon = UserPrompts::Icon;
using torvane::ListMode;
using torvane::test::Bytes;
using torvane::test::ReadRequest;
using torvane::test::WriteRequest;

namespace {

// A set unlike the simulated drive's factory set in the motor and application groups.
torvane::ParameterSet FileSet() {
    torvane::ParameterSet f;
    f.Motor = {5, 2, 1000, 2.0f, 4.0f, 1500, 6};
    f.Matching = {1, 1, 1, 0, 0, 90};
    torvane::ApplicationGroup& a = f.Application;
    a.MotorDirection = 1;
    a.AppliedCurrentRating = 2.0f;
    a.AppliedLockedRotorCurrent = 4.0f;
    a.MaximumSpeed = 2000;
    a.Acceleration = 500;
    a.AppliedMaxPos = 10;
    a.AppliedMinPos = 5;
    f.Loop = {1.0f, 0.2f, 0.0f, 0.8f, 0.1f, 0.0f, 0.5f, 0.0f, 0.0f};
    return f;
}

// Prompts that also run `onConfirm` when a question is asked (to change the drive's behaviour
// between the look before and the writes).
class HookedPrompts : public RecordingPrompts {
public:
    bool Confirm(const QString& text) override {
        const bool answer = RecordingPrompts::Confirm(text);
        if (onConfirm) onConfirm();
        return answer;
    }
    std::function<void()> onConfirm;
};

// A session on a simulated drive, and a list page over it.
struct DriveRig {
    DriveRig() {
        torvane::sim::SimOptions options;
        options.Pacing = false;
        drive = std::make_unique<torvane::sim::SimulatedDrive>(options);
        if (!drive->Start()) qFatal("simulated drive");
        std::string reason;
        if (!session.Open(drive->SlavePath(), torvane::LineSettings{}, &reason))
            qFatal("open: %s", reason.c_str());
        // As the console's handshake left it: the model names the backups.
        session.State().ModelString = "KVD417";
    }
    std::vector<Bytes> Frames() const {
        std::vector<Bytes> out;
        for (const auto& r : drive->Requests()) out.push_back(r.Bytes);
        return out;
    }
    std::unique_ptr<torvane::sim::SimulatedDrive> drive;
    torvane::DriveSession session;
};

Bytes MotorDownload() {
    // Pole Pairs 5, type 2, 1000 lines, 2.0 A, 4.0 A, 1500 rpm; no Motor Hall Sequence.
    return {0x05, 0x02, 0x03, 0xE8, 0x40, 0x00, 0x00, 0x00,
            0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 0x05, 0xDC};
}

Bytes ApplicationDownload() {
    // The Motor Direction byte, 2.0, 4.0, 2000, 500, 0, 0, 10, 5: 33 bytes, no Initial Position.
    return {0x01, 0x40, 0x00, 0x00, 0x00, 0x40, 0x80, 0x00, 0x00, 0x00, 0x00,
            0x07, 0xD0, 0x00, 0x00, 0x01, 0xF4, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x05};
}

Bytes Gains(float p, float i, float d) {
    Bytes b(12);
    torvane::PutFloatBE(&b[0], p);
    torvane::PutFloatBE(&b[4], i);
    torvane::PutFloatBE(&b[8], d);
    return b;
}

std::vector<Bytes> SixReads() {
    return {ReadRequest(0x1000, 17), ReadRequest(0x2200, 7),  ReadRequest(0x1100, 37),
            ReadRequest(0x2000, 12), ReadRequest(0x200C, 12), ReadRequest(0x2018, 12)};
}

std::vector<Bytes> SixWrites() {
    return {WriteRequest(0x1000, MotorDownload()),
            WriteRequest(0x2200, {0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x5A}),
            WriteRequest(0x1100, ApplicationDownload()),
            WriteRequest(0x2000, Gains(1.0f, 0.2f, 0.0f)),
            WriteRequest(0x200C, Gains(0.8f, 0.1f, 0.0f)),
            WriteRequest(0x2018, Gains(0.5f, 0.0f, 0.0f))};
}

const Bytes kStore = WriteRequest(0x6000, {0x04, 0x01});

std::vector<Bytes> Join(std::initializer_list<std::vector<Bytes>> parts) {
    std::vector<Bytes> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write the test file");
    f.write(bytes);
}

}  // namespace

class ListPageTest : public QObject {
    Q_OBJECT

private slots:
    void Modes_data();
    void Modes();
    void RowsOfTheSet();
    void BackFinishAndKeys_data();
    void BackFinishAndKeys();
    void SaveThenOpen();
    void OpenRefusesAFileThatIsNotWhole_data();
    void OpenRefusesAFileThatIsNotWhole();
    void SaveFailuresAreShown();
    void DownloadStoresOnlyInNewAndSaveModes_data();
    void DownloadStoresOnlyInNewAndSaveModes();
    void DownloadOfAnOpenedFile();
    void DownloadDeclinedWritesNothing();
    void DownloadStopsAtAnErrorReply();
    void DownloadStopsWhenTheDriveFallsSilent();
    void DownloadWithoutAPortDoesNothing();
    void AnOpenedFileRoundTripsAfterALookAtTheDrive_data();
    void AnOpenedFileRoundTripsAfterALookAtTheDrive();
    void AnUnwritableBackupFolderAsksBeforeTheWrites();
};

void ListPageTest::Modes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("enabled");  // save, download, open, back, finish
    QTest::addColumn<int>("rows");
    QTest::newRow("new") << int(ListMode::New) << QString::fromUtf8("文件-新建") << "11011" << 37;
    QTest::newRow("open") << int(ListMode::Open) << "File-Open"
                          << "00101" << 0;
    QTest::newRow("save") << int(ListMode::Save) << "File-Save"
                          << "11001" << 37;
}

void ListPageTest::Modes() {
    QFETCH(int, mode);
    QFETCH(QString, title);
    QFETCH(QString, enabled);
    QFETCH(int, rows);
    RecordingPrompts prompts;
    torvane::DriveSession session;
    CDlgFileNewSave page(session);
    page.ListMode = static_cast<ListMode>(mode);
    Run<CDlgFileNewSave>(page, [&](CDlgFileNewSave& p) {
        QCOMPARE(p.windowTitle(), title);
        QString state;
        for (const char* b :
             {"saveButton", "downloadButton", "openButton", "backButton", "finishButton"})
            state += Find<QPushButton>(p, b)->isEnabled() ? '1' : '0';
        QCOMPARE(state, enabled);
        QCOMPARE(p.List()->count(), rows);
        Click(p, "finishButton");
    });
    QCOMPARE(prompts.Texts(), QStringList());
}

void ListPageTest::RowsOfTheSet() {
    RecordingPrompts prompts;
    torvane::DriveSession session;
    session.State().Params = FileSet();
    CDlgFileNewSave page(session);
    Run<CDlgFileNewSave>(page, [&](CDlgFileNewSave& p) {
        const QStringList rows = p.Rows();
        QCOMPARE(rows.size(), 37);
        QCOMPARE(rows[0], QString("Motor Parameters"));
        QCOMPARE(rows[1], QString::fromUtf8("Pole Pairs：5"));
        QCOMPARE(rows[4], QString::fromUtf8("Rating Current：2"));
        QCOMPARE(rows[14], QString::fromUtf8("Initial electrical Angle：90"));
        QCOMPARE(rows[19], QString::fromUtf8("Applied Maximum Revolution：2000"));
        QCOMPARE(rows[20], QString::fromUtf8("Acceleration ：500"));
        QCOMPARE(rows[36], QString::fromUtf8("Position D：0"));
        for (int empty : {7, 15, 26}) QCOMPARE(rows[empty], QString());
        Click(p, "finishButton");
    });
}

void ListPageTest::BackFinishAndKeys_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("new, finish") << int(ListMode::New) << "finish" << 1;
    QTest::newRow("new, back") << int(ListMode::New) << "back" << 3;
    QTest::newRow("new, close box") << int(ListMode::New) << "close" << 2;
    QTest::newRow("open, close box") << int(ListMode::Open) << "close" << 2;
    QTest::newRow("save, finish") << int(ListMode::Save) << "finish" << 1;
    QTest::newRow("save, close box") << int(ListMode::Save) << "close" << 2;
}

void ListPageTest::BackFinishAndKeys() {
    QFETCH(int, mode);
    QFETCH(QString, action);
    QFETCH(int, result);
    RecordingPrompts prompts;
    torvane::DriveSession session;
    CDlgFileNewSave page(session);
    page.ListMode = static_cast<ListMode>(mode);
    const int r = Run<CDlgFileNewSave>(page, [&](CDlgFileNewSave& p) {
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space})
            QTest::keyClick(p.List(), static_cast<Qt::Key>(key));
        QVERIFY(p.isVisible());
        if (action == "finish") {
            Click(p, "finishButton");
        } else if (action == "back") {
            Click(p, "backButton");
        } else {
            p.close();
        }
    });
    QCOMPARE(r, result);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ListPageTest::SaveThenOpen() {
    QTemporaryDir dir;
    RecordingPrompts prompts;
    torvane::DriveSession session;
    torvane::DriveState& state = session.State();
    state.Params.Motor = {4, 2, 2500, 3.0f, 0, 0, 0};
    state.CountsPerRev = 10000;
    CDlgFileNewSave page(session);
    page.ListMode = ListMode::Save;
    // No suffix typed: the file gets ".dat".
    prompts.QueueFileName(dir.filePath("motor"));
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "saveButton");
        QVERIFY(p.isVisible());  // nothing shown, the page stays
        Click(p, "finishButton");
    });
    QCOMPARE(prompts.Entries().size(), size_t(1));
    QCOMPARE(prompts.Entries()[0].kind, RecordingPrompts::Kind::SaveFile);
    QCOMPARE(prompts.Entries()[0].filter, QString("DAT File(*.dat)"));
    const QByteArray bytes = FileBytes(dir.filePath("motor.dat"));
    QCOMPARE(bytes.size(), 96);
    QCOMPARE(bytes.left(8).toHex(' '), QByteArray("04 02 09 c4 40 40 00 00"));
    QCOMPARE(bytes.right(4).toHex(' '), QByteArray("00 00 27 10"));
    QVERIFY(page.ParameterImage == torvane::EncodeParameterImage(state.Params, state.CountsPerRev));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"motor.dat"});

    // Opened into a set that holds something else: every field of the file comes back, the
    // fields the file does not hold stay.
    state.Params = FileSet();
    state.Params.Motor.MotorHallSequence = 3;
    state.CountsPerRev = 1;
    prompts.Clear();
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(dir.filePath("motor.dat"));
    Run<CDlgFileNewSave>(page, [&](CDlgFileNewSave& p) {
        QCOMPARE(p.List()->count(), 0);
        Click(p, "openButton");
        QCOMPARE(p.List()->count(), 37);
        QVERIFY(Find<QPushButton>(p, "saveButton")->isEnabled());
        QVERIFY(Find<QPushButton>(p, "downloadButton")->isEnabled());
        Click(p, "finishButton");
    });
    QCOMPARE(prompts.Texts(), QStringList{dir.filePath("motor.dat")});
    QCOMPARE(prompts.LastIcon(), Icon::None);
    QCOMPARE(int(state.Params.Motor.PolePairs), 4);
    QCOMPARE(state.Params.Motor.RatedCurrent, 3.0f);
    QCOMPARE(state.Params.Application.MaximumSpeed, 0);
    QCOMPARE(int(state.Params.Motor.MotorHallSequence), 3);
    QCOMPARE(state.CountsPerRev, 10000u);
}

void ListPageTest::OpenRefusesAFileThatIsNotWhole_data() {
    QTest::addColumn<int>("size");  // -1: no file
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << 0
                           << "is not a parameter file: it holds 0 bytes, a parameter file holds "
                              "exactly 96 bytes.";
    QTest::newRow("95 bytes") << 95
                              << "is not a parameter file: it holds 95 bytes, a parameter file "
                                 "holds exactly 96 bytes.";
    QTest::newRow("97 bytes") << 97
                              << "is not a parameter file: it holds 97 bytes, a parameter file "
                                 "holds exactly 96 bytes.";
    QTest::newRow("missing") << -1 << ": No such file or directory";
}

void ListPageTest::OpenRefusesAFileThatIsNotWhole() {
    QFETCH(int, size);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.dat");
    if (size >= 0) WriteBytes(path, QByteArray(size, '\x07'));
    RecordingPrompts prompts;
    torvane::DriveSession session;
    session.State().Params = FileSet();
    CDlgFileNewSave page(session);
    page.ParameterImage.fill(0x33);
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(path);
    Run<CDlgFileNewSave>(page, [&](CDlgFileNewSave& p) {
        Click(p, "openButton");
        QCOMPARE(p.List()->count(), 0);
        QVERIFY(!Find<QPushButton>(p, "downloadButton")->isEnabled());
        QVERIFY(!Find<QPushButton>(p, "saveButton")->isEnabled());
        p.close();
    });
    QCOMPARE(prompts.Texts().size(), 2);
    QCOMPARE(prompts.Texts()[0], path);
    QVERIFY2(prompts.Texts()[1].contains(path) && prompts.Texts()[1].endsWith(message),
             qPrintable(prompts.Texts()[1]));
    QCOMPARE(prompts.LastIcon(), Icon::Error);
    QCOMPARE(int(session.State().Params.Motor.PolePairs), 5);
    for (uint8_t b : page.ParameterImage) QCOMPARE(int(b), 0x33);
}

void ListPageTest::SaveFailuresAreShown() {
    QTemporaryDir dir;
    RecordingPrompts prompts;
    torvane::DriveSession session;
    CDlgFileNewSave page(session);
    page.ListMode = ListMode::Save;
    const QString target = dir.filePath("missing-folder/set.dat");
    prompts.QueueFileName(target);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "saveButton");
        // A cancelled dialog writes nothing and says nothing.
        Click(p, "saveButton");
        Click(p, "finishButton");
    });
    QCOMPARE(prompts.Texts().size(), 1);
    QVERIFY2(prompts.Texts()[0].contains(target), qPrintable(prompts.Texts()[0]));
    QCOMPARE(prompts.LastIcon(), Icon::Error);
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void ListPageTest::DownloadStoresOnlyInNewAndSaveModes_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("new") << int(ListMode::New);
    QTest::newRow("save") << int(ListMode::Save);
}

void ListPageTest::DownloadStoresOnlyInNewAndSaveModes() {
    QFETCH(int, mode);
    RecordingPrompts prompts;
    DriveRig rig;
    rig.session.State().Params = FileSet();
    CDlgFileNewSave page(rig.session);
    page.ListMode = static_cast<ListMode>(mode);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    QCOMPARE(rig.Frames(), std::vector<Bytes>{kStore});
    QCOMPARE(prompts.Texts(), QStringList{QString::fromUtf8("Parameter download completed！")});
}

void ListPageTest::DownloadOfAnOpenedFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.dat");
    torvane::DriveState fileState;
    fileState.Params = FileSet();
    QVERIFY(torvane::SaveParameterFile(path.toStdString(), fileState).Ok);
    RecordingPrompts prompts;
    DriveRig rig;
    CDlgFileNewSave page(rig.session);
    page.Backups().SetFolder(dir.filePath("backups").toStdString());
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(path);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "openButton");
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    // Look (six reads), confirm, six writes, store, check (six reads): the backup of the
    // drive's set comes from the look, with no reads of its own.
    QCOMPARE(rig.Frames(), Join({SixReads(), SixWrites(), {kStore}, SixReads()}));
    const auto backups = torvane::ListBackups(dir.filePath("backups").toStdString());
    QCOMPARE(backups.size(), size_t(1));
    QCOMPARE(QString::fromStdString(page.LastDownload().Backup),
             QString::fromStdString(backups[0].Path));
    QCOMPARE(backups[0].Model, std::string("KVD417"));
    const QStringList texts = prompts.Texts();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0], path);
    QCOMPARE(texts[1], QString("Drive values the file changes:\n"
                               "Pole Pairs: drive 4, file 5\n"
                               "Feedback Type: drive 1, file 2\n"
                               "Encoder Lines: drive 2500, file 1000\n"
                               "Rated Current: drive 5, file 2\n"
                               "Locked-rotor Current: drive 15, file 4\n"
                               "Rated Rotor Speed: drive 3000, file 1500\n"
                               "Motor Direction: drive 0, file 1\n"
                               "Applied Current Rating: drive 5, file 2\n"
                               "Applied Locked-rotor Current: drive 15, file 4\n"
                               "Maximum Speed: drive 2500, file 2000\n"
                               "Acceleration: drive 1000, file 500\n"
                               "Deceleration: drive 1000, file 0\n"
                               "Stop Deceleration: drive 5000, file 0\n"
                               "Applied MaxPos: drive 20000, file 10\n"
                               "Applied MinPos: drive 20000, file 5\n"
                               "\nDownload the file to the drive?"));
    // The open dialog, the path, the question, the completion.
    QCOMPARE(prompts.Entries()[2].kind, RecordingPrompts::Kind::Confirm);
    QCOMPARE(prompts.Entries()[3].kind, RecordingPrompts::Kind::Notice);
    QCOMPARE(texts[2], QString::fromUtf8("Parameter download completed！\nverified"));
    QVERIFY(page.LastDownload().Completed);
    QVERIFY(page.LastDownload().Verify.Verified());
}

void ListPageTest::DownloadDeclinedWritesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.dat");
    torvane::DriveState fileState;
    fileState.Params = FileSet();
    QVERIFY(torvane::SaveParameterFile(path.toStdString(), fileState).Ok);
    RecordingPrompts prompts;
    DriveRig rig;
    CDlgFileNewSave page(rig.session);
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(path);
    prompts.QueueConfirm(false);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "openButton");
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    QCOMPARE(rig.Frames(), SixReads());
    QCOMPARE(prompts.Texts().size(), 2);  // the path and the question; no completion
    QVERIFY(page.LastDownload().Declined);
    // The set still holds the file.
    QCOMPARE(int(rig.session.State().Params.Motor.PolePairs), 5);
}

void ListPageTest::DownloadStopsAtAnErrorReply() {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.dat");
    torvane::DriveState fileState;
    fileState.Params = FileSet();
    QVERIFY(torvane::SaveParameterFile(path.toStdString(), fileState).Ok);
    HookedPrompts prompts;
    DriveRig rig;
    // The drive refuses the write of the application block (result nibble 3).
    prompts.onConfirm = [&] { rig.drive->AnswerWithResult(3, torvane::RegisterAddress{0x1100}); };
    CDlgFileNewSave page(rig.session);
    page.Backups().SetFolder(dir.filePath("backups").toStdString());
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(path);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "openButton");
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    const std::vector<Bytes> writes = SixWrites();
    QCOMPARE(rig.Frames(), Join({SixReads(), {writes[0], writes[1], writes[2]}}));
    const QStringList texts = prompts.Texts();
    QCOMPARE(texts.size(), 3);
    // Where it stopped, what was written, and the backup that brings the drive's set back.
    const QString backup = QString::fromStdString(page.LastDownload().Backup);
    QVERIFY(QFile::exists(backup));
    QCOMPARE(texts[2],
             QString("Application Parameters (0x1100): Error Parameter address\n"
                     "Written: Motor Parameters (0x1000), Matching Parameters (0x2200)\n"
                     "Not written: Application Parameters (0x1100), Current Loop Parameters "
                     "(0x2000), Speed Loop Parameters (0x200C), Position Loop Parameters "
                     "(0x2018), Control Word (0x6000)\n"
                     "The drive now holds a mix of old and new values, and has not stored it.\n"
                     "The previous set is in %1; download that file to bring it back.")
                 .arg(backup));
    QCOMPARE(prompts.LastIcon(), Icon::Error);
    QVERIFY(!texts.join('\n').contains(QString::fromUtf8("completed")));
    QCOMPARE(page.LastDownload().Error, torvane::DriveError{0xF3});
    QCOMPARE(page.LastDownload().FailedAt, torvane::RegisterAddress{0x1100});
}

void ListPageTest::DownloadStopsWhenTheDriveFallsSilent() {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.dat");
    torvane::DriveState fileState;
    fileState.Params = FileSet();
    QVERIFY(torvane::SaveParameterFile(path.toStdString(), fileState).Ok);
    HookedPrompts prompts;
    DriveRig rig;
    prompts.onConfirm = [&] { rig.drive->SetSilent(true); };
    CDlgFileNewSave page(rig.session);
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(path);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "openButton");
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    // The first write got no reply within its 1000 ms: the download ends there.
    QCOMPARE(rig.Frames(), Join({SixReads(), {SixWrites()[0]}}));
    QCOMPARE(prompts.Texts().size(), 3);
    QCOMPARE(prompts.Texts()[2], QString("Motor Parameters (0x1000): Device no response"));
}

void ListPageTest::DownloadWithoutAPortDoesNothing() {
    RecordingPrompts prompts;
    torvane::DriveSession session;
    CDlgFileNewSave page(session);
    page.ListMode = ListMode::Save;
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    QCOMPARE(prompts.Texts(), QStringList());
}

void ListPageTest::AnOpenedFileRoundTripsAfterALookAtTheDrive_data() {
    QTest::addColumn<bool>("driveFails");
    QTest::newRow("download declined") << false;
    QTest::newRow("look fails after the motor block") << true;
}

void ListPageTest::AnOpenedFileRoundTripsAfterALookAtTheDrive() {
    // A file of a 1000-line motor (resolution 4000 at 92-95) opened, looked at against a drive
    // with 2500 lines (10000), not downloaded, and saved again: the same 96 bytes.
    QFETCH(bool, driveFails);
    QTemporaryDir dir;
    const QString opened = dir.filePath("opened.dat");
    const QString saved = dir.filePath("saved.dat");
    torvane::DriveState fileState;
    fileState.Params = FileSet();
    fileState.CountsPerRev = 4000;
    QVERIFY(torvane::SaveParameterFile(opened.toStdString(), fileState).Ok);
    RecordingPrompts prompts;
    DriveRig rig;
    if (driveFails) rig.drive->SilenceAddress(torvane::RegisterAddress{0x2200});
    CDlgFileNewSave page(rig.session);
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(opened);
    prompts.QueueConfirm(false);
    prompts.QueueFileName(saved);
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "openButton");
        Click(p, "downloadButton");
        Click(p, "saveButton");
        Click(p, "finishButton");
    });
    QVERIFY(!page.LastDownload().Completed);
    QCOMPARE(rig.session.State().CountsPerRev, 4000u);
    QCOMPARE(FileBytes(saved).toHex(' '), FileBytes(opened).toHex(' '));
}

void ListPageTest::AnUnwritableBackupFolderAsksBeforeTheWrites() {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.dat");
    torvane::DriveState fileState;
    fileState.Params = FileSet();
    QVERIFY(torvane::SaveParameterFile(path.toStdString(), fileState).Ok);
    WriteBytes(dir.filePath("blocker"), "x");
    RecordingPrompts prompts;
    DriveRig rig;
    CDlgFileNewSave page(rig.session);
    page.Backups().SetFolder(dir.filePath("blocker/backups").toStdString());
    page.ListMode = ListMode::Open;
    prompts.QueueFileName(path);
    prompts.QueueConfirm(true);   // the difference
    prompts.QueueConfirm(false);  // no backup: do not go on
    Run<CDlgFileNewSave>(page, [](CDlgFileNewSave& p) {
        Click(p, "openButton");
        Click(p, "downloadButton");
        Click(p, "finishButton");
    });
    QCOMPARE(rig.Frames(), SixReads());
    QVERIFY(page.LastDownload().NoBackup);
    const QStringList texts = prompts.Texts();
    QCOMPARE(texts.size(), 3);
    QVERIFY2(texts[2].startsWith("The drive's parameters could not be backed up:\n") &&
                 texts[2].contains(dir.filePath("blocker/backups")),
             qPrintable(texts[2]));
}

int RunListPageTest(int argc, char** argv) {
    ListPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "list_page_test.moc"
