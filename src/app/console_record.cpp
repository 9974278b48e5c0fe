// CTorvaneDlg: the Live Preview's Record button. The file format and its writing are the core's
// LiveRecorder (the same as `torvane-cli record`); this file asks for the file, feeds it the
// replies the live feed shows, and ends it with the connection.
#include <QFileInfo>
#include <ctime>

#include "app/live_preview_panel.h"
#include "app/torvane_dlg.h"
#include "ui/user_prompts.h"

void CTorvaneDlg::OnRecordClicked(bool pressed) {
    if (!pressed) {
        StopRecording();
        return;
    }
    if (!session_.IsOpen()) {
        livePreview_->ShowRecording(false);
        Prompts().Notice(kPortNotOpenText);
        return;
    }
    const QString proposed = QString::fromStdString(torvane::LiveRecordFileName(std::time(nullptr)));
    QString path =
        Prompts().SaveFileNameWithDefaults("Record", "CSV File(*.csv)", proposed, "csv");
    if (path.isEmpty()) {
        livePreview_->ShowRecording(false);
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
    torvane::LiveRecordInfo info;
    info.Model = State().ModelString;
    info.Port = session_.Port().Path();
    info.Started = std::time(nullptr);
    info.PeriodMs = TimerPeriod(TimerId::kAutoUpdateTimer);
    std::string error;
    if (!recorder_.Open(path.toStdString(), info, &error)) {
        livePreview_->ShowRecording(false);
        Prompts().Notice(QString::fromStdString(error), UserPrompts::Icon::Error);
        return;
    }
    livePreview_->ShowRecording(true, 0);
    // The rows come from the live feed.
    if (!livePreview_->AutoUpdateTicked()) SetAutoUpdate(true);
}

void CTorvaneDlg::StopRecording() {
    if (livePreview_ == nullptr) return;
    if (!recorder_.IsOpen()) {
        livePreview_->ShowRecording(false);
        return;
    }
    const bool closed = recorder_.Close();
    livePreview_->ShowRecording(false);
    if (!closed) Prompts().Notice(QString::fromStdString(recorder_.Error()), UserPrompts::Icon::Error);
}

void CTorvaneDlg::RecordSample() {
    if (!recorder_.IsOpen()) return;
    if (!recorder_.Sample(State(), fields_)) {
        // The recorder has closed the file; what it holds is whole.
        livePreview_->ShowRecording(false);
        Prompts().Notice(QString::fromStdString(recorder_.Error()), UserPrompts::Icon::Error);
        return;
    }
    livePreview_->ShowRecording(true, recorder_.Samples());
}

void CTorvaneDlg::RecordFailedRead() {
    if (recorder_.IsOpen()) recorder_.FailedRead();
}
