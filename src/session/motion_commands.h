// The Motion Control group's commands and the hidden ones beside it, Qt-free: the console calls
// them from its buttons and the WorkMode combo, the command-line tool from its commands.
//
// Every command but Reset first checks that a port is open ("The serial port is not open").
// Messages and DriveErrors are shown through ctx.Notices as they happen; timers are started and
// stopped through ctx.Timers; the drive's replies are displayed by the DriveLink's reply handler
// (the console's OnReadReply/OnWriteReply; the 0x6000 write reply must apply
// ShowControlWordReply, motion_rules.h).
//
// Threads: the thread that runs transactions. Each command blocks for its transactions, at most
// 5000 ms each (scaled by the time seam); none of them waits for a progress timer.
#pragma once

#include <optional>

#include "session/command_context.h"
#include "session/command_result.h"
#include "session/motion_entries.h"
#include "session/motion_rules.h"
#include "session/progress_box.h"

namespace torvane {

struct WorkModeSelection {
    CommandResult Result;
    std::optional<SetpointEnabling> Enabling;  // present when the entries' enabling changes
    SetpointDisplay Shown;  // what the set-point read shows (ShowSetpointReply), when it ran
};

// In a namespace of their own: the names are the buttons' and would hide or be hidden by the
// members of the classes that call them (a window's Run, a test's Reset).
namespace motion {

// WorkMode combo, selection changed by the user (`index` -1 when none; the console calls it for
// the user's choice only, not for a selection it sets itself). WorkMode = index; with the motor
// enabled nothing more. Otherwise reads the mode's set-point register and returns what the
// entries show (Shown: the reply display of that read, ShowSetpointReply) and which entries to
// enable; a failed read leaves them as they were
// (Failed, Enabling empty); an index other than 0..2 shows "Invalid working mode" (Refused).
WorkModeSelection SelectWorkMode(CommandContext& ctx, int index);

// Enabled button: Disable when MotorEnabled is set, else Enable.
CommandResult Enabled(CommandContext& ctx, int workModeIndex);
// Enable a disabled motor: Match Marks (last read from 0x2200) 0 refuses with "Motor does not
// match"; reads 0x2200; WriteWorkMode(workModeIndex); LastControlWord = 0x0201 and writes it.
// A drive already initialised (0x2200 byte 3 = 1) ends there (Done). Otherwise Auto Update is
// switched off, timer 1 stopped, timer 10 started: OpenInfoBox.
CommandResult Enable(CommandContext& ctx, int workModeIndex);
// LastControlWord = 0x0200 and writes it (no motor-state check).
CommandResult Disable(CommandContext& ctx);

// Run (+1) and Inversion (-1): MotorEnabled must be set ("Motor not enabled"); WorkMode = the
// combo's index; sends the mode's set-point (a failed check or write ends it); an unknown mode
// shows "Invalid working mode" and goes on; Run only: the Reduction Ratio within 0..5001
// ("Speed ratio, export transfinite number\n" + band); LastControlWord = 0x0300 and writes it.
CommandResult Run(CommandContext& ctx, const MotionEntries& entries);
CommandResult Inversion(CommandContext& ctx, const MotionEntries& entries);

// Stop (0x0301) and the hidden Emergency Stop (0x0302): MotorEnabled must be set.
CommandResult Stop(CommandContext& ctx);
CommandResult EmergencyStop(CommandContext& ctx);

// Reset, without a port check: Auto Update off (timer 1 started), timer 1 stopped, register
// 0x5001 written with no data; then timer 11 started: OpenInfoBox. With no port the write
// fails with 0xF0 (shown) and no box opens.
CommandResult Reset(CommandContext& ctx);

// Correct (encoder calibration): MotorEnabled refuses with "The motor is enabled"; Auto Update
// off (timer 1 started), timer 1 stopped; register 0x120A written with no data (a failure is
// shown and the command goes on); the long status read of 0x1200 (a failure ends it); then
// `correctionEntry` shows "Is the calibration", ProgressCount = 0 and timer 7 starts (Done).
CommandResult Correct(CommandContext& ctx, ProgressBox& correctionEntry);

// Hidden Eliminate Malfunction: register 0x1202 written with 0x0000; on success the fault word
// in DriveState is 0 until the next status read.
CommandResult EliminateMalfunction(CommandContext& ctx);

}  // namespace motion
}  // namespace torvane
