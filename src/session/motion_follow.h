// Following a progress timer to its end without a window, for the command-line tool: the same
// tick rules as the console's timers (progress_ticks.h), run in a loop that sleeps the timer's
// period on the time seam between ticks.
//
// Call right after the command that started the timer (Enable returning OpenInfoBox: timer 10;
// Correct: timer 7; Reset: timer 11), with ctx.Timers a TimerSet or another implementation that
// reports IsActive. Each returns when the tick rule stops the timer (at once when it does not
// run), or when the port is no longer open (then "Device no response" is shown). A drive that
// stops answering keeps the loop going, as it keeps the console's timer going: each failed read
// waits out its 5000 ms, and the count moves on.
//
// Threads: the thread that runs transactions; blocks for the whole follow (initialisation up
// to about 62.5 s, calibration about 25 s, reset 2.5 s, plus the reads; all scaled).
#pragma once

#include <string>

#include "session/command_context.h"
#include "session/progress_box.h"

namespace torvane {

struct FollowResult {
    // Initialisation: "Initialization is complete, please close" (not the time-out);
    // calibration: "Calibrated" (not "Time Out"); reset: "Reset is complete, please close".
    bool Completed = false;
    std::string Text;  // the last text the box (or entry) was given; empty when none
};

FollowResult FollowInitialisation(CommandContext& ctx, ProgressBox* infoBox);
FollowResult FollowCalibration(CommandContext& ctx, ProgressBox* correctionEntry);
FollowResult FollowReset(CommandContext& ctx, ProgressBox* infoBox);

}  // namespace torvane
