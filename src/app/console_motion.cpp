// CTorvaneDlg: the motion commands (Motion Control group, Correct, the hidden Emergency Stop
// and Eliminate Malfunction) and the CAN Setting button. The commands, their checks, texts and
// frames are core functions (torvane::motion, can_settings.h); here the console hands them its
// entries and shows what they return.
#include "app/can_panel.h"
#include "app/info_box.h"
#include "app/live_preview_panel.h"
#include "app/motion_panel.h"
#include "app/torvane_dlg.h"
#include "app/waveform_panel.h"
#include "protocol/number_text.h"
#include "session/can_settings.h"
#include "session/motion_commands.h"

using torvane::CommandContext;
using torvane::CommandResult;
using torvane::CommandStatus;
using BusyScope = torvane::DriveSession::BusyScope;

namespace {

std::string Std(const QString& text) {
    return text.toStdString();
}

}  // namespace

void CTorvaneDlg::ConnectMotionCommands() {
    connect(motion_, &MotionPanel::WorkModeChanged, this,
            [this](int index) { OnWorkModeChanged(index); });
    connect(motion_, &MotionPanel::EnabledClicked, this, [this] { Enabled(); });
    connect(motion_, &MotionPanel::RunClicked, this, [this] { Run(); });
    connect(motion_, &MotionPanel::InversionClicked, this, [this] { Inversion(); });
    connect(motion_, &MotionPanel::StopClicked, this, [this] { Stop(); });
    connect(motion_, &MotionPanel::EmergencyStopClicked, this, [this] { EmergencyStop(); });
    connect(motion_, &MotionPanel::ResetClicked, this, [this] { Reset(); });
    connect(motion_, &MotionPanel::ReductionRatioTextChanged, this,
            [this](const QString& text) { OnReductionRatioChanged(text); });
    // A focus-out, so it runs before the command of a button the focus moves to.
    for (auto signal : {&MotionPanel::AngleFocusLost, &MotionPanel::ReductionRatioFocusLost,
                        &MotionPanel::EncoderValueFocusLost}) {
        connect(motion_, signal, this, [this] { UpdateAnglePulses(); });
    }
    connect(livePreview_, &LivePreviewPanel::CorrectClicked, this, [this] { Correct(); });
    connect(waveform_, &WaveformPanel::EliminateMalfunctionClicked, this,
            [this] { EliminateMalfunction(); });
    connect(can_, &CanPanel::SettingClicked, this, [this] { WriteCanSettings(); });
}

torvane::MotionEntries CTorvaneDlg::MotionEntriesOfWindow() const {
    torvane::MotionEntries e;
    e.WorkModeIndex = motion_->WorkModeIndex();
    e.Current = Std(motion_->CurrentText());
    e.Speed = Std(motion_->SpeedText());
    e.ReductionRatio = Std(motion_->ReductionRatioText());
    e.EncoderValue = Std(motion_->EncoderValueText());
    e.PositionTypeIndex = motion_->PositionTypeIndex();
    e.Angle = Std(motion_->AngleText());
    e.Position = Std(motion_->PositionText());
    e.SetpointExtra = Std(waveform_->SetpointExtraText());
    return e;
}

void CTorvaneDlg::ApplyEnabling(const torvane::SetpointEnabling& enabling) {
    motion_->ApplyEnabling(enabling);
    waveform_->SetSetpointExtraEnabled(enabling.SetpointExtra);
}

void CTorvaneDlg::OnWorkModeChanged(int index) {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    // The set-point read shows its values through OnReadReply; the enabling follows it.
    const torvane::WorkModeSelection selection = torvane::motion::SelectWorkMode(ctx, index);
    if (selection.Enabling) ApplyEnabling(*selection.Enabling);
}

void CTorvaneDlg::Enabled() {
    CommandResult result;
    {
        BusyScope busy(session_);
        CommandContext ctx = Context();
        result = torvane::motion::Enabled(ctx, motion_->WorkModeIndex());
    }
    // The initialisation timer writes into the box: nothing may count as busy while it is open.
    if (result.Status == CommandStatus::OpenInfoBox) infoBox_->Open();
}

void CTorvaneDlg::Run() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::motion::Run(ctx, MotionEntriesOfWindow());
}

void CTorvaneDlg::Inversion() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::motion::Inversion(ctx, MotionEntriesOfWindow());
}

void CTorvaneDlg::Stop() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::motion::Stop(ctx);
}

void CTorvaneDlg::EmergencyStop() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::motion::EmergencyStop(ctx);
}

void CTorvaneDlg::Reset() {
    CommandResult result;
    {
        BusyScope busy(session_);
        CommandContext ctx = Context();
        result = torvane::motion::Reset(ctx);
    }
    if (result.Status == CommandStatus::OpenInfoBox) infoBox_->Open();
}

void CTorvaneDlg::Correct() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::motion::Correct(ctx, correctionBox_);
}

void CTorvaneDlg::EliminateMalfunction() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::motion::EliminateMalfunction(ctx);
}

void CTorvaneDlg::OnReductionRatioChanged(const QString& text) {
    BusyScope busy(session_);
    torvane::CheckReductionRatio(Std(text), fields_, notices_);
}

void CTorvaneDlg::UpdateAnglePulses() {
    const int32_t pulses =
        torvane::UpdateAnglePulses(Std(motion_->AngleText()), Std(motion_->EncoderValueText()),
                                   Std(motion_->ReductionRatioText()), fields_, State(), Motion());
    motion_->ShowPosition(QString::fromStdString(torvane::FormatD(pulses)));
}

void CTorvaneDlg::WriteCanSettings() {
    BusyScope busy(session_);
    CommandContext ctx = Context();
    torvane::WriteCanSettings(ctx, Std(can_->AddressText()), can_->BaudIndex());
}
