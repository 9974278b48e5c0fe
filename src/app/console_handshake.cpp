// CTorvaneDlg: the two connection handshakes, as read sequences run by the session.
#include "app/torvane_dlg.h"
#include "protocol/fault_texts.h"
#include "session/handshake.h"

using torvane::DriveError;

DriveError CTorvaneDlg::ConnectHandshake() {
    torvane::DriveSession::BusyScope busy(session_);
    // Polling of an earlier connection must not run into a handshake that fails.
    StopTimer(TimerId::kPollTimer);
    const DriveError e =
        session_.RunReads(torvane::kConnectHandshake, [this] { SwitchAutoUpdateOff(); });
    if (e != 0) {
        ShowDriveError(e);
        return e;
    }
    ShowTestAndCalibrationStates(torvane::kFinishedTestHandshakeText);
    StartTimer(TimerId::kPollTimer);
    return 0;
}

DriveError CTorvaneDlg::ShortHandshake() {
    torvane::DriveSession::BusyScope busy(session_);
    StopTimer(TimerId::kPollTimer);
    const DriveError e =
        session_.RunReads(torvane::kShortHandshake, [this] { SwitchAutoUpdateOff(); });
    if (e != 0) return e;
    StartTimer(TimerId::kPollTimer);
    return 0;
}
