// The progress timers' ticks: matching (timer 3), the loop tests (4, 5, 6), calibration (7),
// initialisation (10) and reset (11), each as a rule (a pure function of what the tick read and
// the shared ProgressCount) and a tick that reads, applies the rule and returns what it did.
//
// ProgressCount is ConsoleState::ProgressCount, shared by timers 3, 7, 10 and 11.
//   3:  count + 1 first; read 0x2200 (a failure ends the tick silently). Match Marks 1: stop,
//       box "Match completed, Please close……！" / "Close", count 0, timer 1 again. Match Marks 2:
//       stop, count 0, timer 1 again (the box keeps what the drive-state display just wrote).
//       Otherwise count below 4: "Matching，Please wait......" / "Close"; else stop, "Match
//       timeout， Please close！" / "Close", count 0 (no timer 1).
//   4-6: read the test's status register. Failure: stop, TestState 3, "Test error, please
//       close……", the DriveError shown. Status 3: stop, "Test completed and reading data……",
//       ReadBackCapture; its failure: TestState 3, the error text, the DriveError shown, box
//       closed with 3; success: box closed with 1. Any other status: nothing. A cancelled test
//       only wrote its stop word: its timer goes on polling until status 3 or a failed read.
//   7:  read 0x2200 (failure: straight to the count). Calibrated (byte 1 = 1): stop, entry
//       "Calibrated", count 0, timer 1 again. Else count 1250 or more: stop, message "Time Out"
//       and then the entry "No calibration", count 0 (no timer 1). Else entry "Calibrating".
//       Then count + 1.
//   10: read 0x2200 (failure: straight to the count). Initialised (byte 3 = 1): stop, box
//       "Initialization is complete, please close", count 0, timer 1 again. Else count 1250 or
//       more: stop, "Initialization timed out, please close", count 0. Then count + 1.
//   11: count above 3: stop, box "Reset is complete, please close", count 0. Then count + 1.
//       No read; timer 1 stays stopped.
//
// The ticks do not look at the port: the caller ignores ticks while no port is open (the
// timers keep running). A box pointer may be null (no box open): nothing is written into it,
// everything else happens all the same.
//
// Threads: the thread that runs transactions. A tick blocks for its read (5000 ms at most,
// scaled), a loop test tick also for the capture read-back (up to 65 reads).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/drive_error.h"
#include "session/command_context.h"
#include "session/console_timers.h"
#include "session/progress_box.h"

namespace torvane {

constexpr uint16_t kMatchingPolls = 4;           // timer 3 gives up on its fourth poll
constexpr uint16_t kCalibrationPolls = 1250;     // timer 7, about 25 s at 20 ms
constexpr uint16_t kInitialisationPolls = 1250;  // timer 10, about 62.5 s at 50 ms
constexpr uint16_t kResetTicks = 3;              // timer 11 completes once the count is above

// What a tick did (or, from a rule, is to do), in the order it is applied: stop the timer; the
// message of its own shown; the box's state, text and caption; the DriveError shown; timer 1
// started; the box closed.
struct ProgressStep {
    DriveError ReadResult = kSuccess;  // the tick's read (the status read of a loop test)
    bool StopTimer = false;
    std::optional<uint8_t> BoxState;
    std::optional<std::string> Text;
    std::optional<std::string> Caption;
    DriveError ShownError = kSuccess;   // shown with ShowDriveError
    std::optional<std::string> Notice;  // a message of its own ("Time Out"), a Failure
    bool RestartPoll = false;           // timer 1 started again
    std::optional<int> CloseResult;
    bool ReadBack = false;  // loop tests: the capture was read back, with ReadBackResult
    DriveError ReadBackResult = kSuccess;
};

// The rules. Each updates `progressCount` as its timer does.
ProgressStep MatchingTickRule(DriveError read, uint8_t matchMarks, uint16_t& progressCount);
ProgressStep CalibrationTickRule(DriveError read, uint8_t calibrationState,
                                 uint16_t& progressCount);
ProgressStep InitialisationTickRule(DriveError read, uint8_t initialisationState,
                                    uint16_t& progressCount);
ProgressStep ResetTickRule(uint16_t& progressCount);
// Loop tests: the status read (ReadBack set when the capture is to be read), then the
// read-back.
ProgressStep LoopTestStatusRule(DriveError read, uint8_t status);
ProgressStep LoopTestReadBackRule(DriveError readBack);

// The ticks.
ProgressStep TickMatching(CommandContext& ctx, ProgressBox* matchingBox);
// `id`: kCurrentTestTimer, kSpeedTestTimer or kPositionTestTimer.
ProgressStep TickLoopTest(CommandContext& ctx, TimerId id, ProgressBox* testBox);
ProgressStep TickCalibration(CommandContext& ctx, ProgressBox* correctionEntry);
ProgressStep TickInitialisation(CommandContext& ctx, ProgressBox* infoBox);
ProgressStep TickReset(CommandContext& ctx, ProgressBox* infoBox);
// The tick of any progress timer (3-7, 10, 11) with the box that timer writes; nullopt for
// timers 1, 2 and 9.
std::optional<ProgressStep> TickProgress(CommandContext& ctx, TimerId id, ProgressBox* box);

// The matching box's part of the drive-state display (a successful read of 0x2200 while the box
// is open): Match Marks 1 sets MatchState 1, "Match completed,please close……！" and caption
// "close"; 2 sets MatchState 3, "Failed to match. please close……！" and "Close"; other values
// nothing. The console's OnReadReply calls it for 0x2200 with the open matching box.
void ShowMatchingOnBox(uint8_t matchMarks, ProgressBox* matchingBox);

}  // namespace torvane
