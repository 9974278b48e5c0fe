// The writes behind the motion commands: control word, work mode and the three set-points.
//
// Threads: the thread that runs transactions (the UI thread in the console). Each function
// blocks for its one transaction, at most 5000 ms (scaled by the time seam), and returns its
// DriveError without showing it: the calling command shows it (ShowDriveError shows nothing
// for kCheckFailed).
#pragma once

#include <cstdint>

#include "protocol/drive_error.h"
#include "protocol/drive_link.h"
#include "session/command_context.h"
#include "session/motion_entries.h"

namespace torvane {

// Returned by the set-point functions when an entry check failed; its message has been shown
// and nothing was written.
constexpr DriveError kCheckFailed = 1;

// Writes register 0x6000 with the 2-byte word. The callers that enable, disable, run or stop
// store the word in LastControlWord first; the page requests do not.
DriveError WriteControlWord(DriveLink& link, uint16_t word);

// WorkMode = `workModeIndex` (the WorkMode combo's selection; -1 for none goes out as 0xFF,
// which the drive refuses), then register 0x2300 written with that one byte.
DriveError WriteWorkMode(DriveLink& link, int workModeIndex);

// `direction` is +1 (Run) or -1 (Inversion). Each checks its entries against the application
// limits last read from register 0x1100 and shows the field's message with the error icon on
// failure (returning kCheckFailed); otherwise stores the set-point in MotionFields (and
// ConsoleState::SpeedSetpointRpm) and writes it, returning the write's DriveError.
//   Current: entry within +-Applied Current Rating; CurrentSetpoint = entry as a number x
//            direction (single precision); register 0x2301, 4 bytes.
//   Speed:   entry within +-Maximum Speed; SpeedSetpointRpm = entry as a number x direction,
//            SetpointExtra = 0, SpeedSetpoint = SpeedSetpointRpm truncated; register 0x2305,
//            8 bytes. The speed goes out in rpm as typed.
//   Position: Speed entry within +-Maximum Speed, then Angle within -Applied MinPos to
//            +Applied MaxPos (compared as floats); PositionSpeed = Speed as an integer,
//            PositionType = PositionTypeIndex, PositionSetpoint = Position as an integer x
//            direction, SetpointExtra = SetpointExtra entry as an integer; register 0x2309,
//            13 bytes.
DriveError SendCurrentSetpoint(CommandContext& ctx, const MotionEntries& entries, int direction);
DriveError SendSpeedSetpoint(CommandContext& ctx, const MotionEntries& entries, int direction);
DriveError SendPositionSetpoint(CommandContext& ctx, const MotionEntries& entries, int direction);

}  // namespace torvane
