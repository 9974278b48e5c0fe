// The motion group's rules that need no drive: entry conversions, the entries each work mode
// enables, the angle-to-pulses conversion, the Reduction Ratio check, and what a confirmed
// enable or disable changes on screen. Pure functions of their arguments (and the records they
// are given); any thread that owns those records may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/drive_state.h"
#include "protocol/frame.h"
#include "session/console_state.h"
#include "session/notice_sink.h"

namespace torvane {

// "As a number": CheckRange's conversion (leading decimal floating-point text, 0 when there is
// none), narrowed to float.
float EntryAsNumber(const std::string& text);
// "As an integer": the leading decimal integer with an optional sign (blanks skipped, 0 when
// there is none, 12.7 gives 12), saturated to the int32 range.
int32_t EntryAsInteger(const std::string& text);

// Which set-point entries a work mode enables (true) or disables (false).
struct SetpointEnabling {
    bool Current = false;
    bool Speed = false;
    bool Position = false;
    bool PositionType = false;
    bool Angle = false;
    bool SetpointExtra = false;  // the hidden entry
    bool operator==(const SetpointEnabling&) const = default;
};

// What selecting a work mode in the WorkMode combo reads and enables.
struct WorkModeSetpoint {
    RegisterAddress Address;  // 0x2301, 0x2305 or 0x2309
    uint8_t Count;            // 4, 8 or 13
    SetpointEnabling Enabling;
};
// nullopt for an index other than 0, 1, 2 ("Invalid working mode").
std::optional<WorkModeSetpoint> WorkModeSetpointFor(int mode);

// What the set-point entries show after a successful read of 0x2301, 0x2305 or 0x2309 (the
// reply display of those registers; the console's OnReadReply applies it, the command-line tool
// prints it). Fields left empty are not touched.
//   0x2301: Current = CurrentSetpoint "%g".
//   0x2305: SpeedSetpointRpm = SpeedSetpoint x 60 / CountsPerRev (single precision), rounded
//           half away from zero in place; Speed = it truncated, "%d"; Phase Current Amplitude
//           and Busbar Voltage = the last long status values, "%g".
//   0x2309: Position Type selects PositionType (-1, no item, for a value above 1); Position =
//           PositionSetpoint "%d"; Speed = PositionSpeed "%d".
struct SetpointDisplay {
    std::optional<std::string> Current;
    std::optional<std::string> Speed;
    std::optional<std::string> Position;
    std::optional<int> PositionTypeIndex;
    std::optional<std::string> PhaseCurrent;
    std::optional<std::string> BusVoltage;
};
SetpointDisplay ShowSetpointReply(RegisterAddress address, const MotionFields& motion,
                                  const DriveState& state, ConsoleState& console);

// Run whenever the Angle, Reduction Ratio or One-Loop Encoder Value entry loses the focus
// (also to a button, before the button's command runs). Sets AngleInput, EncoderInput,
// RatioInput, DriveState::OneLoopEncoderValue and MotionFields::PositionSetpoint =
// angle x encoder x ratio (single precision, in that order) / 360.0 (double), truncated.
// Returns the pulses; the Position entry shows them as "%d".
int32_t UpdateAnglePulses(const std::string& angle, const std::string& encoderValue,
                          const std::string& reductionRatio, ConsoleState& console,
                          DriveState& state, MotionFields& motion);

// Run on every change of the Reduction Ratio entry's text: RatioInput = the entry as a number;
// outside 0..5001 shows "Reduction ratio, input exceeding limit\n" + the band with the error
// icon and returns false. Nothing is written to the drive.
bool CheckReductionRatio(const std::string& reductionRatio, ConsoleState& console,
                         NoticeSink& notices);

// The display of a successful write of the control word (register 0x6000), by
// LastControlWord: 0x0201 gives caption "Disabled", WorkMode combo disabled, MotorEnabled 1;
// 0x0200 gives "Enabled", combo enabled, MotorEnabled 0; any other word changes nothing
// (nullopt). The console's OnWriteReply calls it for 0x6000 and applies the result.
struct ControlWordDisplay {
    std::string EnabledButtonCaption;
    bool WorkModeComboEnabled;
};
std::optional<ControlWordDisplay> ShowControlWordReply(ConsoleState& console);

}  // namespace torvane
