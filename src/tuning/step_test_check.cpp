#include "tuning/step_test_check.h"

#include <cstdint>
#include <limits>

#include "protocol/frame.h"

namespace torvane {

namespace {

int32_t LeadingInt32(const std::string& text) {
    const int64_t v = LeadingInteger(text);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

std::optional<Refusal> CheckField(const std::string& text, double min, double max,
                                  const char* prefix) {
    std::string band;
    if (CheckRange(text, min, max, band) == 2) {
        return Refusal{std::string(prefix) + band, NoticeIcon::Error};
    }
    return std::nullopt;
}

// Steps 2 and 3, common to the three tests. False when the check ended.
bool CheckEnabledAndGains(StepTestCheck& check, const GainTexts& gains, bool motorEnabled) {
    if (!motorEnabled) {
        check.Refused = Refusal{kMotorNotEnabled, NoticeIcon::None};
        return false;
    }
    GainCheck gainCheck = CheckLoopGains(check.Test, gains);
    if (!gainCheck.Passed()) {
        check.Refused = gainCheck.Refused;
        return false;
    }
    check.Gains = gainCheck.Gains;
    return true;
}

}  // namespace

int32_t PositionTargetCounts(float degrees, float oneLoopEncoderValue, float reductionRatio) {
    const float counts = degrees * oneLoopEncoderValue * reductionRatio;
    return SaturateToI32(static_cast<double>(counts) / 360.0);
}

StepTestCheck CheckCurrentTest(const CurrentTestEntries& entries, const DriveState& state,
                               bool motorEnabled) {
    StepTestCheck check;
    check.Test = LoopTest::Current;
    if (state.Params.Matching.MatchMarks != 1) {
        check.Refused = Refusal{kMotorNotMatched, NoticeIcon::None};
        return check;
    }
    if (!CheckEnabledAndGains(check, entries.Gains, motorEnabled)) return check;
    if ((check.Refused = CheckField(entries.Amplitude, 0.8, state.Params.Motor.RatedCurrent,
                                    "Current amplitude\xEF\xBC\x8Cinput overrun\n"))) {
        return check;
    }
    StepTestFields fields;
    fields.CurrentTestAmplitude = static_cast<float>(LeadingDouble(entries.Amplitude));
    fields.CurrentTestFrequency = static_cast<uint16_t>(LeadingInteger(entries.Frequency));
    fields.CurrentTestType = entries.CurrentType;
    check.Fields = fields;
    return check;
}

StepTestCheck CheckSpeedTest(const SpeedTestEntries& entries, const DriveState& state,
                             bool motorEnabled) {
    StepTestCheck check;
    check.Test = LoopTest::Speed;
    if (!CheckEnabledAndGains(check, entries.Gains, motorEnabled)) return check;
    if ((check.Refused = CheckField(entries.SetSpeed, 0, state.Params.Application.MaximumSpeed,
                                    "Set speed\xEF\xBC\x8Cinput overrun\n"))) {
        return check;
    }
    StepTestFields fields;
    fields.SpeedTestSetSpeed = LeadingInt32(entries.SetSpeed);
    check.Fields = fields;
    return check;
}

StepTestCheck CheckPositionTest(const PositionTestEntries& entries, const DriveState& state,
                                bool motorEnabled) {
    StepTestCheck check;
    check.Test = LoopTest::Position;
    if (!CheckEnabledAndGains(check, entries.Gains, motorEnabled)) return check;
    const ApplicationGroup& app = state.Params.Application;
    if ((check.Refused = CheckField(entries.MaxSpeed, 0, app.MaximumSpeed,
                                    "Maximum speed\xEF\xBC\x8Cinput overrun\n"))) {
        return check;
    }
    if ((check.Refused =
             CheckField(entries.TargetPosition, -static_cast<double>(app.AppliedMinPos),
                        app.AppliedMaxPos, "Target position\xEF\xBC\x8Cinput overrun\n"))) {
        return check;
    }
    StepTestFields fields;
    fields.PositionTestMaxSpeed = LeadingInt32(entries.MaxSpeed);
    fields.PositionTestDegrees = static_cast<float>(LeadingDouble(entries.TargetPosition));
    fields.PositionTestAcceleration = LeadingInt32(entries.Acceleration);
    fields.PositionTestTarget = PositionTargetCounts(
        fields.PositionTestDegrees, state.OneLoopEncoderValue, state.ReductionRatio);
    check.Fields = fields;
    return check;
}

void StoreStepTestCheck(const StepTestCheck& check, DriveState& state) {
    if (check.Gains) StoreLoopGains(state.Params.Loop, check.Test, *check.Gains);
    if (!check.Fields) return;
    const StepTestFields& f = *check.Fields;
    switch (check.Test) {
        case LoopTest::Current:
            state.CurrentTestType = f.CurrentTestType;
            state.CurrentTestAmplitude = f.CurrentTestAmplitude;
            state.CurrentTestFrequency = f.CurrentTestFrequency;
            break;
        case LoopTest::Speed:
            state.SpeedTestSetSpeed = f.SpeedTestSetSpeed;
            break;
        case LoopTest::Position:
            state.PositionTestMaxSpeed = f.PositionTestMaxSpeed;
            state.PositionTestDegrees = f.PositionTestDegrees;
            state.PositionTestTarget = f.PositionTestTarget;
            state.PositionTestAcceleration = f.PositionTestAcceleration;
            break;
    }
}

}  // namespace torvane
