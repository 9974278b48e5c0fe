// CTorvaneDlg: the status polling: what each console timer tick does, the short and long
// status reads, the fault text rotation, Auto Update and Get Results.
#include <QLabel>

#include "app/live_preview_panel.h"
#include "app/torvane_dlg.h"
#include "app/waveform_panel.h"
#include "protocol/fault_texts.h"
#include "protocol/register_map.h"
#include "session/status_display.h"
#include "ui/user_prompts.h"

namespace reg = torvane::reg;
namespace size = torvane::size;
using torvane::DriveError;

void CTorvaneDlg::TimerTick(TimerId id) {
    // Ticks are ignored while no port is open; the timers themselves keep running.
    if (!session_.IsOpen()) return;
    if (id == TimerId::kFaultRotateTimer) {
        TickFaultRotate();
        return;
    }
    // A tick that arrives while a command's transactions are under way (inside the event loop
    // of a message box it shows) waits for the next period instead of nesting a transaction.
    if (session_.Busy()) return;
    switch (id) {
        case TimerId::kPollTimer:
            TickPoll();
            break;
        case TimerId::kAutoUpdateTimer:
            TickAutoUpdate();
            break;
        case TimerId::kMatchTimer:
        case TimerId::kCurrentTestTimer:
        case TimerId::kSpeedTestTimer:
        case TimerId::kPositionTestTimer:
        case TimerId::kCalibrationTimer:
        case TimerId::kInitTimer:
        case TimerId::kResetTimer:
            TickProgressTimer(id);
            break;
        case TimerId::kFaultRotateTimer:
            break;
    }
}

void CTorvaneDlg::TickPoll() {
    torvane::DriveSession::BusyScope busy(session_);
    if (session_.Read(reg::kLiveStatus, size::kLiveStatusShort) != 0) {
        StopTimer(TimerId::kPollTimer);
        Prompts().Notice(kPollFailedText);
    }
}

void CTorvaneDlg::TickAutoUpdate() {
    torvane::DriveSession::BusyScope busy(session_);
    const DriveError e = session_.Read(reg::kLiveStatus, torvane::LongStatusSize(State()));
    if (e != 0) {
        RecordFailedRead();
        StopTimer(TimerId::kAutoUpdateTimer);
        livePreview_->SetAutoUpdateTicked(false);
        State().AutoUpdate = 0;
        ShowDriveError(e);
    }
}

void CTorvaneDlg::TickFaultRotate() {
    if (const std::string* text = torvane::NextFaultText(fields_)) {
        panes_[kFaultPane]->setText(QString::fromStdString(*text));
    }
}

void CTorvaneDlg::SwitchAutoUpdateOff() {
    // The flag, the box and the live timer go together: a box left ticked over a cleared flag
    // would poll long reads that show nothing.
    State().AutoUpdate = 0;
    livePreview_->SetAutoUpdateTicked(false);
    StopTimer(TimerId::kAutoUpdateTimer);
}

void CTorvaneDlg::SetAutoUpdate(bool ticked) {
    livePreview_->SetAutoUpdateTicked(ticked);
    OnAutoUpdateClicked();
}

void CTorvaneDlg::OnAutoUpdateClicked() {
    if (!session_.IsOpen()) {
        livePreview_->SetAutoUpdateTicked(false);
        Prompts().Notice(kPortNotOpenText);
        return;
    }
    if (livePreview_->AutoUpdateTicked()) {
        State().AutoUpdate = 1;
        StopTimer(TimerId::kPollTimer);
        StartTimer(TimerId::kAutoUpdateTimer);
    } else {
        State().AutoUpdate = 0;
        StopTimer(TimerId::kAutoUpdateTimer);
        StartTimer(TimerId::kPollTimer);
    }
}

void CTorvaneDlg::GetResults() {
    if (!session_.IsOpen()) {
        Prompts().Notice(kPortNotOpenText);
        return;
    }
    torvane::DriveSession::BusyScope busy(session_);
    const DriveError e = session_.Read(reg::kMatchingGroup, size::kMatchingGroup);
    if (e != 0) {
        ShowDriveError(e);
        return;
    }
    if (State().Params.Matching.HallLineSequence == 1) {
        waveform_->ShowTestState(torvane::kFinishedTestText);
        StartTimer(TimerId::kPollTimer);
    } else {
        waveform_->ShowTestState("testing");
    }
}
