// CTorvaneDlg: what each console timer tick does.
#include "app/torvane_dlg.h"

void CTorvaneDlg::TimerTick(TimerId id) {
    // Ticks are ignored while no port is open; the timers themselves keep running.
    if (!port_.PortOpen()) return;
    if (id == TimerId::kFaultRotateTimer) {
        TickFaultRotate();
        return;
    }
    // A tick that arrives while a command's transactions are under way (inside the event loop
    // of a message box it shows) waits for the next period instead of nesting a transaction.
    if (busy_ > 0) return;
    switch (id) {
        case TimerId::kPollTimer:
            TickPoll();
            break;
        case TimerId::kAutoUpdateTimer:
            TickAutoUpdate();
            break;
        // Matching, test, calibration, initialisation and reset progress are followed by the
        // motion and parameter parts of the console; their timers are reserved here.
        case TimerId::kMatchTimer:
        case TimerId::kCurrentTestTimer:
        case TimerId::kSpeedTestTimer:
        case TimerId::kPositionTestTimer:
        case TimerId::kCalibrationTimer:
        case TimerId::kInitTimer:
        case TimerId::kResetTimer:
        case TimerId::kFaultRotateTimer:
            break;
    }
}
