#include "params/parameter_rules.h"

#include <algorithm>

#include "params/entry_text.h"
#include "protocol/frame.h"
#include "protocol/register_text.h"

namespace torvane {

const char* const kRatedOverLockedMessage =
    "rating current，input overrun\nallowed band: 0 up to  locked-rotor current";

uint32_t CountsPerRevFor(uint16_t encoderLines) {
    return uint32_t{encoderLines} * 4u;
}

int32_t MaximumSpeedFromText(const std::string& text) {
    const float x = NarrowToFloat(LeadingDouble(text));
    const float rounded = x > 0.0f ? x + 0.5f : x - 0.5f;
    return SaturateToI32(rounded);
}

int32_t AppliedPosition(float circles) {
    return SaturateToI32(circles);
}

uint8_t MotorDirectionFor(int comboIndex) {
    return comboIndex == 0 ? 0 : 1;
}
uint8_t FeedbackTypeFor(int comboIndex) {
    return static_cast<uint8_t>(comboIndex + 2);
}
uint8_t HallSequenceFor(int comboIndex) {
    return static_cast<uint8_t>(comboIndex + 1);
}

// ---- motor page

MotorPageEntries MotorEntriesFrom(const ParameterSet& set) {
    const MotorGroup& m = set.Motor;
    MotorPageEntries e;
    e.PolePairs = FormatD(m.PolePairs);
    // With "Absolute encoder" (type 2) the page shows 16 in the encoder edit and validates that.
    e.EncoderLines = m.FeedbackType == 2 ? "16" : FormatD(m.EncoderLines);
    e.RatedCurrent = FormatG(m.RatedCurrent);
    e.LockedRotorCurrent = FormatG(m.LockedRotorCurrent);
    e.RatedRotorSpeed = FormatD(m.RatedRotorSpeed);
    e.FeedbackTypeIndex = m.FeedbackType == 2 ? 0 : -1;
    e.HallSequenceIndex =
        m.MotorHallSequence >= 1 && m.MotorHallSequence <= 6 ? m.MotorHallSequence - 1 : -1;
    return e;
}

std::optional<EntryError> ValidateMotorPage(const MotorPageEntries& e, DriveState& state) {
    const float speedLimit = state.SpeedLimit;
    if (auto err = CheckEntry(FieldId::PolePairs, e.PolePairs, speedLimit)) return err;
    if (auto err = CheckEntry(FieldId::EncoderLines, e.EncoderLines, speedLimit)) return err;
    if (auto err = CheckEntry(FieldId::RatedCurrent, e.RatedCurrent, speedLimit)) return err;
    if (auto err = CheckEntry(FieldId::LockedRotorCurrent, e.LockedRotorCurrent, speedLimit))
        return err;
    MotorGroup m = state.Params.Motor;
    m.PolePairs = ReadU8(e.PolePairs);
    m.EncoderLines = ReadU16(e.EncoderLines);
    m.RatedCurrent = ReadFloat(e.RatedCurrent);
    m.LockedRotorCurrent = ReadFloat(e.LockedRotorCurrent);
    m.FeedbackType = FeedbackTypeFor(e.FeedbackTypeIndex);
    if (m.RatedCurrent > m.LockedRotorCurrent) return EntryError{kRatedOverLockedMessage};
    // The page stores the resolution before its last check, so a refused Rated Rotor Speed
    // still leaves the new CountsPerRev.
    state.CountsPerRev = CountsPerRevFor(m.EncoderLines);
    if (auto err = CheckEntry(FieldId::RatedRotorSpeed, e.RatedRotorSpeed, speedLimit)) return err;
    m.MotorHallSequence = HallSequenceFor(e.HallSequenceIndex);
    m.RatedRotorSpeed = ReadI32(e.RatedRotorSpeed);
    state.Params.Motor = m;
    return std::nullopt;
}

// ---- application page

ApplicationPageEntries ApplicationEntriesFrom(const ParameterSet& set) {
    const ApplicationGroup& a = set.Application;
    ApplicationPageEntries e;
    e.AppliedCurrentRating = FormatG(a.AppliedCurrentRating);
    e.AppliedLockedRotorCurrent = FormatG(a.AppliedLockedRotorCurrent);
    e.MaximumSpeed = FormatD(a.MaximumSpeed);
    e.Acceleration = FormatD(a.Acceleration);
    e.Deceleration = FormatD(a.Deceleration);
    e.StopDeceleration = FormatD(a.StopDeceleration);
    e.MaxPos = FormatG(a.MaxPos);
    e.MinPos = FormatG(a.MinPos);
    e.InitialPosition = FormatD(a.InitialPosition);
    e.MotorDirectionIndex = a.MotorDirection <= 1 ? a.MotorDirection : -1;
    e.CurrentTicked = false;  // the page never ticks its hidden "Current" box
    return e;
}

std::optional<EntryError> ValidateApplicationPage(const ApplicationPageEntries& e,
                                                  ParameterSet& set) {
    if (auto err = CheckEntry(FieldId::MaximumSpeed, e.MaximumSpeed, 0)) return err;
    if (auto err = CheckEntry(FieldId::Acceleration, e.Acceleration, 0)) return err;
    if (auto err = CheckEntry(FieldId::MaxPos, e.MaxPos, 0)) return err;
    if (auto err = CheckEntry(FieldId::MinPos, e.MinPos, 0)) return err;
    ApplicationGroup& a = set.Application;
    a.MotorDirection = MotorDirectionFor(e.MotorDirectionIndex);
    a.CurrentFlag = e.CurrentTicked ? 1 : 0;
    a.AppliedCurrentRating = ReadFloat(e.AppliedCurrentRating);
    a.AppliedLockedRotorCurrent = ReadFloat(e.AppliedLockedRotorCurrent);
    a.MaximumSpeed = MaximumSpeedFromText(e.MaximumSpeed);
    a.Acceleration = ReadI32(e.Acceleration);
    a.Deceleration = 0;
    a.StopDeceleration = 0;
    a.MaxPos = ReadFloat(e.MaxPos);
    a.MinPos = ReadFloat(e.MinPos);
    a.InitialPosition = ReadI32(e.InitialPosition);
    a.AppliedMaxPos = AppliedPosition(a.MaxPos);
    a.AppliedMinPos = AppliedPosition(a.MinPos);
    return std::nullopt;
}

// ---- custom dialog

namespace {
constexpr int kCustomCheckOrder[] = {13, 14, 4, 11};
}

CustomPageEntries CustomEntriesFrom(const ParameterSet& set) {
    CustomPageEntries e;
    for (int i = 0; i < kCustomFlagCount; ++i) e.Flags[i] = set.Custom.CustomFlags[i] != 0;
    for (int k = 0; k < kCustomValueCount; ++k) e.Values[k] = FormatD(set.Custom.CustomValues[k]);
    return e;
}

std::optional<EntryError> ValidateCustomPage(const CustomPageEntries& e, ParameterSet& set) {
    for (int i = 0; i < kCustomFlagCount; ++i) set.Custom.CustomFlags[i] = e.Flags[i] ? 1 : 0;
    for (int k = 0; k < kCustomValueCount; ++k) set.Custom.CustomValues[k] = ReadI32(e.Values[k]);
    for (int k : kCustomCheckOrder) {
        if (auto err = CheckEntry(CustomValueField(k), e.Values[k], 0)) return err;
    }
    return std::nullopt;
}

std::optional<EntryError> CheckCustomEntryWhileTyping(int valueIndex, const std::string& text) {
    if (valueIndex != 13 && valueIndex != 14) return std::nullopt;
    return CheckEntry(CustomValueField(valueIndex), text, 0);
}

// ---- params set

namespace {

std::string NotSettableReason(const ParameterField& f) {
    if (f.Group == ParamGroup::Matching)
        return f.Name + " comes from the drive's motor matching; only a file download writes it";
    return f.Name + " is derived: set " + (f.Id == FieldId::AppliedMaxPos ? "MaxPos" : "MinPos") +
           " instead";
}

}  // namespace

std::optional<Assignment> ParseAssignment(std::string_view argument, std::string& error) {
    const size_t eq = argument.find('=');
    if (eq == std::string_view::npos) {
        error = "expected NAME=VALUE: \"" + std::string(argument) + "\"";
        return std::nullopt;
    }
    const std::string_view name = argument.substr(0, eq);
    const ParameterField* f = FindField(name);
    if (f == nullptr) {
        error = "unknown parameter \"" + std::string(name) + "\"";
        return std::nullopt;
    }
    if (!f->Settable) {
        error = NotSettableReason(*f);
        return std::nullopt;
    }
    return Assignment{f->Id, std::string(argument.substr(eq + 1))};
}

namespace {

// Where a field's check runs among the checks of all pages: motor, application, loop, custom,
// each in its page's order. Fields without a check keep their table position after them.
int CheckRank(FieldId id) {
    static const FieldId kOrder[] = {
        FieldId::PolePairs,          FieldId::EncoderLines,    FieldId::RatedCurrent,
        FieldId::LockedRotorCurrent, FieldId::RatedRotorSpeed, FieldId::MaximumSpeed,
        FieldId::Acceleration,       FieldId::MaxPos,          FieldId::MinPos,
        FieldId::CurrentLoopP,       FieldId::CurrentLoopI,    FieldId::CurrentLoopD,
        FieldId::SpeedLoopP,         FieldId::SpeedLoopI,      FieldId::SpeedLoopD,
        FieldId::PositionLoopP,      FieldId::PositionLoopI,   FieldId::PositionLoopD,
        CustomValueField(13),        CustomValueField(14),     CustomValueField(4),
        CustomValueField(11),
    };
    for (size_t i = 0; i < std::size(kOrder); ++i) {
        if (kOrder[i] == id) return static_cast<int>(i);
    }
    return static_cast<int>(std::size(kOrder)) + static_cast<int>(id);
}

FieldValue ConvertEntry(FieldId id, const std::string& text) {
    if (id == FieldId::MaximumSpeed) return {MaximumSpeedFromText(text), 0};
    switch (FieldInfo(id).Type) {
        case FieldType::U8:
            return {ReadU8(text), 0};
        case FieldType::U16:
            return {ReadU16(text), 0};
        case FieldType::Flag:
        case FieldType::I32:
            return {ReadI32(text), 0};
        case FieldType::Float:
            return {0, ReadFloat(text)};
    }
    return {};
}

}  // namespace

std::optional<EntryError> ApplyAssignments(const std::vector<Assignment>& assignments,
                                           DriveState& state) {
    std::vector<Assignment> ordered = assignments;
    std::stable_sort(ordered.begin(), ordered.end(), [](const Assignment& a, const Assignment& b) {
        return CheckRank(a.Field) < CheckRank(b.Field);
    });
    for (const Assignment& a : ordered) {
        if (!FieldInfo(a.Field).Settable) return EntryError{NotSettableReason(FieldInfo(a.Field))};
    }
    ParameterSet set = state.Params;
    bool motorNamed = false;
    bool currentsNamed = false;
    for (const Assignment& a : ordered) {
        motorNamed |= FieldInfo(a.Field).Group == ParamGroup::Motor;
        currentsNamed |= a.Field == FieldId::RatedCurrent || a.Field == FieldId::LockedRotorCurrent;
    }
    bool currentsCompared = false;
    auto compareCurrents = [&]() -> std::optional<EntryError> {
        currentsCompared = true;
        if (!currentsNamed) return std::nullopt;
        float rated = set.Motor.RatedCurrent;
        float locked = set.Motor.LockedRotorCurrent;
        for (const Assignment& a : ordered) {
            if (a.Field == FieldId::RatedCurrent) rated = ReadFloat(a.Text);
            if (a.Field == FieldId::LockedRotorCurrent) locked = ReadFloat(a.Text);
        }
        if (rated > locked) return EntryError{kRatedOverLockedMessage};
        return std::nullopt;
    };
    // The motor page compares the currents after their own checks, before Rated Rotor Speed.
    const int currentsRank = CheckRank(FieldId::RatedRotorSpeed);
    for (const Assignment& a : ordered) {
        if (!currentsCompared && CheckRank(a.Field) >= currentsRank) {
            if (auto err = compareCurrents()) return err;
        }
        if (auto err = CheckEntry(a.Field, a.Text, state.SpeedLimit)) return err;
    }
    if (!currentsCompared) {
        if (auto err = compareCurrents()) return err;
    }

    for (const Assignment& a : ordered) {
        SetField(set, a.Field, ConvertEntry(a.Field, a.Text));
        if (a.Field == FieldId::MaxPos)
            set.Application.AppliedMaxPos = AppliedPosition(set.Application.MaxPos);
        if (a.Field == FieldId::MinPos)
            set.Application.AppliedMinPos = AppliedPosition(set.Application.MinPos);
    }
    state.Params = set;
    if (motorNamed) state.CountsPerRev = CountsPerRevFor(set.Motor.EncoderLines);
    return std::nullopt;
}

}  // namespace torvane
