// Backups of the drive's parameter set: before anything writes the set (a download, a restore
// of defaults, a group written by a page, the custom dialog or `params set`), the set the drive
// holds is saved as a whole 96-byte .dat file, so the previous set can always be downloaded
// again.
//
// Where: $XDG_DATA_HOME/torvane/backups (~/.local/share/torvane/backups when XDG_DATA_HOME is
// not set or not absolute); %LOCALAPPDATA%\Torvane\backups on Windows. Named
// "<model>-<YYYYMMDD-HHMMSS>.dat" in local time, "-2", "-3" ... added before ".dat" when a name
// is taken; the newest kBackupsKept are kept, older ones (by the time in their names) removed.
// Only files named so are ever removed.
//
// Threads: any thread for the free functions; a BackupGuard is used by the thread that runs its
// DriveLink's transactions. Blocking: small file operations, and for BeforeWrite(link) the
// reads of the six blocks (up to 5000 ms each, scaled by the time seam).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "params/parameter_image.h"
#include "protocol/drive_link.h"
#include "protocol/drive_state.h"
#include "session/notice_sink.h"

namespace torvane {

constexpr size_t kBackupsKept = 100;

// The folder for backups from the environment; "" when it names none (no HOME either).
std::string DefaultBackupFolder();
// "<model>-<YYYYMMDD-HHMMSS>.dat" for local time `t`, with "-<n>" before ".dat" for n > 1.
// Characters of the model that do not belong in a file name become '_'; no model: "drive".
std::string BackupFileName(const std::string& model, std::time_t t, int n = 1);

struct BackupFile {
    std::string Path;
    std::string Model;
    std::string Time;  // "2026-12-09 15:30:00", local time of the backup
    std::string Key;   // orders backups: the later, the greater
};
// The backups in `folder`, newest first (files of other names are not listed).
std::vector<BackupFile> ListBackups(const std::string& folder);

struct BackupResult {
    bool Ok = false;
    std::string Path;     // the file written
    std::string Message;  // why not, naming the folder or file
};
// Writes `image` as a new backup in `folder` (made when missing), then removes the oldest
// beyond the newest kBackupsKept.
BackupResult WriteBackup(const std::string& folder, const std::string& model,
                         const ParameterImage& image, std::time_t now);

// What a write does when no backup can be made: ask the user whether to go on (the console),
// refuse (the command line), or go on without one (the user said so: --no-backup; then no
// backup is attempted at all).
enum class WithoutBackup : uint8_t { Ask, Refuse, Allowed };

// Stands before every write of the parameter set: makes the backup, and says whether the write
// may go on. Messages and the question go to `sink`.
class BackupGuard {
public:
    BackupGuard(NoticeSink& sink, WithoutBackup without);

    // "" (the default): DefaultBackupFolder() at the time of each backup.
    void SetFolder(std::string folder) { folder_ = std::move(folder); }
    std::string Folder() const;
    void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }
    WithoutBackup Without() const { return without_; }
    void SetWithout(WithoutBackup without) { without_ = without; }
    NoticeSink& Sink() { return sink_; }

    // Reads the drive's set (the six download blocks; the identification first when the model
    // is not known yet) and saves it. link.State()'s set and CountsPerRev are as they were
    // afterwards. True: the write may go on. False: nothing may be written; the user was told
    // why (Refuse) or declined to go on (Ask).
    bool BeforeWrite(DriveLink& link);
    // The same with the drive's set already read (the download's look at the drive).
    bool BeforeWrite(const std::string& model, const ParameterSet& drive, uint32_t countsPerRev);
    // Reads the identification (0x2100) when the model is not known yet and a backup is to be
    // made: the model names the backup. A failed read leaves the name generic ("drive").
    void LearnModel(DriveLink& link);

    // The backup the last BeforeWrite made; "" when it made none.
    const std::string& LastBackup() const { return last_; }
    // True when the last BeforeWrite refused because no backup could be made.
    bool Refused() const { return refused_; }

private:
    bool Unavailable(const std::string& why);

    NoticeSink& sink_;
    WithoutBackup without_;
    std::string folder_;
    std::function<std::time_t()> clock_;
    std::string last_;
    bool refused_ = false;
};

// The question (Ask) and the refusal (Refuse) when a backup could not be made for `why`.
std::string BackupQuestion(const std::string& why);
std::string BackupRefusal(const std::string& why);

}  // namespace torvane
