#include "params/parameter_diff.h"

namespace torvane {

const std::vector<FieldId>& DownloadedFields() {
    static const std::vector<FieldId> fields = {
        FieldId::PolePairs,
        FieldId::FeedbackType,
        FieldId::EncoderLines,
        FieldId::RatedCurrent,
        FieldId::LockedRotorCurrent,
        FieldId::RatedRotorSpeed,
        FieldId::MatchMarks,
        FieldId::GraviationSequence,
        FieldId::HallLineSequence,
        FieldId::HallDirection,
        FieldId::EncoderDirection,
        FieldId::InitialElectricalAngle,
        FieldId::MotorDirection,
        FieldId::CurrentFlag,
        FieldId::AppliedCurrentRating,
        FieldId::AppliedLockedRotorCurrent,
        FieldId::MaximumSpeed,
        FieldId::Acceleration,
        FieldId::Deceleration,
        FieldId::StopDeceleration,
        FieldId::AppliedMaxPos,
        FieldId::AppliedMinPos,
        FieldId::CurrentLoopP,
        FieldId::CurrentLoopI,
        FieldId::CurrentLoopD,
        FieldId::SpeedLoopP,
        FieldId::SpeedLoopI,
        FieldId::SpeedLoopD,
        FieldId::PositionLoopP,
        FieldId::PositionLoopI,
        FieldId::PositionLoopD,
    };
    return fields;
}

ParameterSet AsDownloaded(const ParameterSet& file) {
    ParameterSet out = file;
    const uint8_t flags = file.Application.MotorDirection;
    out.Application.MotorDirection = flags & 1;
    out.Application.CurrentFlag = (flags >> 1) & 1;
    return out;
}

std::vector<FieldDifference> DiffForDownload(const ParameterSet& drive, const ParameterSet& file) {
    const ParameterSet written = AsDownloaded(file);
    std::vector<FieldDifference> out;
    for (FieldId id : DownloadedFields()) {
        if (SameField(drive, written, id)) continue;
        std::string d = FormatField(drive, id);
        std::string f = FormatField(written, id);
        if (d == f) {
            d = FormatFieldExact(drive, id);
            f = FormatFieldExact(written, id);
        }
        out.push_back({id, FieldInfo(id).Name, d, f});
    }
    return out;
}

std::vector<std::string> DifferenceLines(const std::vector<FieldDifference>& differences) {
    if (differences.empty()) return {"no change"};
    std::vector<std::string> lines;
    for (const FieldDifference& d : differences) {
        lines.push_back(d.Name + ": drive " + d.DriveValue + ", file " + d.FileValue);
    }
    return lines;
}

}  // namespace torvane
