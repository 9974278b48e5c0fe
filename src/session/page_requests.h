// PageRequests: what the motor page and the loop page ask of the console. The console
// implements it and hands it to the pages it opens; the pages never talk to the drive for
// matching and tests themselves, and never include the console.
//
// The start and stop requests are those of progress_requests.h, run by the console on its own
// session, timers and notices: each returns 0 on success and 1 after it has shown a DriveError.
//
// A page registers the progress box it shows (the matching box, the test box) for the time it is
// open, so the console's progress timers write into it: SetOpenBox(kind, &box) right before the
// box's modal run, SetOpenBox(kind, nullptr) right after it. While no box of a kind is open the
// timers behind it go on and write nowhere. The test box is registered under the test it shows:
// a cancelled test's timer goes on polling, and when that test ends while the box shows another
// test, its tick must neither close that box nor mark it failed.
//
// Threads: UI thread; a request blocks for its transactions (5000 ms each at most, scaled), and
// RunWithContext for those of its work.
#pragma once

#include <cstdint>
#include <functional>

#include "session/command_context.h"
#include "session/progress_box.h"

namespace torvane {

enum class ProgressBoxKind { Matching, CurrentLoopTest, SpeedLoopTest, PositionLoopTest };

class PageRequests {
public:
    virtual ~PageRequests() = default;
    virtual uint8_t StartMotorMatch() = 0;
    virtual uint8_t CancelMotorMatch() = 0;
    virtual uint8_t StartCurrentLoopTest() = 0;
    virtual uint8_t StopCurrentLoopTest() = 0;
    virtual uint8_t StartSpeedLoopTest() = 0;
    virtual uint8_t StopSpeedLoopTest() = 0;
    virtual uint8_t StartPositionLoopTest() = 0;
    virtual uint8_t StopPositionLoopTest() = 0;
    virtual void SetOpenBox(ProgressBoxKind kind, ProgressBox* box) = 0;
    // Runs `work` (core code: the loop page's auto-tune, one tick at a time) on the console's
    // command context (its session, notices and timers) while the session counts as busy.
    virtual void RunWithContext(const std::function<void(CommandContext&)>& work) = 0;
};

}  // namespace torvane
