#include "session/motion_commands.h"

#include <string>

#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "session/motion_setpoints.h"
#include "session/motion_texts.h"

namespace torvane {

namespace {

bool PortOpen(CommandContext& ctx) {
    if (ctx.Port.PortOpen()) return true;
    ctx.Notices.Failure(kSerialPortNotOpenText);
    return false;
}

CommandResult Refuse(CommandContext& ctx, const char* text) {
    ctx.Notices.Failure(text);
    return {CommandStatus::Refused, kSuccess};
}

CommandResult Fail(CommandContext& ctx, DriveError e) {
    ShowDriveError(ctx.Notices, e);
    return {CommandStatus::Failed, e};
}

CommandResult NotOpen() {
    return {CommandStatus::Refused, kSuccess};
}

CommandResult WriteWord(CommandContext& ctx, uint16_t word) {
    ctx.Console.LastControlWord = word;
    if (const DriveError e = WriteControlWord(ctx.Link, word)) return Fail(ctx, e);
    return {};
}

CommandResult RunWithDirection(CommandContext& ctx, const MotionEntries& entries, int direction,
                               bool checkRatio) {
    if (!PortOpen(ctx)) return NotOpen();
    if (!ctx.Console.MotorEnabled) return Refuse(ctx, kMotorNotEnabledText);
    MotionFields& motion = ctx.Motion();
    motion.WorkMode = static_cast<uint8_t>(entries.WorkModeIndex);
    DriveError sent = kSuccess;
    switch (motion.WorkMode) {
        case 0:
            sent = SendCurrentSetpoint(ctx, entries, direction);
            break;
        case 1:
            sent = SendSpeedSetpoint(ctx, entries, direction);
            break;
        case 2:
            sent = SendPositionSetpoint(ctx, entries, direction);
            break;
        default:
            // No set-point goes out, but the run word still does.
            ctx.Notices.Failure(kInvalidWorkModeText);
            break;
    }
    if (sent == kCheckFailed) return {CommandStatus::Refused, kSuccess};
    if (sent != kSuccess) return Fail(ctx, sent);
    if (checkRatio) {
        ctx.Console.RatioInput = EntryAsNumber(entries.ReductionRatio);
        std::string band;
        if (CheckRange(entries.ReductionRatio, 0, 5001, band) == 2) {
            ctx.Notices.Failure(kRatioRunOverrunText + band, NoticeIcon::Error);
            return {CommandStatus::Refused, kSuccess};
        }
    }
    return WriteWord(ctx, control::kRun);
}

CommandResult StopWith(CommandContext& ctx, uint16_t word) {
    if (!PortOpen(ctx)) return NotOpen();
    if (!ctx.Console.MotorEnabled) return Refuse(ctx, kMotorNotEnabledText);
    return WriteWord(ctx, word);
}

// Reset and Correct leave both status polls stopped while their progress runs.
void StopStatusPolling(CommandContext& ctx) {
    if (ctx.State().AutoUpdate) {
        SwitchAutoUpdateOff(ctx.State(), ctx.Timers);
        ctx.Timers.StartTimer(TimerId::kPollTimer);
    }
    ctx.Timers.StopTimer(TimerId::kPollTimer);
}

}  // namespace

namespace motion {

WorkModeSelection SelectWorkMode(CommandContext& ctx, int index) {
    if (!PortOpen(ctx)) return {NotOpen(), std::nullopt, {}};
    ctx.Motion().WorkMode = static_cast<uint8_t>(index);
    if (ctx.Console.MotorEnabled) return {};
    const std::optional<WorkModeSetpoint> setpoint = WorkModeSetpointFor(index);
    if (!setpoint) return {Refuse(ctx, kInvalidWorkModeText), std::nullopt, {}};
    if (const DriveError e = ctx.Link.ReadRegister(setpoint->Address, setpoint->Count)) {
        return {Fail(ctx, e), std::nullopt, {}};
    }
    return {{},
            setpoint->Enabling,
            ShowSetpointReply(setpoint->Address, ctx.Motion(), ctx.State(), ctx.Console)};
}

CommandResult Enabled(CommandContext& ctx, int workModeIndex) {
    return ctx.Console.MotorEnabled ? Disable(ctx) : Enable(ctx, workModeIndex);
}

CommandResult Enable(CommandContext& ctx, int workModeIndex) {
    if (!PortOpen(ctx)) return NotOpen();
    if (ctx.State().Params.Matching.MatchMarks == 0) return Refuse(ctx, kMotorNotMatchedText);
    if (const DriveError e = ctx.Link.ReadRegister(reg::kMatchingGroup, size::kMatchingGroup)) {
        return Fail(ctx, e);
    }
    if (const DriveError e = WriteWorkMode(ctx.Link, workModeIndex)) return Fail(ctx, e);
    if (const CommandResult r = WriteWord(ctx, control::kEnable); !r.Succeeded()) return r;
    if (ctx.State().Params.Matching.HallDirection == 1) return {};  // already initialised
    if (ctx.State().AutoUpdate) SwitchAutoUpdateOff(ctx.State(), ctx.Timers);
    ctx.Timers.StopTimer(TimerId::kPollTimer);
    ctx.Timers.StartTimer(TimerId::kInitTimer);
    return {CommandStatus::OpenInfoBox, kSuccess};
}

CommandResult Disable(CommandContext& ctx) {
    if (!PortOpen(ctx)) return NotOpen();
    return WriteWord(ctx, control::kDisable);
}

CommandResult Run(CommandContext& ctx, const MotionEntries& entries) {
    return RunWithDirection(ctx, entries, +1, true);
}

CommandResult Inversion(CommandContext& ctx, const MotionEntries& entries) {
    return RunWithDirection(ctx, entries, -1, false);
}

CommandResult Stop(CommandContext& ctx) {
    return StopWith(ctx, control::kStop);
}

CommandResult EmergencyStop(CommandContext& ctx) {
    return StopWith(ctx, control::kEmergencyStop);
}

CommandResult Reset(CommandContext& ctx) {
    // No port check: without a port the write itself fails and says so.
    StopStatusPolling(ctx);
    if (const DriveError e = ctx.Link.WriteRegister(reg::kReset, 0)) return Fail(ctx, e);
    ctx.Timers.StartTimer(TimerId::kResetTimer);
    return {CommandStatus::OpenInfoBox, kSuccess};
}

CommandResult Correct(CommandContext& ctx, ProgressBox& correctionEntry) {
    if (!PortOpen(ctx)) return NotOpen();
    if (ctx.Console.MotorEnabled) return Refuse(ctx, kMotorIsEnabledText);
    StopStatusPolling(ctx);
    // A refused calibration command is shown, and the state read still follows: the drive
    // may be calibrating already.
    if (const DriveError e = ctx.Link.WriteRegister(reg::kEncoderCalibration, 0)) {
        ShowDriveError(ctx.Notices, e);
    }
    if (const DriveError e = ctx.Link.ReadRegister(reg::kLiveStatus, LongStatusSize(ctx.State()))) {
        return Fail(ctx, e);
    }
    correctionEntry.SetText(kCalibrationStartedText);
    ctx.Console.ProgressCount = 0;
    ctx.Timers.StartTimer(TimerId::kCalibrationTimer);
    return {};
}

CommandResult EliminateMalfunction(CommandContext& ctx) {
    if (!PortOpen(ctx)) return NotOpen();
    if (const DriveError e =
            ctx.Link.WriteRegister(reg::kClearFaults, PackClearFaults(ctx.Link.Payload()))) {
        return Fail(ctx, e);
    }
    ctx.State().StatusFaultWord = 0;
    return {};
}

}  // namespace motion
}  // namespace torvane
