// The parameter list page's drive side and the File menu's drive commands: the save command's
// reads, the download of the list page (with a look at the drive before an opened file is
// written and a check of the drive after), the "download" command (store, 0x6000 04 01) and the
// "default " command (restore defaults, 0x6000 04 00).
//
// A failure is never reported as success: a write that gets no reply or an error reply stops
// the sequence, no completion message is shown, and what is shown names where it stopped
// (WriteStopText: the block and its register, the DriveError's text, and after a part-way
// download which blocks were written and the backup that brings the previous set back).
//
// Every write of the parameter set is preceded by a backup of the drive's set (BackupGuard);
// when none can be made nothing is written unless the guard's user agrees to go on.
//
// Threads: the thread that runs the DriveLink's transactions, one call at a time. Blocking:
// each read or write up to 5000 ms (WriteRegisterQuick 1000 ms), plus a 500 ms pause before a
// completion message, all scaled by the time seam. Messages and questions go to `sink`.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "params/parameter_backup.h"
#include "params/parameter_diff.h"
#include "protocol/drive_error.h"
#include "protocol/drive_link.h"
#include "session/notice_sink.h"

namespace torvane {

extern const char* const kDownloadCompleted;     // "Parameter download completed！"
extern const char* const kRestorationCompleted;  // "Parameter restoration completed！"

// The list page's modes: 0 last page of the New chain, 1 open a file, 2 save the drive's set.
enum class ListMode : uint8_t { New = 0, Open = 1, Save = 2 };

// "save": reads 0x1000 (17), 0x2200 (7), 0x1100 (37), 0x2122 (24), 0x2000, 0x200C, 0x2018 (12
// each) into the set. Each failed read shows its DriveError and the reads go on; the list page
// opens in any case. The report says which reads failed.
struct SaveReads {
    std::vector<std::pair<RegisterAddress, DriveError>> Failures;
    bool AllRead() const { return Failures.empty(); }
};
SaveReads ReadForSave(DriveLink& link, NoticeSink& sink);

// Reads the six blocks a download writes (0x1000, 0x2200, 0x1100, 0x2000, 0x200C, 0x2018) and
// returns the drive's values in `drive`, and in `driveCountsPerRev` (when given) the resolution
// its motor block gives (Encoder Lines x 4; the set's own when the lines are 0).
// link.State().Params and CountsPerRev are left as they were, also when a read fails: only a
// look at the drive. A reply that carries fewer bytes than asked for counts as no reply (0xF0):
// its fields would be unknown.
// `failedAt` (when given) gets the register of a failed read.
DriveError ReadDriveParameters(DriveLink& link, ParameterSet& drive,
                               uint32_t* driveCountsPerRev = nullptr,
                               RegisterAddress* failedAt = nullptr);

// The check after a download: the six blocks read back and compared with what was written.
struct VerifyReport {
    DriveError Error = kSuccess;            // the read-back failed: nothing could be compared
    std::vector<FieldDifference> NotTaken;  // fields the drive holds otherwise
    bool Verified() const { return Error == kSuccess && NotTaken.empty(); }
};
VerifyReport VerifyDownload(DriveLink& link, const ParameterSet& file);
// "verified", "not verified: <error text>", or "The drive did not take:" and one line a field.
std::string VerifyText(const VerifyReport& report);

// The list page's "Downloaded to the drive", the port being open (the page does nothing
// without one). Messages and questions go to backup.Sink(). In Open mode, with the opened file
// in link.State().Params:
//   1. read the drive's blocks (unless neither a look nor a backup wants them); if
//      `lookFirst`, show the difference and ask to confirm; a failed read or a "no" writes
//      nothing;
//   2. back up the drive's set from those reads (no further reads); no backup and no
//      agreement to go on without one writes nothing;
//   3. write 0x1000 (16 bytes), 0x2200 (7), 0x1100 (33: the flags byte is the Motor Direction
//      byte), 0x2000, 0x200C, 0x2018 (12 each) with WriteRegisterQuick.
// In every mode: write 0x6000 04 01 with WriteRegisterQuick, wait 500 ms, then (Open mode) read
// the blocks back, and show "Parameter download completed！" (Open mode: followed by a line with
// VerifyText). The set in link.State().Params is the file's again when this returns.
struct DownloadResult {
    DriveError Error = kSuccess;   // what stopped it (shown); 0 when it ran to the end
    RegisterAddress FailedAt = 0;  // the register of the failed transaction
    bool Declined = false;         // the user did not confirm the difference: nothing written
    bool NoBackup = false;         // no backup, and no going on without one: nothing written
    std::string Backup;            // the backup made before the writes ("" none)
    bool Completed = false;        // the completion message was shown
    std::vector<FieldDifference> Changes;  // the difference shown before writing (lookFirst)
    VerifyReport Verify;                   // Open mode, after a completed download
};
DownloadResult DownloadFromListPage(DriveLink& link, BackupGuard& backup, ListMode mode,
                                    bool lookFirst);

// The question shown before an opened file is written: the difference lines and a request to
// confirm.
std::string DownloadQuestion(const std::vector<FieldDifference>& changes);

// "download": 0x6000 04 01 with WriteRegister; on success wait 500 ms and show
// "Parameter download completed！". A failure (no reply or an error reply) is shown with the
// register ("Control Word (0x6000): ...") and returned.
DriveError StoreParameters(DriveLink& link, NoticeSink& sink);
// "default ": the drive's set backed up first (nothing is sent when the guard says no: the
// result is then kLocalRefusal), then 0x6000 04 00, "Parameter restoration completed！";
// failures as StoreParameters, messages to backup.Sink().
constexpr DriveError kBackupRefused = 2;
DriveError RestoreDefaults(DriveLink& link, BackupGuard& backup);

}  // namespace torvane
