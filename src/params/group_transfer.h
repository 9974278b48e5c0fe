// Moving parameter groups between the drive and the ParameterSet, and the menu commands that
// open the pages around those transfers: the reads before a page, the write of an accepted
// group with the block size its opener uses, EditMotorGroup / EditApplicationGroup /
// EditLoopGroup / EditCustomGroup, the New chain, the commands' preconditions and
// `params set`.
//
// Every write of a group is preceded by a backup of the drive's whole set (BackupGuard: the six
// download blocks read and saved as a .dat); when none can be made and the guard's user does not
// agree to go on, nothing is written and the routine counts as cancelled. A write that fails is
// shown with where it stopped (WriteStopText).
//
// Threads: the thread that runs the DriveLink's transactions (the UI thread in the console),
// one call at a time. Every call blocks for its transactions: up to 5000 ms each (scaled by the
// time seam), several for a group. Values travel through link.State().Params: reads decode into
// it, writes pack from it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "params/parameter_backup.h"
#include "params/parameter_fields.h"
#include "params/parameter_rules.h"
#include "protocol/drive_error.h"
#include "protocol/drive_link.h"
#include "session/notice_sink.h"

namespace torvane {

// A page's result: 1 accepted, 2 cancelled, 3 Back; anything else counts as "other".
constexpr uint8_t kPageAccepted = 1;
constexpr uint8_t kPageCancelled = 2;
constexpr uint8_t kPageBack = 3;

// The reads a group's page opener does, in order; the first failure is returned.
//   Motor: 0x1000 (17), 0x2200 (7).       Matching: 0x2200 (7).
//   Application: 0x1100 (37), 0x2122 (24). Loop: 0x2000, 0x200C, 0x2018 (12 each), 0x1100 (37).
//   Custom: 0x3000 (100).
DriveError ReadGroup(DriveLink& link, ParamGroup group);

// Writes of an accepted group from link.State().Params, as the openers write them (no backup,
// nothing shown: the building blocks of the routines below).
DriveError WriteMotorGroup(DriveLink& link);        // 0x1000, 17 bytes
DriveError WriteApplicationGroup(DriveLink& link);  // 0x1100, 37 bytes (flags byte: bits 0, 1)
DriveError WriteLoopGroup(DriveLink& link);         // 0x2000, 0x200C, 0x2018; stops at a failure
DriveError WriteCustomGroup(DriveLink& link);       // 0x3000, 100 bytes

// Shows a page modally and returns its result. The console sets the page's modes (and, for the
// motor and loop pages in modify mode, switches Auto Update off) inside this call.
using PageRunner = std::function<uint8_t()>;

// Backs up the drive's set, then writes `groups` (motor, application, loop, custom; in that
// order) from link.State().Params. Result: kPageAccepted, kPageCancelled when the backup
// guard said no (nothing written), or the DriveError of the failed write (shown with where it
// stopped, the groups written before it and the backup).
uint8_t WriteGroups(DriveLink& link, BackupGuard& backup, const std::vector<ParamGroup>& groups);

// The group routines: read the group's blocks (a failure is shown and returned, and no page is
// shown), show the page, and on acceptance back up the drive's set and write the group.
// Result: 1 accepted and written, 2 cancelled (also when the backup guard said no), 3 Back (new
// mode only), 0 any other page result, or the DriveError of the first failed transaction.
// Every message goes to backup.Sink(); the caller shows nothing more.
uint8_t EditMotorGroup(DriveLink& link, bool modify, const PageRunner& showPage,
                       BackupGuard& backup);
uint8_t EditApplicationGroup(DriveLink& link, bool modify, const PageRunner& showPage,
                             BackupGuard& backup);
uint8_t EditLoopGroup(DriveLink& link, bool modify, const PageRunner& showPage,
                      BackupGuard& backup);
// Always modify mode. A failed read still shows the dialog with what the set held. Result:
// 2 cancelled, the write's DriveError when it failed, otherwise 0 (also after a good write).
uint8_t EditCustomGroup(DriveLink& link, const PageRunner& showDialog, BackupGuard& backup);

// The New chain: motor, application, loop and list pages, each step reading its blocks again
// when entered (also through Back). A DriveError (shown by the group routine) ends the chain;
// Cancel ends it; groups written by earlier pages stay written. `List` shows the list page in
// mode 0.
struct NewChainPages {
    PageRunner Motor, Application, Loop, List;
};
void RunNewChain(DriveLink& link, BackupGuard& backup, const NewChainPages& pages);

enum class ParamCommand : uint8_t {
    New,
    Save,
    Open,
    Download,
    Default,
    Motor,
    Driver,
    LoopParameters,
    CustomParameters,
};
struct ConsoleFacts {
    bool PortOpen = false;
    bool MotorEnabled = false;
    bool AutoUpdateTicked = false;
};
// The preconditions of a command, in order: port open ("The serial port is not open"), then for
// the File commands motor disabled ("The motor is enabled") and Auto Update off ("The device is
// busy"). The first that fails is shown and false returned.
bool ParamCommandAllowed(ParamCommand command, const ConsoleFacts& facts, NoticeSink& sink);

// `params get [GROUP]`: a group's fields by name, as stored in `set`.
struct FieldLine {
    std::string Name;
    std::string Value;
    std::string Unit;
};
std::vector<FieldLine> GroupFieldLines(const ParameterSet& set, ParamGroup group);

// `params set NAME=VALUE...`: reads the groups of the named fields (a custom group that cannot
// be read is not written back), runs the pages' checks on the named fields (ApplyAssignments),
// backs up the drive's set and writes each changed group back as its opener does (motor 17
// bytes, application 37, the three loop blocks, custom 100). A failed read shows its DriveError
// and stops; a failed write shows where it stopped; a refused entry shows its message and
// writes nothing, as does a backup the guard says no to (NoBackup). Messages go to
// backup.Sink().
struct SetResult {
    enum class Status : uint8_t { Written, Refused, Failed, NoBackup };
    Status Outcome = Status::Written;
    DriveError Error = kSuccess;  // the failed transaction's code when Failed
};
SetResult SetFieldsOnDrive(DriveLink& link, BackupGuard& backup,
                           const std::vector<Assignment>& assignments);

}  // namespace torvane
