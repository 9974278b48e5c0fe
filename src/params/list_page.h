// CDlgFileNewSave: the parameter list page ("文件-新建", "File-Open", "File-Save"). It shows
// the whole ParameterSet as the 37 rows of ParameterListRows, saves it to a .dat file, opens a
// .dat file into it and downloads it to the drive.
//
// The opener sets ListMode before every showing: New (last page of the New chain: list filled,
// Open File disabled), Open (list empty until a file is opened; Saved to a file and Downloaded
// to the drive enabled only then), Save (list filled; Back disabled). Results (exec): 1 Finish;
// 3 Back in New mode; 2 Back in the other modes and the close box in any mode. Enter, Escape and
// Space are swallowed.
//
// Files are whole: a save writes a temporary file and renames it; an open refuses a file that
// is not exactly 96 bytes and leaves the set and ParameterImage as they were; every failure is
// shown. The download (DownloadFromListPage) does nothing without an open port; in Open mode it
// first reads the drive and asks to confirm the difference, saves those values as a backup
// (asking whether to go on without one when it cannot be written), and after writing it reads
// the blocks back; a missing or error reply stops it with where it stopped and no completion
// message.
//
// Every message and file dialog goes through Prompts(). UI thread only; a download blocks for
// its transactions (1000 ms each at most, several) and a 500 ms pause, scaled by the time seam.
#pragma once

#include <QDialog>

#include "params/parameter_download.h"
#include "params/parameter_image.h"
#include "session/drive_session.h"
#include "ui/prompt_notice_sink.h"

class QListWidget;
class QPushButton;

class CDlgFileNewSave : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kNewTitle = "文件-新建";
    static constexpr const char* kOpenTitle = "File-Open";
    static constexpr const char* kSaveTitle = "File-Save";
    static constexpr const char* kFileFilter = "DAT File(*.dat)";
    static constexpr const char* kInitialFileName = "Application1";

    static constexpr int kFinished = 1;
    static constexpr int kClosed = 2;
    static constexpr int kBack = 3;

    // `session` holds the ParameterSet and the connection; it must outlive the page.
    explicit CDlgFileNewSave(torvane::DriveSession& session, QWidget* parent = nullptr);

    // Set by the opener before every showing.
    torvane::ListMode ListMode = torvane::ListMode::New;
    // The file image last built for saving or last read from a file (zero at start).
    torvane::ParameterImage ParameterImage{};
    // Where the next Open File dialog starts ("" the dialog's own choice), and whether the
    // next showing in Open mode runs Open File at once (the console's "Restore a backup…").
    QString OpenFolder;
    bool OpenAtOnce = false;
    // The backups made before a download (the drive's set, saved first).
    torvane::BackupGuard& Backups() { return backup_; }

    // Fills the page for ListMode and runs it modally; returns 1, 2 or 3.
    int exec() override;
    // The close box: 2.
    void reject() override;

    // The buttons' commands.
    void SaveToFile();
    void OpenFile();
    void Download();
    void Back();

    // The rows shown, in order.
    QStringList Rows() const;
    QListWidget* List() const { return list_; }
    // What the last download did (tests and callers that want the details).
    const torvane::DownloadResult& LastDownload() const { return lastDownload_; }

private:
    void Initialise();
    void FillList();

    torvane::DriveSession& session_;
    PromptNoticeSink notices_;
    torvane::BackupGuard backup_{notices_, torvane::WithoutBackup::Ask};
    torvane::DownloadResult lastDownload_;
    QListWidget* list_;
    QPushButton* saveButton_;
    QPushButton* downloadButton_;
    QPushButton* openButton_;
    QPushButton* backButton_;
    QPushButton* finishButton_;
};
