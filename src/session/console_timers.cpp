#include "session/console_timers.h"

namespace torvane {

int TimerPeriod(TimerId id) {
    switch (id) {
        case TimerId::kPollTimer:
            return 500;
        case TimerId::kAutoUpdateTimer:
            return 50;
        case TimerId::kMatchTimer:
            return 10000;
        case TimerId::kCurrentTestTimer:
        case TimerId::kSpeedTestTimer:
        case TimerId::kPositionTestTimer:
            return 500;
        case TimerId::kCalibrationTimer:
            return 20;
        case TimerId::kFaultRotateTimer:
            return 1000;
        case TimerId::kInitTimer:
            return 50;
        case TimerId::kResetTimer:
            return 500;
    }
    return 0;
}

void SwitchAutoUpdateOff(DriveState& state, ConsoleTimers& timers) {
    // Flag, box and live timer go together: a ticked box over a cleared flag would poll long
    // reads that show nothing.
    state.AutoUpdate = 0;
    timers.ClearAutoUpdateCheck();
    timers.StopTimer(TimerId::kAutoUpdateTimer);
}

}  // namespace torvane
