#include "params/parameter_fields.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "params/entry_text.h"
#include "protocol/register_map.h"
#include "protocol/register_text.h"

namespace torvane {

namespace {

struct GroupNames {
    ParamGroup Group;
    const char* Name;
    const char* Label;
};

constexpr GroupNames kGroups[] = {
    {ParamGroup::Motor, "motor", "Motor Parameters"},
    {ParamGroup::Matching, "matching", "Matching Parameter"},
    {ParamGroup::Application, "application", "Application Parameter"},
    {ParamGroup::Loop, "loop", "The loop parameters"},
    {ParamGroup::Custom, "custom", "Custom Parameters"},
};

const char* const kCustomValueLabels[kCustomValueCount] = {
    "PT Filter Coefficient",
    "Force Sensor Filtering Coefficient",
    "Force Sensor Coefficient",
    "Force Sensor Zero",
    "Open Loop Matching Current Iq",
    "Hall Deviation（°）",
    "Version Modification Time",
    "Parameters8",
    "Current Given Filter Coefficient",
    "Velocity Given Filter Coefficient",
    "Velocity Calculated Filter Coefficient",
    "Ultra Low Speed Vq Setting Size",
    "Parameters13",
    "Brake Start Duty Cycle Parameters",
    "Holding Brake Duty Cycle Parameters",
    "Parameters16",
    "Parameters17",
    "Parameters18",
    "Parameters19",
    "Parameters20",
    "Parameters21",
    "Parameters22",
    "Parameters23",
    "Parameters24",
};

struct CustomCheck {
    int Index;
    double Max;
    const char* Message;
};

constexpr CustomCheck kCustomChecks[] = {
    {4, 20, "Ring-opening vehicle distribution current Iq, export transfinite number\n"},
    {11, 1000, "Ultra-low speed Vq setting size, export transfinite number\n"},
    {13, 3000, "Duty cycle number of duty cycle, transfinite number of exports\n"},
    {14, 3000, "Duty cycle holding duty cycle number, export transfinite number\n"},
};

std::vector<ParameterField> BuildTable() {
    using G = ParamGroup;
    using T = FieldType;
    using C = CheckKind;
    std::vector<ParameterField> t;
    auto add = [&t](FieldId id, const char* name, G group, RegisterAddress block, T type,
                    const char* unit = "", C check = C::None, double min = 0, double max = 0,
                    const char* message = "", bool settable = true) {
        t.push_back(
            {id, name, "", group, block, type, false, unit, check, min, max, message, settable});
    };
    const RegisterAddress motor = reg::kMotorGroup;
    add(FieldId::PolePairs, "Pole Pairs", G::Motor, motor, T::U8, "pairs", C::Band, 0, 40,
        "pole pairs，input overrun\n");
    add(FieldId::FeedbackType, "Feedback Type", G::Motor, motor, T::U8);
    add(FieldId::EncoderLines, "Encoder Lines", G::Motor, motor, T::U16, "lines", C::Band, 0, 50000,
        "The encoder line，input overrun\n");
    add(FieldId::RatedCurrent, "Rated Current", G::Motor, motor, T::Float, "A", C::Band, 0.8, 20,
        "额定电流，输入超限\n");
    add(FieldId::LockedRotorCurrent, "Locked-rotor Current", G::Motor, motor, T::Float, "A",
        C::Band, 0.8, 20, "堵转电流，输入超限\n");
    add(FieldId::RatedRotorSpeed, "Rated Rotor Speed", G::Motor, motor, T::I32, "RPM",
        C::SpeedLimitBand, 0, 0, "Mechanical speed，input overrun\n");
    add(FieldId::MotorHallSequence, "Motor Hall Sequence", G::Motor, motor, T::U8);

    // The matching group reaches the drive only through the download of a file.
    const RegisterAddress matching = reg::kMatchingGroup;
    add(FieldId::MatchMarks, "Match Marks", G::Matching, matching, T::U8, "", C::None, 0, 0, "",
        false);
    add(FieldId::GraviationSequence, "Graviation Sequence", G::Matching, matching, T::U8, "",
        C::None, 0, 0, "", false);
    add(FieldId::HallLineSequence, "Hall Line Sequence", G::Matching, matching, T::U8, "", C::None,
        0, 0, "", false);
    add(FieldId::HallDirection, "Hall Direction", G::Matching, matching, T::U8, "", C::None, 0, 0,
        "", false);
    t.back().ShowSigned = true;
    add(FieldId::EncoderDirection, "Encoder Direction", G::Matching, matching, T::U8, "", C::None,
        0, 0, "", false);
    t.back().ShowSigned = true;
    add(FieldId::InitialElectricalAngle, "Initial Electrical Angle", G::Matching, matching, T::U16,
        "", C::None, 0, 0, "", false);
    t.back().ShowSigned = true;

    const RegisterAddress app = reg::kApplicationGroup;
    add(FieldId::MotorDirection, "Motor Direction", G::Application, app, T::Flag);
    add(FieldId::CurrentFlag, "Current Flag", G::Application, app, T::Flag);
    add(FieldId::AppliedCurrentRating, "Applied Current Rating", G::Application, app, T::Float,
        "A");
    add(FieldId::AppliedLockedRotorCurrent, "Applied Locked-rotor Current", G::Application, app,
        T::Float, "A");
    add(FieldId::MaximumSpeed, "Maximum Speed", G::Application, app, T::I32, "RPM", C::Band, 0,
        2500, "maximum speed,input overrun\n");
    add(FieldId::Acceleration, "Acceleration", G::Application, app, T::I32, "D/s2", C::Band, 0,
        10000, "acceleration，input overrun\n");
    add(FieldId::Deceleration, "Deceleration", G::Application, app, T::I32);
    add(FieldId::StopDeceleration, "Stop Deceleration", G::Application, app, T::I32, "P/s2");
    // Derived from MaxPos and MinPos: set those instead.
    add(FieldId::AppliedMaxPos, "Applied MaxPos", G::Application, app, T::I32, "circle", C::None, 0,
        0, "", false);
    add(FieldId::AppliedMinPos, "Applied MinPos", G::Application, app, T::I32, "circle", C::None, 0,
        0, "", false);
    add(FieldId::InitialPosition, "Initial Position", G::Application, app, T::I32);
    add(FieldId::MaxPos, "MaxPos", G::Application, 0, T::Float, "circle", C::Band, 0, 32767,
        "MaxPos，input overrun\n");
    add(FieldId::MinPos, "MinPos", G::Application, 0, T::Float, "circle", C::Band, 0, 32767,
        "MinPos，input overrun\n");

    struct Gain {
        FieldId Id;
        const char* Name;
        RegisterAddress Block;
        double Max;
        const char* Message;
    };
    const Gain gains[] = {
        {FieldId::CurrentLoopP, "Current Loop P", reg::kCurrentLoopGains, 5,
         "P value of current loop，input overrun \n allowed band Greater than 0  and less than 5"},
        {FieldId::CurrentLoopI, "Current Loop I", reg::kCurrentLoopGains, 5,
         "I value of current loop，input overrun \n allowed band Greater than 0  and less than 5"},
        {FieldId::CurrentLoopD, "Current Loop D", reg::kCurrentLoopGains, 1,
         "D value of current loop，input overrun \n allowed band Greater than0  and less than 1"},
        {FieldId::SpeedLoopP, "Speed Loop P", reg::kSpeedLoopGains, 5,
         "P value of speed loop，input overrun \n allowed band Greater than 0 and less than 5"},
        {FieldId::SpeedLoopI, "Speed Loop I", reg::kSpeedLoopGains, 5,
         "I value of speed loop，input overrun \n allowed band Greater than 0 and less than 5"},
        {FieldId::SpeedLoopD, "Speed Loop D", reg::kSpeedLoopGains, 5,
         "D value of speed loop，input overrun \n allowed band Greater than 0 and less than 5"},
        {FieldId::PositionLoopP, "Position Loop P", reg::kPositionLoopGains, 2.5,
         "P value of position loop，input overrun \n allowed band Greater than 0  and less than "
         "2.5"},
        {FieldId::PositionLoopI, "Position Loop I", reg::kPositionLoopGains, 2.5,
         "I value of position loop，input overrun \n allowed band Greater than 0  and less than "
         "2.5"},
        {FieldId::PositionLoopD, "Position Loop D", reg::kPositionLoopGains, 2.5,
         "D value of position loop，input overrun \n allowed band Greater than 0  and less than "
         "2.5"},
    };
    for (const Gain& g : gains) {
        add(g.Id, g.Name, G::Loop, g.Block, T::Float, "", C::GainBound, 0, g.Max, g.Message);
    }

    for (int i = 0; i < kCustomFlagCount; ++i) {
        const std::string name = "Custom Flag " + std::to_string(i);
        add(CustomFlagField(i), "", G::Custom, reg::kCustomGroup, T::Flag);
        t.back().Name = name;
    }
    for (int k = 0; k < kCustomValueCount; ++k) {
        add(CustomValueField(k), "", G::Custom, reg::kCustomGroup, T::I32);
        t.back().Name = "Custom Value " + std::to_string(k);
        t.back().Alias = kCustomValueLabels[k];
        for (const CustomCheck& c : kCustomChecks) {
            if (c.Index != k) continue;
            t.back().Check = C::Band;
            t.back().Max = c.Max;
            t.back().Message = c.Message;
        }
    }
    return t;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Where a field lives inside the set.
void* Storage(ParameterSet& p, FieldId id) {
    const auto n = static_cast<uint16_t>(id);
    const auto flag0 = static_cast<uint16_t>(FieldId::CustomFlag0);
    const auto value0 = static_cast<uint16_t>(FieldId::CustomValue0);
    if (n >= flag0 && n < value0) return &p.Custom.CustomFlags[n - flag0];
    if (n >= value0 && n < static_cast<uint16_t>(FieldId::Count))
        return &p.Custom.CustomValues[n - value0];
    MotorGroup& m = p.Motor;
    MatchingGroup& x = p.Matching;
    ApplicationGroup& a = p.Application;
    LoopGroup& l = p.Loop;
    switch (id) {
        case FieldId::PolePairs:
            return &m.PolePairs;
        case FieldId::FeedbackType:
            return &m.FeedbackType;
        case FieldId::EncoderLines:
            return &m.EncoderLines;
        case FieldId::RatedCurrent:
            return &m.RatedCurrent;
        case FieldId::LockedRotorCurrent:
            return &m.LockedRotorCurrent;
        case FieldId::RatedRotorSpeed:
            return &m.RatedRotorSpeed;
        case FieldId::MotorHallSequence:
            return &m.MotorHallSequence;
        case FieldId::MatchMarks:
            return &x.MatchMarks;
        case FieldId::GraviationSequence:
            return &x.GraviationSequence;
        case FieldId::HallLineSequence:
            return &x.HallLineSequence;
        case FieldId::HallDirection:
            return &x.HallDirection;
        case FieldId::EncoderDirection:
            return &x.EncoderDirection;
        case FieldId::InitialElectricalAngle:
            return &x.InitialElectricalAngle;
        case FieldId::MotorDirection:
            return &a.MotorDirection;
        case FieldId::CurrentFlag:
            return &a.CurrentFlag;
        case FieldId::AppliedCurrentRating:
            return &a.AppliedCurrentRating;
        case FieldId::AppliedLockedRotorCurrent:
            return &a.AppliedLockedRotorCurrent;
        case FieldId::MaximumSpeed:
            return &a.MaximumSpeed;
        case FieldId::Acceleration:
            return &a.Acceleration;
        case FieldId::Deceleration:
            return &a.Deceleration;
        case FieldId::StopDeceleration:
            return &a.StopDeceleration;
        case FieldId::AppliedMaxPos:
            return &a.AppliedMaxPos;
        case FieldId::AppliedMinPos:
            return &a.AppliedMinPos;
        case FieldId::InitialPosition:
            return &a.InitialPosition;
        case FieldId::MaxPos:
            return &a.MaxPos;
        case FieldId::MinPos:
            return &a.MinPos;
        case FieldId::CurrentLoopP:
            return &l.CurrentLoopP;
        case FieldId::CurrentLoopI:
            return &l.CurrentLoopI;
        case FieldId::CurrentLoopD:
            return &l.CurrentLoopD;
        case FieldId::SpeedLoopP:
            return &l.SpeedLoopP;
        case FieldId::SpeedLoopI:
            return &l.SpeedLoopI;
        case FieldId::SpeedLoopD:
            return &l.SpeedLoopD;
        case FieldId::PositionLoopP:
            return &l.PositionLoopP;
        case FieldId::PositionLoopI:
            return &l.PositionLoopI;
        case FieldId::PositionLoopD:
            return &l.PositionLoopD;
        default:
            return nullptr;
    }
}

const void* Storage(const ParameterSet& p, FieldId id) {
    return Storage(const_cast<ParameterSet&>(p), id);
}

}  // namespace

const char* GroupName(ParamGroup group) {
    for (const GroupNames& g : kGroups) {
        if (g.Group == group) return g.Name;
    }
    return "";
}

const char* GroupLabel(ParamGroup group) {
    for (const GroupNames& g : kGroups) {
        if (g.Group == group) return g.Label;
    }
    return "";
}

std::optional<ParamGroup> FindGroup(std::string_view name) {
    name = Trim(name);
    for (const GroupNames& g : kGroups) {
        if (SameName(name, g.Name)) return g.Group;
    }
    return std::nullopt;
}

FieldId CustomFlagField(int index) {
    return static_cast<FieldId>(static_cast<int>(FieldId::CustomFlag0) + index);
}

FieldId CustomValueField(int index) {
    return static_cast<FieldId>(static_cast<int>(FieldId::CustomValue0) + index);
}

const std::vector<ParameterField>& ParameterFields() {
    static const std::vector<ParameterField> table = BuildTable();
    return table;
}

const ParameterField& FieldInfo(FieldId id) {
    // The table is built in FieldId order.
    return ParameterFields()[static_cast<size_t>(id)];
}

const ParameterField* FindField(std::string_view name) {
    name = Trim(name);
    if (name.empty()) return nullptr;
    for (const ParameterField& f : ParameterFields()) {
        if (SameName(name, f.Name) || (!f.Alias.empty() && SameName(name, f.Alias))) return &f;
    }
    return nullptr;
}

std::vector<FieldId> FieldsOfGroup(ParamGroup group) {
    std::vector<FieldId> out;
    for (const ParameterField& f : ParameterFields()) {
        if (f.Group == group) out.push_back(f.Id);
    }
    return out;
}

FieldValue GetField(const ParameterSet& set, FieldId id) {
    const void* p = Storage(set, id);
    FieldValue v;
    switch (FieldInfo(id).Type) {
        case FieldType::U8:
        case FieldType::Flag:
            v.Int = *static_cast<const uint8_t*>(p);
            break;
        case FieldType::U16:
            v.Int = *static_cast<const uint16_t*>(p);
            break;
        case FieldType::I32:
            v.Int = *static_cast<const int32_t*>(p);
            break;
        case FieldType::Float:
            v.Float = *static_cast<const float*>(p);
            break;
    }
    return v;
}

void SetField(ParameterSet& set, FieldId id, FieldValue value) {
    void* p = Storage(set, id);
    switch (FieldInfo(id).Type) {
        case FieldType::U8:
            *static_cast<uint8_t*>(p) = static_cast<uint8_t>(value.Int);
            break;
        case FieldType::Flag:
            *static_cast<uint8_t*>(p) = value.Int != 0 ? 1 : 0;
            break;
        case FieldType::U16:
            *static_cast<uint16_t*>(p) = static_cast<uint16_t>(value.Int);
            break;
        case FieldType::I32:
            *static_cast<int32_t*>(p) = static_cast<int32_t>(value.Int);
            break;
        case FieldType::Float:
            *static_cast<float*>(p) = value.Float;
            break;
    }
}

bool SameField(const ParameterSet& a, const ParameterSet& b, FieldId id) {
    const FieldValue x = GetField(a, id);
    const FieldValue y = GetField(b, id);
    if (FieldInfo(id).Type != FieldType::Float) return x.Int == y.Int;
    return std::memcmp(&x.Float, &y.Float, sizeof(float)) == 0;
}

namespace {

std::string Format(const ParameterSet& set, FieldId id, bool exact) {
    const ParameterField& f = FieldInfo(id);
    const FieldValue v = GetField(set, id);
    if (f.Type == FieldType::Float) {
        if (!exact) return FormatG(v.Float);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v.Float));
        return buf;
    }
    if (f.ShowSigned) {
        if (f.Type == FieldType::U16) return FormatD(static_cast<int16_t>(v.Int));
        return FormatD(static_cast<int8_t>(v.Int));
    }
    return FormatD(v.Int);
}

}  // namespace

std::string FormatField(const ParameterSet& set, FieldId id) {
    return Format(set, id, false);
}

std::string FormatFieldExact(const ParameterSet& set, FieldId id) {
    return Format(set, id, true);
}

std::optional<EntryError> CheckEntry(FieldId id, const std::string& text, float speedLimit) {
    const ParameterField& f = FieldInfo(id);
    switch (f.Check) {
        case CheckKind::None:
            return std::nullopt;
        case CheckKind::Band:
        case CheckKind::SpeedLimitBand: {
            const double max = f.Check == CheckKind::Band ? f.Max : static_cast<double>(speedLimit);
            std::string band;
            if (CheckRange(text, f.Min, max, band) == 0) return std::nullopt;
            return EntryError{f.Message + band, NoticeIcon::Error};
        }
        case CheckKind::GainBound: {
            // Compared as the float that is stored (5.00000001 is 5.0f and passes as 5); written
            // so that a value that is no number would be refused too.
            const float v = ReadFloat(text);
            if (!(v >= f.Min && v <= f.Max)) return EntryError{f.Message, NoticeIcon::None};
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void ShowEntryError(NoticeSink& sink, const EntryError& error) {
    sink.Failure(error.Text, error.Icon);
}

}  // namespace torvane
