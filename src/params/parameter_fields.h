// The parameter fields by name: one table that says, for every field of the ParameterSet, its
// name, group, register block, type, unit, accepted range and the message shown when an entry is
// out of range. The pages take their checks from here, `params get` prints fields by these
// names, `params set NAME=VALUE` finds them here, and the difference between a file and the
// drive is listed with them.
//
// Pure data and functions; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/drive_state.h"
#include "protocol/frame.h"
#include "session/notice_sink.h"

namespace torvane {

enum class ParamGroup : uint8_t { Motor, Matching, Application, Loop, Custom };

// Short names for the command line ("motor", "matching", "application", "loop", "custom").
const char* GroupName(ParamGroup group);
// The group's caption as the pages and the list show it ("Motor Parameters", ...).
const char* GroupLabel(ParamGroup group);
// Group by its short name, case-insensitive.
std::optional<ParamGroup> FindGroup(std::string_view name);

enum class FieldType : uint8_t {
    U8,
    U16,
    I32,
    Float,
    Flag,  // a byte that is 0 or 1; any non-zero entry stores 1
};

enum class FieldId : uint16_t {
    PolePairs,
    FeedbackType,
    EncoderLines,
    RatedCurrent,
    LockedRotorCurrent,
    RatedRotorSpeed,
    MotorHallSequence,
    MatchMarks,
    GraviationSequence,
    HallLineSequence,
    HallDirection,
    EncoderDirection,
    InitialElectricalAngle,
    MotorDirection,
    CurrentFlag,
    AppliedCurrentRating,
    AppliedLockedRotorCurrent,
    MaximumSpeed,
    Acceleration,
    Deceleration,
    StopDeceleration,
    AppliedMaxPos,
    AppliedMinPos,
    InitialPosition,
    MaxPos,
    MinPos,
    CurrentLoopP,
    CurrentLoopI,
    CurrentLoopD,
    SpeedLoopP,
    SpeedLoopI,
    SpeedLoopD,
    PositionLoopP,
    PositionLoopI,
    PositionLoopD,
    CustomFlag0,
    CustomValue0 = CustomFlag0 + 32,
    Count = CustomValue0 + 24,
};

constexpr int kCustomFlagCount = 32;
constexpr int kCustomValueCount = 24;
FieldId CustomFlagField(int index);   // 0..31
FieldId CustomValueField(int index);  // 0..23

enum class CheckKind : uint8_t {
    None,
    // CheckRange on the entry's text with [Min, Max]; the message is Message followed by the
    // band text; error icon.
    Band,
    // As Band, with the upper bound DriveState::SpeedLimit widened to double.
    SpeedLimitBand,
    // The entry read as a single-precision float and compared with [Min, Max]; the message is
    // Message alone, shown without an icon (the loop page's gain checks).
    GainBound,
};

struct ParameterField {
    FieldId Id;
    std::string Name;   // the field's name ("Pole Pairs", "Current Loop P", "Custom Value 13")
    std::string Alias;  // a second name: the custom values' dialog labels; empty otherwise
    ParamGroup Group;
    RegisterAddress Block;  // the register block that carries it; 0: not on the drive
    FieldType Type;
    bool ShowSigned;  // shown as a signed number of its width (Hall/Encoder Direction, angle)
    std::string Unit;
    CheckKind Check;
    double Min;
    double Max;
    std::string Message;  // first line (Band) or the whole text (GainBound)
    bool Settable;        // `params set` may change it (not the matching group, not derived ones)
};

// Every field in group order: motor, matching, application, loop, custom flags, custom values.
const std::vector<ParameterField>& ParameterFields();
const ParameterField& FieldInfo(FieldId id);
// The field whose Name or Alias is `name` (case-insensitive, blanks around it ignored);
// nullptr when there is none.
const ParameterField* FindField(std::string_view name);
// The fields of one group, in table order.
std::vector<FieldId> FieldsOfGroup(ParamGroup group);

// A field's value: integers in Int, floats in Float.
struct FieldValue {
    int64_t Int = 0;
    float Float = 0;
};

FieldValue GetField(const ParameterSet& set, FieldId id);
// Stores `value` cut to the field's type (a Flag stores value != 0).
void SetField(ParameterSet& set, FieldId id, FieldValue value);
// Exactly equal: integers by value, floats by bit pattern (what the drive holds).
bool SameField(const ParameterSet& a, const ParameterSet& b, FieldId id);
// "%d" (signed for ShowSigned fields) or "%g", as the pages show it.
std::string FormatField(const ParameterSet& set, FieldId id);
// As FormatField, with 9 significant digits for floats: tells apart floats that "%g" shows alike.
std::string FormatFieldExact(const ParameterSet& set, FieldId id);

// What an entry refused by a check shows: the exact text and the icon of its message box.
struct EntryError {
    std::string Text;
    NoticeIcon Icon = NoticeIcon::Error;
};

// Runs the field's own check on the entry text (nothing for CheckKind::None). `speedLimit` is
// DriveState::SpeedLimit, the bound of Rated Rotor Speed.
std::optional<EntryError> CheckEntry(FieldId id, const std::string& text, float speedLimit);

// Shows a refused entry through `sink`.
void ShowEntryError(NoticeSink& sink, const EntryError& error);

}  // namespace torvane
