// CTorvaneDlg: the progress timers (matching, loop tests, calibration, initialisation, reset).
// Their tick rules are core functions; the console hands each the box it writes into.
#include "app/info_box.h"
#include "app/torvane_dlg.h"
#include "session/progress_ticks.h"

void CTorvaneDlg::TickProgressTimer(TimerId id) {
    // A tick may show a message ("Time Out", a failed test read): no other tick may start a
    // transaction from inside its message box.
    torvane::DriveSession::BusyScope busy(session_);
    torvane::CommandContext ctx = Context();
    torvane::TickProgress(ctx, id, ProgressBoxFor(id));
}

torvane::ProgressBox* CTorvaneDlg::ProgressBoxFor(TimerId id) {
    switch (id) {
        case TimerId::kMatchTimer:
            return requests_.OpenBox(torvane::ProgressBoxKind::Matching);
        // A test's box only: a cancelled test's timer that ticks while the box shows another
        // test writes nowhere (it still reads its capture back).
        case TimerId::kCurrentTestTimer:
            return requests_.OpenBox(torvane::ProgressBoxKind::CurrentLoopTest);
        case TimerId::kSpeedTestTimer:
            return requests_.OpenBox(torvane::ProgressBoxKind::SpeedLoopTest);
        case TimerId::kPositionTestTimer:
            return requests_.OpenBox(torvane::ProgressBoxKind::PositionLoopTest);
        case TimerId::kCalibrationTimer:
            return &correctionBox_;
        case TimerId::kInitTimer:
        case TimerId::kResetTimer:
            // Once the user has closed the Info box its timer goes on and writes nowhere.
            return infoBox_->IsOpen() ? infoBox_ : nullptr;
        case TimerId::kPollTimer:
        case TimerId::kAutoUpdateTimer:
        case TimerId::kFaultRotateTimer:
            break;
    }
    return nullptr;
}
