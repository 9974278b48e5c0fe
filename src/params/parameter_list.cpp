#include "params/parameter_list.h"

#include "params/parameter_fields.h"

namespace torvane {

namespace {

struct RowLayout {
    const char* Label;
    bool HasField;
    FieldId Field;
};

constexpr RowLayout Caption(const char* text) {
    return {text, false, FieldId::PolePairs};
}
constexpr RowLayout Row(const char* label, FieldId field) {
    return {label, true, field};
}

// The list's own labels; they differ from the field names in places ("Rating Current",
// "Applied Maximum Revolution", "Position P").
constexpr RowLayout kRows[kListRowCount] = {
    Caption("Motor Parameters"),
    Row("Pole Pairs：", FieldId::PolePairs),
    Row("Feedback Type：", FieldId::FeedbackType),
    Row("Number of encoder lines：", FieldId::EncoderLines),
    Row("Rating Current：", FieldId::RatedCurrent),
    Row("Locked-rotor Current：", FieldId::LockedRotorCurrent),
    Row("Rated Rotor Speed：", FieldId::RatedRotorSpeed),
    Caption(""),
    Caption("Matching Parameter"),
    Row("Match Marks：", FieldId::MatchMarks),
    Row("The phase of graviation sequence：", FieldId::GraviationSequence),
    Row("Hall line sequence：", FieldId::HallLineSequence),
    Row("Hall Direction：", FieldId::HallDirection),
    Row("Encoder Direction：", FieldId::EncoderDirection),
    Row("Initial electrical Angle：", FieldId::InitialElectricalAngle),
    Caption(""),
    Caption("Application Parameter"),
    Row("Applied Current Rating：", FieldId::AppliedCurrentRating),
    Row("Applied Locked-rotor Current：", FieldId::AppliedLockedRotorCurrent),
    Row("Applied Maximum Revolution：", FieldId::MaximumSpeed),
    Row("Acceleration ：", FieldId::Acceleration),
    Row("Deceleration：", FieldId::Deceleration),
    Row("Stop Deceleration：", FieldId::StopDeceleration),
    Row("Applied MaxPos：", FieldId::AppliedMaxPos),
    Row("Applied MinPos：", FieldId::AppliedMinPos),
    Row("Motor Direction：", FieldId::MotorDirection),
    Caption(""),
    Caption("The loop parameters"),
    Row("Current Loop P：", FieldId::CurrentLoopP),
    Row("Current Loop I：", FieldId::CurrentLoopI),
    Row("Current Loop D：", FieldId::CurrentLoopD),
    Row("Speed Loop P：", FieldId::SpeedLoopP),
    Row("Speed Loop I：", FieldId::SpeedLoopI),
    Row("Speed Loop D：", FieldId::SpeedLoopD),
    Row("Position P：", FieldId::PositionLoopP),
    Row("Position I：", FieldId::PositionLoopI),
    Row("Position D：", FieldId::PositionLoopD),
};

}  // namespace

std::vector<ListRow> ParameterListRows(const ParameterSet& set) {
    std::vector<ListRow> rows;
    rows.reserve(kListRowCount);
    for (const RowLayout& r : kRows) {
        if (!r.HasField) {
            rows.push_back({r.Label, "", ""});
            continue;
        }
        rows.push_back({r.Label, FormatField(set, r.Field), FieldInfo(r.Field).Unit});
    }
    return rows;
}

}  // namespace torvane
