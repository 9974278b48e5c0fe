// LoopStepTest: one step test of one loop with given gains, followed without a window, so that a
// window's timer and a command-line loop can both drive it one poll at a time.
//
// It runs what the loop page's Test button and the console's test timer run: the gains stored
// as the loop's gains in the ParameterSet and the start request (progress_requests.h: the gain
// register, the test parameters as the test's check staged them in DriveState, the start word),
// then the test timer's tick (progress_ticks.h: the status read, and at status 3 the capture read
// back) at every Poll, and the response as the page plots and judges it (step_test_analysis.h).
// Only the gain register is written, never the drive's flash.
//
// The test follows its own timer (a TimerSet of its own): the console's test timers are not
// started, so they do not poll the test beside it. Messages (a DriveError of a failed write or
// read, kTestTimedOutText) go to the context's notices; the test box's texts go nowhere.
//
// Threads: the thread that runs transactions. Start blocks for up to three writes, Poll for one
// status read and, at the end, the read-back (up to 65 reads); 5000 ms each at most, scaled.
#pragma once

#include <chrono>
#include <cstdint>

#include "protocol/drive_error.h"
#include "protocol/frame.h"
#include "session/command_context.h"
#include "session/console_timers.h"
#include "session/timer_set.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_test_kind.h"
#include "tuning/step_test_analysis.h"

namespace torvane {

// A test the drive has not reported ended after this long (drive milliseconds, scaled) fails.
constexpr int kTestLimitMs = 60000;
constexpr const char* kTestTimedOutText = "Test timed out: the drive never reported its end";

// The loop's gain register (0x2000, 0x200C, 0x2018) and its test's timer (4, 5, 6).
RegisterAddress GainRegister(LoopTest loop);
TimerId TestTimer(LoopTest loop);
// The start and stop requests of the loop's test (progress_requests.h): 0, or 1 after the
// DriveError was shown.
uint8_t StartLoopTest(LoopTest loop, CommandContext& ctx);
uint8_t StopLoopTest(LoopTest loop, CommandContext& ctx);
// Writes `gains` to the loop's gain register (nothing else: no test, no store) and, once the
// drive took them, stores them as the loop's gains in the ParameterSet. The DriveError is
// returned, not shown.
DriveError WriteLoopGains(DriveLink& link, LoopTest loop, const LoopGains& gains);

class LoopStepTest {
public:
    enum class Phase : uint8_t {
        Idle,     // not started
        Running,  // started; Poll until it ends
        Done,     // the capture was read back: Analysis() holds the response
        Failed,   // a write, a read or the time limit failed it (its message shown)
    };

    explicit LoopStepTest(LoopTest loop) : loop_(loop) {}

    // Stores `gains` and sends the start request. Running, or Failed when a write failed.
    // Starting again (after Done or Failed) runs a new test.
    Phase Start(CommandContext& ctx, const LoopGains& gains);
    // Running: one tick of the test timer. Done once the capture was read back; Failed when
    // the status read or the read-back failed, or the drive has not reported the end within
    // kTestLimitMs of the start. Other phases: nothing.
    Phase Poll(CommandContext& ctx);
    // The stop word, when a test was started and the drive has not reported its end; the
    // test is Failed then (it gave no response). 0, or 1 after the DriveError was shown.
    uint8_t Stop(CommandContext& ctx);

    Phase State() const { return phase_; }
    // The test was started and the drive has not reported its end (a stop word applies).
    bool Unfinished() const { return started_ && !ended_; }
    LoopTest Loop() const { return loop_; }
    const LoopGains& Gains() const { return gains_; }
    const StepTestAnalysis& Analysis() const { return analysis_; }

private:
    // The caller's context with the test's own timers.
    CommandContext Own(CommandContext& ctx) {
        return {ctx.Port, ctx.Link, ctx.Console, ctx.Notices, timers_};
    }

    LoopTest loop_;
    TimerSet timers_;
    Phase phase_ = Phase::Idle;
    bool started_ = false;
    bool ended_ = false;  // the drive reported status 3, or the stop word was sent
    LoopGains gains_;
    std::chrono::steady_clock::time_point deadline_{};
    StepTestAnalysis analysis_;
};

}  // namespace torvane
