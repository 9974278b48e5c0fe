// The parameter pages' rules: what each page checks, in its order, and what it stores when
// accepted, with the derived fields. A page reads its entries into one of the structs below,
// calls its Validate function and shows the EntryError it returns (the exact message and icon);
// nothing returned means accepted and stored. `params set` runs the same checks through
// ApplyAssignments. Pure functions over the caller's records; any thread, one caller at a time
// per record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/parameter_fields.h"
#include "protocol/drive_state.h"

namespace torvane {

// The message when Rated Current exceeds Locked-rotor Current (two blanks before "locked").
extern const char* const kRatedOverLockedMessage;

// Derivations.
uint32_t CountsPerRevFor(uint16_t encoderLines);  // Encoder Lines x 4
// Maximum Speed from its text: narrowed to float, +0.5 above 0 and -0.5 otherwise (in single
// precision), truncated toward zero, saturating. "1499.5" gives 1500, "0.4" gives 0.
int32_t MaximumSpeedFromText(const std::string& text);
// Applied MaxPos / MinPos: the circles truncated toward zero, saturating (10.99 gives 10).
int32_t AppliedPosition(float circles);
// Combo boxes: index -1 means no selection.
uint8_t MotorDirectionFor(int comboIndex);  // 0 for the first item, else 1
uint8_t FeedbackTypeFor(int comboIndex);    // index + 2 (no selection: 1)
uint8_t HallSequenceFor(int comboIndex);    // index + 1 (no selection: 0)

// Motor page (CDlgFileNewMotor). EncoderLines is the text the page validates (the edit's text
// with "Absolute encoder" selected, else the page's own Encoder Lines text).
struct MotorPageEntries {
    std::string PolePairs;
    std::string EncoderLines;
    std::string RatedCurrent;
    std::string LockedRotorCurrent;
    std::string RatedRotorSpeed;
    int FeedbackTypeIndex = -1;
    int HallSequenceIndex = -1;
};
// The set's motor values as the page's entries show them ("%d", "%g", combo indexes).
MotorPageEntries MotorEntriesFrom(const ParameterSet& set);
// Checks Pole Pairs, Encoder Lines, Rated Current, Locked-rotor Current, Rated Current against
// Locked-rotor Current, then stores CountsPerRev (even when the next check fails), checks Rated
// Rotor Speed against state.SpeedLimit, and stores the motor group. The first failure is
// returned and, except for CountsPerRev, nothing is stored.
std::optional<EntryError> ValidateMotorPage(const MotorPageEntries& entries, DriveState& state);

// Application page (CDlgFileNewDriver): the texts of every edit, visible or hidden.
struct ApplicationPageEntries {
    std::string AppliedCurrentRating;
    std::string AppliedLockedRotorCurrent;
    std::string MaximumSpeed;
    std::string Acceleration;
    std::string Deceleration;      // read, never used: Deceleration becomes 0
    std::string StopDeceleration;  // likewise
    std::string MaxPos;
    std::string MinPos;
    std::string InitialPosition;
    int MotorDirectionIndex = -1;
    bool CurrentTicked = false;
};
ApplicationPageEntries ApplicationEntriesFrom(const ParameterSet& set);
// Checks Maximum Speed, Acceleration, MaxPos, MinPos; on success stores the group with its
// derivations (Deceleration and Stop Deceleration 0, Applied MaxPos/MinPos truncated).
std::optional<EntryError> ValidateApplicationPage(const ApplicationPageEntries& entries,
                                                  ParameterSet& set);

// The loop page (CDlgFileNewPID) checks its gains with tuning/loop_gain_check.h, which runs
// CheckEntry on the gain rows of the field table.

// Custom parameters dialog (CDlgUserDef): every flag's box and every value's text.
struct CustomPageEntries {
    std::array<bool, kCustomFlagCount> Flags{};
    std::array<std::string, kCustomValueCount> Values;
};
CustomPageEntries CustomEntriesFrom(const ParameterSet& set);
// Stores every flag and every value first, then checks values 13, 14, 4, 11 in that order; a
// refusal leaves the stored values stored.
std::optional<EntryError> ValidateCustomPage(const CustomPageEntries& entries, ParameterSet& set);
// The check run while typing in value 13's or 14's entry (and when the dialog fills them);
// nothing for any other value.
std::optional<EntryError> CheckCustomEntryWhileTyping(int valueIndex, const std::string& text);

// `params set NAME=VALUE`: one named field and the text given for it.
struct Assignment {
    FieldId Field;
    std::string Text;
};
// Parses "NAME=VALUE" (the field's Name or Alias, case-insensitive). On failure returns
// nothing and says why in `error`: unknown name, missing '=', or a field that cannot be set.
std::optional<Assignment> ParseAssignment(std::string_view argument, std::string& error);
// Checks the named fields with their pages' checks in the pages' order (motor, application,
// loop, custom; within a group as its page checks; Rated against Locked-rotor Current when
// either is named), then stores only the named fields with the pages' conversions and the
// derivations they imply (MaxPos -> Applied MaxPos, a motor field -> CountsPerRev). On a
// refusal nothing in `state` changes.
std::optional<EntryError> ApplyAssignments(const std::vector<Assignment>& assignments,
                                           DriveState& state);

}  // namespace torvane
