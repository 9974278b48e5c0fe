#include "session/progress_ticks.h"

#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "session/motion_texts.h"

namespace torvane {

namespace {

void Apply(CommandContext& ctx, TimerId id, const ProgressStep& step, ProgressBox* box) {
    if (step.StopTimer) ctx.Timers.StopTimer(id);
    // "Time Out" is read while the entry still says "Calibrating"; "No calibration" follows.
    if (step.Notice) ctx.Notices.Failure(*step.Notice);
    if (box != nullptr) {
        if (step.BoxState) box->SetState(*step.BoxState);
        if (step.Text) box->SetText(*step.Text);
        if (step.Caption) box->SetCaption(*step.Caption);
    }
    ShowDriveError(ctx.Notices, step.ShownError);
    if (step.RestartPoll) ctx.Timers.StartTimer(TimerId::kPollTimer);
    if (box != nullptr && step.CloseResult) box->Close(*step.CloseResult);
}

DriveError ReadMatchingGroup(CommandContext& ctx) {
    return ctx.Link.ReadRegister(reg::kMatchingGroup, size::kMatchingGroup);
}

struct LoopTestRegisters {
    RegisterAddress Status;
    RegisterAddress Length;
};

LoopTestRegisters RegistersOf(TimerId id) {
    switch (id) {
        case TimerId::kSpeedTestTimer:
            return {reg::kSpeedTestStatus, reg::kSpeedTestLength};
        case TimerId::kPositionTestTimer:
            return {reg::kPositionTestStatus, reg::kPositionTestLength};
        default:
            return {reg::kCurrentTestStatus, reg::kCurrentTestLength};
    }
}

uint8_t StatusOf(const DriveState& state, TimerId id) {
    switch (id) {
        case TimerId::kSpeedTestTimer:
            return state.SpeedTestStatus;
        case TimerId::kPositionTestTimer:
            return state.PositionTestStatus;
        default:
            return state.CurrentTestStatus;
    }
}

}  // namespace

ProgressStep MatchingTickRule(DriveError read, uint8_t matchMarks, uint16_t& progressCount) {
    ProgressStep step;
    step.ReadResult = read;
    ++progressCount;
    if (read != kSuccess) return step;  // silent; the next tick tries again
    if (matchMarks == 1) {
        step.StopTimer = true;
        step.Text = kMatchingDoneText;
        step.Caption = kMatchingBoxCloseCaption;
        progressCount = 0;
        step.RestartPoll = true;
    } else if (matchMarks == 2) {
        step.StopTimer = true;
        progressCount = 0;
        // The drive answered and matching is over: the status poll shows its state and the
        // faults a failed match may have left, as after a completed match.
        step.RestartPoll = true;
    } else if (progressCount < kMatchingPolls) {
        step.Text = kMatchingWaitText;
        step.Caption = kMatchingBoxCloseCaption;
    } else {
        step.StopTimer = true;
        step.Text = kMatchingTimeOutText;
        step.Caption = kMatchingBoxCloseCaption;
        progressCount = 0;
    }
    return step;
}

ProgressStep CalibrationTickRule(DriveError read, uint8_t calibrationState,
                                 uint16_t& progressCount) {
    ProgressStep step;
    step.ReadResult = read;
    if (read == kSuccess) {
        if (calibrationState == 1) {
            step.StopTimer = true;
            step.Text = kCalibratedText;
            progressCount = 0;
            step.RestartPoll = true;
        } else if (progressCount >= kCalibrationPolls) {
            step.StopTimer = true;
            step.Notice = kCalibrationTimeOutText;
            step.Text = kNoCalibrationText;
            progressCount = 0;
        } else {
            step.Text = kCalibratingText;
        }
    }
    ++progressCount;  // every tick counts, a failed read too
    return step;
}

ProgressStep InitialisationTickRule(DriveError read, uint8_t initialisationState,
                                    uint16_t& progressCount) {
    ProgressStep step;
    step.ReadResult = read;
    if (read == kSuccess) {
        if (initialisationState == 1) {
            step.StopTimer = true;
            step.Text = kInitialisedText;
            progressCount = 0;
            step.RestartPoll = true;
        } else if (progressCount >= kInitialisationPolls) {
            step.StopTimer = true;
            step.Text = kInitialisationTimedOutText;
            progressCount = 0;
        }
    }
    ++progressCount;
    return step;
}

ProgressStep ResetTickRule(uint16_t& progressCount) {
    ProgressStep step;
    if (progressCount > kResetTicks) {
        step.StopTimer = true;
        step.Text = kResetCompleteText;
        progressCount = 0;
    }
    ++progressCount;
    return step;
}

ProgressStep LoopTestStatusRule(DriveError read, uint8_t status) {
    ProgressStep step;
    step.ReadResult = read;
    if (read != kSuccess) {
        step.StopTimer = true;
        step.BoxState = 3;
        step.Text = kTestErrorText;
        step.ShownError = read;
    } else if (status == 3) {
        step.StopTimer = true;
        step.Text = kTestReadingText;
        step.ReadBack = true;
    }
    return step;
}

ProgressStep LoopTestReadBackRule(DriveError readBack) {
    ProgressStep step;
    step.ReadBack = true;
    step.ReadBackResult = readBack;
    if (readBack != kSuccess) {
        step.BoxState = 3;
        step.Text = kTestErrorText;
        // Shown like every failed transaction: the box closes at once, and without the
        // message the user would not know why the test gave no data.
        step.ShownError = readBack;
        step.CloseResult = 3;
    } else {
        step.CloseResult = 1;
    }
    return step;
}

ProgressStep TickMatching(CommandContext& ctx, ProgressBox* matchingBox) {
    // The drive-state display of the read (ShowMatchingOnBox) runs inside the read, before the
    // rule: on a failed match the box keeps what it wrote.
    const DriveError read = ReadMatchingGroup(ctx);
    ProgressStep step =
        MatchingTickRule(read, ctx.State().Params.Matching.MatchMarks, ctx.Console.ProgressCount);
    Apply(ctx, TimerId::kMatchTimer, step, matchingBox);
    return step;
}

ProgressStep TickLoopTest(CommandContext& ctx, TimerId id, ProgressBox* testBox) {
    const LoopTestRegisters regs = RegistersOf(id);
    const DriveError read = ctx.Link.ReadRegister(regs.Status, size::kTestStatus);
    ProgressStep step = LoopTestStatusRule(read, StatusOf(ctx.State(), id));
    Apply(ctx, id, step, testBox);
    if (!step.ReadBack) return step;
    const ProgressStep done = LoopTestReadBackRule(ctx.Link.ReadBackCapture(regs.Length));
    Apply(ctx, id, done, testBox);
    // One record of the whole tick: the status read's result, the last text, the close.
    step.ReadBackResult = done.ReadBackResult;
    if (done.BoxState) step.BoxState = done.BoxState;
    if (done.Text) step.Text = done.Text;
    step.ShownError = done.ShownError;
    step.CloseResult = done.CloseResult;
    return step;
}

ProgressStep TickCalibration(CommandContext& ctx, ProgressBox* correctionEntry) {
    const DriveError read = ReadMatchingGroup(ctx);
    ProgressStep step = CalibrationTickRule(read, ctx.State().Params.Matching.GraviationSequence,
                                            ctx.Console.ProgressCount);
    Apply(ctx, TimerId::kCalibrationTimer, step, correctionEntry);
    return step;
}

ProgressStep TickInitialisation(CommandContext& ctx, ProgressBox* infoBox) {
    const DriveError read = ReadMatchingGroup(ctx);
    ProgressStep step = InitialisationTickRule(read, ctx.State().Params.Matching.HallDirection,
                                               ctx.Console.ProgressCount);
    Apply(ctx, TimerId::kInitTimer, step, infoBox);
    return step;
}

ProgressStep TickReset(CommandContext& ctx, ProgressBox* infoBox) {
    ProgressStep step = ResetTickRule(ctx.Console.ProgressCount);
    Apply(ctx, TimerId::kResetTimer, step, infoBox);
    return step;
}

std::optional<ProgressStep> TickProgress(CommandContext& ctx, TimerId id, ProgressBox* box) {
    switch (id) {
        case TimerId::kMatchTimer:
            return TickMatching(ctx, box);
        case TimerId::kCurrentTestTimer:
        case TimerId::kSpeedTestTimer:
        case TimerId::kPositionTestTimer:
            return TickLoopTest(ctx, id, box);
        case TimerId::kCalibrationTimer:
            return TickCalibration(ctx, box);
        case TimerId::kInitTimer:
            return TickInitialisation(ctx, box);
        case TimerId::kResetTimer:
            return TickReset(ctx, box);
        case TimerId::kPollTimer:
        case TimerId::kAutoUpdateTimer:
        case TimerId::kFaultRotateTimer:
            break;
    }
    return std::nullopt;
}

void ShowMatchingOnBox(uint8_t matchMarks, ProgressBox* matchingBox) {
    if (matchingBox == nullptr) return;
    if (matchMarks == 1) {
        matchingBox->SetState(1);
        matchingBox->SetText(kMatchCompletedText);
        matchingBox->SetCaption(kMatchingCompletedCaption);
    } else if (matchMarks == 2) {
        matchingBox->SetState(3);
        matchingBox->SetText(kMatchFailedText);
        matchingBox->SetCaption(kMatchingBoxCloseCaption);
    }
}

}  // namespace torvane
