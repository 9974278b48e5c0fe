#include "session/progress_requests.h"

#include "protocol/register_map.h"
#include "session/motion_setpoints.h"

namespace torvane {

namespace {

// 0 when `e` is success; else shows it and gives 1.
uint8_t Outcome(CommandContext& ctx, DriveError e) {
    if (e == kSuccess) return 0;
    ShowDriveError(ctx.Notices, e);
    return 1;
}

// The three writes of a loop test start, each packed just before it is sent (the payload area
// is reused by every write); the timer starts only after all of them succeeded.
template <class PackGains, class PackParams>
uint8_t StartLoopTest(CommandContext& ctx, RegisterAddress gainsRegister, PackGains packGains,
                      RegisterAddress paramsRegister, PackParams packParams, uint16_t startWord,
                      TimerId timer) {
    DriveLink& link = ctx.Link;
    if (const DriveError e = link.WriteRegister(gainsRegister, packGains(link.Payload()))) {
        return Outcome(ctx, e);
    }
    if (const DriveError e = link.WriteRegister(paramsRegister, packParams(link.Payload()))) {
        return Outcome(ctx, e);
    }
    if (const DriveError e = WriteControlWord(link, startWord)) return Outcome(ctx, e);
    ctx.Timers.StartTimer(timer);
    return 0;
}

}  // namespace

uint8_t StartMotorMatch(CommandContext& ctx) {
    DriveLink& link = ctx.Link;
    if (const DriveError e = link.WriteRegister(
            reg::kMotorGroup, PackMotorGroup(link.Payload(), ctx.State().Params.Motor))) {
        return Outcome(ctx, e);
    }
    if (const DriveError e = WriteControlWord(link, control::kStartMatching)) {
        return Outcome(ctx, e);
    }
    ctx.Timers.StopTimer(TimerId::kPollTimer);
    ctx.Console.ProgressCount = 0;
    ctx.Timers.StartTimer(TimerId::kMatchTimer);
    return 0;
}

uint8_t CancelMotorMatch(CommandContext& ctx) {
    (void)ctx;  // matching goes on; timer 3 follows it to its end
    return 0;
}

uint8_t StartCurrentLoopTest(CommandContext& ctx) {
    const DriveState& s = ctx.State();
    const LoopGroup& loop = s.Params.Loop;
    return StartLoopTest(
        ctx, reg::kCurrentLoopGains,
        [&](uint8_t* p) {
            return PackLoopGains(p, loop.CurrentLoopP, loop.CurrentLoopI, loop.CurrentLoopD);
        },
        reg::kCurrentTestParams,
        [&](uint8_t* p) {
            return PackCurrentTest(p, s.CurrentTestType, s.CurrentTestAmplitude,
                                   s.CurrentTestFrequency);
        },
        control::kStartCurrentTest, TimerId::kCurrentTestTimer);
}

uint8_t StopCurrentLoopTest(CommandContext& ctx) {
    return Outcome(ctx, WriteControlWord(ctx.Link, control::kStopCurrentTest));
}

uint8_t StartSpeedLoopTest(CommandContext& ctx) {
    const DriveState& s = ctx.State();
    const LoopGroup& loop = s.Params.Loop;
    return StartLoopTest(
        ctx, reg::kSpeedLoopGains,
        [&](uint8_t* p) {
            return PackLoopGains(p, loop.SpeedLoopP, loop.SpeedLoopI, loop.SpeedLoopD);
        },
        reg::kSpeedTestParams, [&](uint8_t* p) { return PackSpeedTest(p, s.SpeedTestSetSpeed); },
        control::kStartSpeedTest, TimerId::kSpeedTestTimer);
}

uint8_t StopSpeedLoopTest(CommandContext& ctx) {
    return Outcome(ctx, WriteControlWord(ctx.Link, control::kStopSpeedTest));
}

uint8_t StartPositionLoopTest(CommandContext& ctx) {
    const DriveState& s = ctx.State();
    const LoopGroup& loop = s.Params.Loop;
    return StartLoopTest(
        ctx, reg::kPositionLoopGains,
        [&](uint8_t* p) {
            return PackLoopGains(p, loop.PositionLoopP, loop.PositionLoopI, loop.PositionLoopD);
        },
        reg::kPositionTestParams,
        [&](uint8_t* p) {
            return PackPositionTest(p, s.PositionTestAcceleration, s.PositionTestMaxSpeed,
                                    s.PositionTestTarget);
        },
        control::kStartPositionTest, TimerId::kPositionTestTimer);
}

uint8_t StopPositionLoopTest(CommandContext& ctx) {
    return Outcome(ctx, WriteControlWord(ctx.Link, kStopPositionTestWord));
}

}  // namespace torvane
