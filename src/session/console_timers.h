// The console's timers as core code names them: their ids, their periods, and the small
// interface through which commands and progress ticks start and stop them. The console
// implements it with QTimers; the command-line tool with TimerSet and a polling loop.
//
// Threads: the thread that runs the commands (the UI thread in the console).
#pragma once

#include "protocol/drive_state.h"

namespace torvane {

// There is no timer 8.
enum class TimerId : int {
    kPollTimer = 1,          // short status read
    kAutoUpdateTimer = 2,    // long status read while Auto Update is ticked
    kMatchTimer = 3,         // motor matching progress
    kCurrentTestTimer = 4,   // current loop test progress
    kSpeedTestTimer = 5,     // speed loop test progress
    kPositionTestTimer = 6,  // position loop test progress
    kCalibrationTimer = 7,   // encoder calibration progress
    kFaultRotateTimer = 9,   // next fault text
    kInitTimer = 10,         // initialisation progress after enabling
    kResetTimer = 11,        // reset progress
};

// The period of a timer in the drive's milliseconds, before the time scale (Period/PeriodMs
// scale it): 500, 50, 10000, 500, 500, 500, 20, 1000, 50, 500.
int TimerPeriod(TimerId id);

class ConsoleTimers {
public:
    virtual ~ConsoleTimers() = default;
    // Starting a timer that runs restarts its period.
    virtual void StartTimer(TimerId id) = 0;
    virtual void StopTimer(TimerId id) = 0;
    virtual bool IsActive(TimerId id) const = 0;
    // A command switches Auto Update off: clear the check mark. (SwitchAutoUpdateOff below has
    // already cleared the flag and stops timer 2.)
    virtual void ClearAutoUpdateCheck() = 0;
};

// What Enabled, Correct and Reset do when Auto Update is ticked: clear DriveState::AutoUpdate,
// clear the check mark, stop timer 2.
void SwitchAutoUpdateOff(DriveState& state, ConsoleTimers& timers);

}  // namespace torvane
