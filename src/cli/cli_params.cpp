// torvane-cli's parameter-set commands: params show|save|diff|download|store|defaults|get|set.
// Each sub-command calls the same core functions as the console's menu commands and pages.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "params/group_transfer.h"
#include "params/parameter_backup.h"
#include "params/parameter_diff.h"
#include "params/parameter_download.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "params/parameter_list.h"
#include "params/parameter_rules.h"
#include "protocol/register_map.h"

namespace torvane::cli {

namespace {

constexpr const char* kYes = "--yes";
constexpr const char* kNoBackup = "--no-backup";

// Words a sub-command takes after its name: the least and the most (-1: any number).
struct SubCommand {
    const char* Name;
    int MinWords;
    int MaxWords;
    bool NeedsPort;
};

constexpr SubCommand kSubCommands[] = {
    {"show", 1, 1, false}, {"save", 1, 1, true},     {"diff", 1, 1, true}, {"download", 1, 1, true},
    {"store", 0, 0, true}, {"defaults", 0, 0, true}, {"get", 0, 1, true},  {"set", 1, -1, true},
    {"backups", 0, 0, false},
};

std::string ParseParams(const std::vector<std::string>& args, size_t& at, Command& c) {
    if (std::string e = ParseWordsAndOptions(args, at, c, {{kYes, false}, {kNoBackup, false}});
        !e.empty())
        return e;
    if (c.Words.empty())
        return "params needs a sub-command: show, save, diff, download, store, "
               "defaults, get, set or backups";
    const std::string& sub = c.Words[0];
    const SubCommand* entry = nullptr;
    for (const SubCommand& s : kSubCommands) {
        if (sub == s.Name) entry = &s;
    }
    if (entry == nullptr) return "params: unknown sub-command " + sub;
    const int words = static_cast<int>(c.Words.size()) - 1;
    if (words < entry->MinWords || (entry->MaxWords >= 0 && words > entry->MaxWords)) {
        static const char* const kSynopsis[] = {
            "params show FILE",
            "params save FILE",
            "params diff FILE",
            "params download FILE [--yes] [--no-backup]",
            "params store",
            "params defaults [--no-backup]",
            "params get [GROUP]",
            "params set NAME=VALUE... [--no-backup]",
            "params backups",
        };
        return std::string("usage: ") + kSynopsis[entry - kSubCommands];
    }
    if (c.Values.count(kYes) != 0 && sub != "download")
        return "params: --yes belongs to params download";
    if (c.Values.count(kNoBackup) != 0 && sub != "download" && sub != "defaults" && sub != "set")
        return "params: --no-backup belongs to params download, defaults and set";
    c.NoPort = !entry->NeedsPort;
    if (sub == "download" && c.Values.count(kYes) == 0 && !isatty(STDIN_FILENO)) {
        // Nothing to ask on: a script must say --yes, and nothing touches the drive.
        return "params download: standard input is not a terminal to confirm on; add --yes to "
               "download without asking";
    }
    if (sub == "get" && words == 1 && !FindGroup(c.Words[1])) {
        return "params get: unknown group " + c.Words[1] +
               " (motor, matching, application, loop or custom)";
    }
    if (sub == "set") {
        for (size_t i = 1; i < c.Words.size(); ++i) {
            std::string error;
            if (!ParseAssignment(c.Words[i], error)) return "params set: " + error;
        }
    }
    return {};
}

DriveError LocalFailure(Cli& cli, const std::string& message) {
    cli.Notices().Notice(message, NoticeIcon::Error);
    return kLocalFailure;
}

void PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
}

DriveError Show(Cli& cli, const std::string& path) {
    DriveState file;
    const FileResult read = LoadParameterFile(path, file);
    if (!read.Ok) return LocalFailure(cli, read.Message);
    for (const ListRow& row : ParameterListRows(file.Params))
        std::printf("%s\n", row.Text().c_str());
    return kSuccess;
}

DriveError Save(Cli& cli, const std::string& path) {
    DriveLink& link = cli.Session().Link();
    DriveState& state = link.State();
    const SaveReads reads = ReadForSave(link, cli.Notices());
    if (!reads.AllRead()) {
        // Blocks that could not be read would go into the file as stale values.
        return LocalFailure(
            cli, "params save: not every block could be read; nothing written to " + path);
    }
    // The read of 0x1000 set CountsPerRev from the drive's encoder lines, so the file holds the
    // drive's resolution rather than the 1 a fresh process starts with.
    const FileResult written = SaveParameterFile(path, state);
    if (!written.Ok) return LocalFailure(cli, written.Message);
    std::printf("%zu bytes written to %s\n", kParameterImageSize, path.c_str());
    return kSuccess;
}

DriveError Diff(Cli& cli, const std::string& path) {
    DriveState file;
    const FileResult read = LoadParameterFile(path, file);
    if (!read.Ok) return LocalFailure(cli, read.Message);
    ParameterSet drive;
    if (const DriveError e = ReadDriveParameters(cli.Session().Link(), drive)) return e;
    PrintLines(DifferenceLines(DiffForDownload(drive, file.Params)));
    return kSuccess;
}

// The guard of a write: a backup first; without one the write is refused unless the user gave
// --no-backup, which makes none.
BackupGuard Guard(Cli& cli, const Command& c) {
    return BackupGuard(cli.Notices(), c.Values.count(kNoBackup) != 0 ? WithoutBackup::Allowed
                                                                      : WithoutBackup::Refuse);
}

DriveError Refused(Cli& cli, const char* sub) {
    return LocalFailure(cli, std::string("params ") + sub +
                                 ": nothing written; --no-backup writes without a backup");
}

void TellBackup(const BackupGuard& guard) {
    if (!guard.LastBackup().empty())
        std::printf("backup of the drive's set: %s\n", guard.LastBackup().c_str());
}

DriveError Download(Cli& cli, const Command& c, const std::string& path, bool askFirst) {
    DriveLink& link = cli.Session().Link();
    const FileResult read = LoadParameterFile(path, link.State());
    if (!read.Ok) return LocalFailure(cli, read.Message);
    BackupGuard guard = Guard(cli, c);
    const DownloadResult r = DownloadFromListPage(link, guard, ListMode::Open, askFirst);
    if (r.Declined) return LocalFailure(cli, "params download: cancelled; nothing written");
    if (r.NoBackup) return Refused(cli, "download");
    TellBackup(guard);
    // A failure or a field the drive did not take has been told by the download itself.
    if (r.Error != kSuccess || !r.Completed || !r.Verify.Verified()) return kLocalFailure;
    return kSuccess;
}

DriveError Get(Cli& cli, const std::vector<std::string>& words) {
    DriveLink& link = cli.Session().Link();
    std::vector<ParamGroup> shown;
    std::vector<ParamGroup> read;
    if (words.size() > 1) {
        shown = {*FindGroup(words[1])};
        read = shown;
    } else {
        shown = {ParamGroup::Motor, ParamGroup::Matching, ParamGroup::Application, ParamGroup::Loop,
                 ParamGroup::Custom};
        // The motor group's reads take in the matching block.
        read = {ParamGroup::Motor, ParamGroup::Application, ParamGroup::Loop, ParamGroup::Custom};
    }
    for (ParamGroup g : read) {
        if (const DriveError e = ReadGroup(link, g)) return e;
    }
    const bool headings = shown.size() > 1;
    for (ParamGroup g : shown) {
        if (headings) std::printf("%s\n", GroupLabel(g));
        for (const FieldLine& f : GroupFieldLines(link.State().Params, g)) {
            std::printf("%s%s: %s%s%s\n", headings ? "  " : "", f.Name.c_str(), f.Value.c_str(),
                        f.Unit.empty() ? "" : " ", f.Unit.c_str());
        }
    }
    return kSuccess;
}

DriveError Backups() {
    const std::string folder = DefaultBackupFolder();
    const std::vector<BackupFile> files = ListBackups(folder);
    if (files.empty()) std::printf("no backups in %s\n", folder.c_str());
    for (const BackupFile& f : files)
        std::printf("%s  %s  %s\n", f.Time.c_str(), f.Model.c_str(), f.Path.c_str());
    return kSuccess;
}

DriveError Defaults(Cli& cli, const Command& c) {
    BackupGuard guard = Guard(cli, c);
    const DriveError e = RestoreDefaults(cli.Session().Link(), guard);
    if (e == kBackupRefused) return Refused(cli, "defaults");
    TellBackup(guard);
    return e != kSuccess ? kLocalFailure : kSuccess;
}

DriveError Set(Cli& cli, const Command& c, const std::vector<std::string>& words) {
    DriveLink& link = cli.Session().Link();
    DriveState& state = link.State();
    std::vector<Assignment> assignments;
    bool speedChecked = false;
    for (size_t i = 1; i < words.size(); ++i) {
        std::string error;
        assignments.push_back(*ParseAssignment(words[i], error));
        speedChecked |= assignments.back().Field == FieldId::RatedRotorSpeed;
    }
    if (speedChecked) {
        // Rated Rotor Speed is checked against the drive's speed limit in rpm, which needs the
        // drive's resolution (the motor group's read sets it) before the limit block is read.
        if (const DriveError e = link.ReadRegister(reg::kMotorGroup, size::kMotorGroup)) return e;
        if (const DriveError e = link.ReadRegister(reg::kDriveLimits, size::kDriveLimits)) return e;
    }
    BackupGuard guard = Guard(cli, c);
    const SetResult r = SetFieldsOnDrive(link, guard, assignments);
    if (r.Outcome == SetResult::Status::NoBackup) return Refused(cli, "set");
    if (r.Outcome != SetResult::Status::Written) return kLocalFailure;  // told already
    TellBackup(guard);
    for (const Assignment& a : assignments) {
        std::printf("%s: %s\n", FieldInfo(a.Field).Name.c_str(),
                    FormatField(state.Params, a.Field).c_str());
    }
    return kSuccess;
}

DriveError RunParams(Cli& cli, const Command& c) {
    const std::string& sub = c.Words[0];
    const std::string arg = c.Words.size() > 1 ? c.Words[1] : std::string();
    if (sub == "show") return Show(cli, arg);
    if (sub == "save") return Save(cli, arg);
    if (sub == "diff") return Diff(cli, arg);
    if (sub == "download") return Download(cli, c, arg, c.Values.count(kYes) == 0);
    if (sub == "backups") return Backups();
    if (sub == "store") {
        return StoreParameters(cli.Session().Link(), cli.Notices()) ? kLocalFailure : kSuccess;
    }
    if (sub == "defaults") return Defaults(cli, c);
    if (sub == "get") return Get(cli, c.Words);
    return Set(cli, c, c.Words);
}

}  // namespace

std::vector<CommandSpec> ParamsCommands() {
    return {
        {"params", "params SUB ...",
         "the drive's parameter set and .dat files (96 bytes):\n"
         "  show FILE            the 37 rows of the file, as the list page shows them\n"
         "  save FILE            read the drive's set and write it to FILE\n"
         "  diff FILE            fields where the drive differs from FILE\n"
         "  download FILE [--yes]  show the difference, ask, write, store, verify\n"
         "  store                keep the drive's parameters (0x6000 04 01)\n"
         "  defaults             restore the drive's defaults (0x6000 04 00)\n"
         "  get [GROUP]          the drive's fields by name (motor, matching,\n"
         "                       application, loop, custom)\n"
         "  set NAME=VALUE...    change named fields with the pages' checks\n"
         "                       (\"Pole Pairs=4\" \"Maximum Speed=2000\")\n"
         "  backups              the backups made before writes, newest first\n"
         "download, defaults and set first save the drive's set as a backup\n"
         "(params backups lists them; a download of one restores it) and write\n"
         "nothing when it cannot be saved, unless --no-backup is given",
         true, ParseParams, RunParams},
    };
}

}  // namespace torvane::cli
