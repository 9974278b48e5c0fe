#include "session/motion_rules.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "session/motion_texts.h"

namespace torvane {

namespace {

// printf-style text, so numbers read exactly as "%d" and "%g" print them.
std::string Format(const char* format, ...) {
    char buffer[64];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

}  // namespace

float EntryAsNumber(const std::string& text) {
    return static_cast<float>(LeadingDouble(text));
}

int32_t EntryAsInteger(const std::string& text) {
    return static_cast<int32_t>(std::clamp<int64_t>(LeadingInteger(text), INT32_MIN, INT32_MAX));
}

std::optional<WorkModeSetpoint> WorkModeSetpointFor(int mode) {
    switch (mode) {
        case 0:
            return WorkModeSetpoint{
                reg::kCurrentSetpoint, size::kCurrentSetpoint, {.Current = true}};
        case 1:
            return WorkModeSetpoint{
                reg::kSpeedSetpoint, size::kSpeedSetpoint, {.Speed = true, .SetpointExtra = true}};
        case 2:
            // The Position entry stays disabled: it shows what UpdateAnglePulses computed.
            return WorkModeSetpoint{
                reg::kPositionSetpoint,
                size::kPositionSetpoint,
                {.Speed = true, .PositionType = true, .Angle = true, .SetpointExtra = true}};
        default:
            return std::nullopt;
    }
}

SetpointDisplay ShowSetpointReply(RegisterAddress address, const MotionFields& motion,
                                  const DriveState& state, ConsoleState& console) {
    SetpointDisplay shown;
    switch (address) {
        case reg::kCurrentSetpoint:
            shown.Current = Format("%g", static_cast<double>(motion.CurrentSetpoint));
            break;
        case reg::kSpeedSetpoint: {
            float rpm = CountsToRpm(motion.SpeedSetpoint, state.CountsPerRev);
            rpm = rpm >= 0 ? rpm + 0.5f : rpm - 0.5f;
            console.SpeedSetpointRpm = rpm;
            shown.Speed = Format("%d", SaturateToI32(rpm));
            shown.PhaseCurrent = Format("%g", static_cast<double>(state.PhaseCurrent));
            shown.BusVoltage = Format("%g", static_cast<double>(state.BusVoltage));
            break;
        }
        case reg::kPositionSetpoint:
            shown.PositionTypeIndex = motion.PositionType > 1 ? -1 : motion.PositionType;
            shown.Position = Format("%d", motion.PositionSetpoint);
            shown.Speed = Format("%d", motion.PositionSpeed);
            break;
        default:
            break;
    }
    return shown;
}

int32_t UpdateAnglePulses(const std::string& angle, const std::string& encoderValue,
                          const std::string& reductionRatio, ConsoleState& console,
                          DriveState& state, MotionFields& motion) {
    console.AngleInput = EntryAsNumber(angle);
    console.EncoderInput = EntryAsNumber(encoderValue);
    state.OneLoopEncoderValue = console.EncoderInput;
    console.RatioInput = EntryAsNumber(reductionRatio);
    // The product in single precision and in this order, the division in double: the drive's
    // users compare pulse counts with what they have always been shown.
    float pulses = console.AngleInput * console.EncoderInput;
    pulses = pulses * console.RatioInput;
    motion.PositionSetpoint = SaturateToI32(static_cast<double>(pulses) / 360.0);
    return motion.PositionSetpoint;
}

bool CheckReductionRatio(const std::string& reductionRatio, ConsoleState& console,
                         NoticeSink& notices) {
    console.RatioInput = EntryAsNumber(reductionRatio);
    std::string band;
    if (CheckRange(reductionRatio, 0, 5001, band) == 2) {
        notices.Failure(kRatioChangeOverrunText + band, NoticeIcon::Error);
        return false;
    }
    return true;
}

std::optional<ControlWordDisplay> ShowControlWordReply(ConsoleState& console) {
    if (console.LastControlWord == control::kEnable) {
        console.MotorEnabled = 1;
        return ControlWordDisplay{kEnableButtonDisableCaption, false};
    }
    if (console.LastControlWord == control::kDisable) {
        console.MotorEnabled = 0;
        return ControlWordDisplay{kEnableButtonEnableCaption, true};
    }
    return std::nullopt;
}

}  // namespace torvane
