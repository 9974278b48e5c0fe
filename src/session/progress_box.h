// ProgressBox: "the progress box that is open", as the console's commands and progress timers
// write into it. The Info box implements SetText; the motor page's matching box SetText,
// SetCaption (its button) and SetState (MatchState); the loop page's test box SetText,
// SetState (TestState) and Close. The calibration timer writes the Position Correction entry
// through the same interface (SetText only). The command-line tool prints the texts.
//
// Callers pass nullptr where no box is open: nothing is written then, and the timer behind it
// goes on all the same.
//
// Threads: the thread that runs the commands and ticks (the UI thread in the console).
#pragma once

#include <cstdint>
#include <string>

namespace torvane {

class ProgressBox {
public:
    virtual ~ProgressBox() = default;
    // The box's one message line.
    virtual void SetText(const std::string& text) = 0;
    // The caption of the box's button (matching box); others ignore it.
    virtual void SetCaption(const std::string& caption) { (void)caption; }
    // MatchState of the matching box (1 completed, 2 matching, 3 failed) or TestState of the
    // test box (2 running, 3 failed); others ignore it.
    virtual void SetState(uint8_t state) { (void)state; }
    // Ends the box's modal run with `result` (test box: 1 completed, 3 failed); others ignore it.
    virtual void Close(int result) { (void)result; }
};

}  // namespace torvane
