#include "tuning/loop_step_test.h"

#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/progress_requests.h"
#include "session/progress_ticks.h"

namespace torvane {

RegisterAddress GainRegister(LoopTest loop) {
    switch (loop) {
        case LoopTest::Current:
            return reg::kCurrentLoopGains;
        case LoopTest::Speed:
            return reg::kSpeedLoopGains;
        case LoopTest::Position:
            break;
    }
    return reg::kPositionLoopGains;
}

TimerId TestTimer(LoopTest loop) {
    switch (loop) {
        case LoopTest::Current:
            return TimerId::kCurrentTestTimer;
        case LoopTest::Speed:
            return TimerId::kSpeedTestTimer;
        case LoopTest::Position:
            break;
    }
    return TimerId::kPositionTestTimer;
}

uint8_t StartLoopTest(LoopTest loop, CommandContext& ctx) {
    switch (loop) {
        case LoopTest::Current:
            return StartCurrentLoopTest(ctx);
        case LoopTest::Speed:
            return StartSpeedLoopTest(ctx);
        case LoopTest::Position:
            break;
    }
    return StartPositionLoopTest(ctx);
}

uint8_t StopLoopTest(LoopTest loop, CommandContext& ctx) {
    switch (loop) {
        case LoopTest::Current:
            return StopCurrentLoopTest(ctx);
        case LoopTest::Speed:
            return StopSpeedLoopTest(ctx);
        case LoopTest::Position:
            break;
    }
    return StopPositionLoopTest(ctx);
}

DriveError WriteLoopGains(DriveLink& link, LoopTest loop, const LoopGains& gains) {
    const DriveError e =
        link.WriteRegister(GainRegister(loop), PackLoopGains(link.Payload(), gains.P, gains.I, gains.D));
    if (e == kSuccess) StoreLoopGains(link.State().Params.Loop, loop, gains);
    return e;
}

LoopStepTest::Phase LoopStepTest::Start(CommandContext& ctx, const LoopGains& gains) {
    gains_ = gains;
    started_ = false;
    ended_ = false;
    timers_.StopTimer(TestTimer(loop_));
    // The start request writes the loop's gains from the ParameterSet, as after a Test
    // button's check.
    StoreLoopGains(ctx.State().Params.Loop, loop_, gains);
    CommandContext own = Own(ctx);
    if (StartLoopTest(loop_, own) != 0) {
        // The start word may have reached the drive before its reply was lost: a stop word
        // is still in order.
        started_ = true;
        phase_ = Phase::Failed;
        return phase_;
    }
    started_ = true;
    deadline_ = std::chrono::steady_clock::now() + Period(kTestLimitMs);
    phase_ = Phase::Running;
    return phase_;
}

LoopStepTest::Phase LoopStepTest::Poll(CommandContext& ctx) {
    if (phase_ != Phase::Running) return phase_;
    CommandContext own = Own(ctx);
    const TimerId timer = TestTimer(loop_);
    const ProgressStep step = TickLoopTest(own, timer, nullptr);
    if (step.ReadResult != kSuccess) {
        phase_ = Phase::Failed;
    } else if (step.ReadBack) {
        ended_ = true;
        if (step.ReadBackResult != kSuccess) {
            phase_ = Phase::Failed;
        } else {
            analysis_ = AnalyseStepTest(loop_, ctx.State());
            phase_ = Phase::Done;
        }
    } else if (std::chrono::steady_clock::now() > deadline_) {
        timers_.StopTimer(timer);
        ctx.Notices.Failure(kTestTimedOutText);
        phase_ = Phase::Failed;
    }
    return phase_;
}

uint8_t LoopStepTest::Stop(CommandContext& ctx) {
    if (!Unfinished()) return 0;
    timers_.StopTimer(TestTimer(loop_));
    phase_ = Phase::Failed;
    ended_ = true;  // one stop word is enough
    CommandContext own = Own(ctx);
    return StopLoopTest(loop_, own);
}

}  // namespace torvane
