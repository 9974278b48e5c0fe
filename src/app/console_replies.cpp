// CTorvaneDlg: what the window shows for each reply (status, identification, CAN settings,
// work mode, set-points, drive states, control word and fault clearing confirmations). The
// rules are core functions; this file puts their texts into the panels and panes.
#include <QLabel>

#include "app/can_panel.h"
#include "app/live_preview_panel.h"
#include "app/motion_panel.h"
#include "app/torvane_dlg.h"
#include "app/waveform_panel.h"
#include "protocol/fault_texts.h"
#include "protocol/number_text.h"
#include "protocol/register_map.h"
#include "session/can_settings.h"
#include "session/motion_rules.h"
#include "session/progress_ticks.h"
#include "session/status_display.h"
#include "session/wave_parameter.h"
#include "ui/user_prompts.h"

using torvane::DriveError;
using torvane::RegisterAddress;
namespace reg = torvane::reg;

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A list index for a code, none (-1) for a code the list does not hold.
int ItemFor(uint8_t code, int items) {
    return code < items ? code : -1;
}

}  // namespace

void CTorvaneDlg::ShowDriveError(DriveError code) {
    if (const char* text = torvane::DriveErrorText(code)) Prompts().Notice(QString::fromUtf8(text));
}

float CTorvaneDlg::EncoderEntryValue() const {
    return torvane::EntryValue(motion_->EncoderValueText().toStdString());
}

void CTorvaneDlg::OnErrorReply(RegisterAddress, bool read) {
    // Every read reply takes the One-Loop Encoder Value entry, an error reply included.
    if (read) fields_.EncoderInput = EncoderEntryValue();
}

void CTorvaneDlg::OnReadReply(RegisterAddress address) {
    fields_.EncoderInput = EncoderEntryValue();
    const torvane::DriveState& state = State();
    switch (address) {
        case reg::kCanSettings:
            ShowCanReply();
            break;
        case reg::kLiveStatus:
            ShowStatusReply();
            break;
        case reg::kIdentification:
            panes_[kModelPane]->setText(QString::fromLatin1(state.ModelString));
            break;
        case reg::kMatchingGroup:
            ShowDriveStateReply();
            break;
        case reg::kWorkMode:
            ShowWorkModeReply();
            break;
        case reg::kCurrentSetpoint:
        case reg::kSpeedSetpoint:
        case reg::kPositionSetpoint:
            ShowSetpoints(torvane::ShowSetpointReply(address, Motion(), state, fields_));
            break;
        default:
            break;
    }
}

void CTorvaneDlg::OnWriteReply(RegisterAddress address) {
    if (address == reg::kClearFaults) {
        State().StatusFaultWord = 0;
        // The console has no field of its own for this text; the fault pane shows it until
        // the next status read or rotation step.
        panes_[kFaultPane]->setText(torvane::kFaultsClearedText);
    } else if (address == reg::kControlWord) {
        // Only a confirmed enable or disable changes the window (by LastControlWord).
        if (const auto shown = torvane::ShowControlWordReply(fields_)) {
            motion_->SetEnabledCaption(QString::fromStdString(shown->EnabledButtonCaption));
            motion_->SetWorkModeEnabled(shown->WorkModeComboEnabled);
        }
    }
}

void CTorvaneDlg::ShowSetpoints(const torvane::SetpointDisplay& shown) {
    if (shown.Current) motion_->ShowCurrent(Text(*shown.Current));
    if (shown.Speed) motion_->ShowSpeed(Text(*shown.Speed));
    if (shown.PositionTypeIndex) motion_->ShowPositionType(*shown.PositionTypeIndex);
    if (shown.Position) motion_->ShowPosition(Text(*shown.Position));
    if (shown.PhaseCurrent) livePreview_->ShowPhaseCurrent(Text(*shown.PhaseCurrent));
    if (shown.BusVoltage) livePreview_->ShowBusVoltage(Text(*shown.BusVoltage));
}

void CTorvaneDlg::ShowCanReply() {
    const torvane::DriveState& state = State();
    can_->ShowAddress(Text(torvane::CanAddressText(state.CanAddressCode)));
    if (const std::optional<int> item = torvane::CanBaudItem(state.CanBaudCode)) {
        can_->ShowBaudIndex(*item);
    } else {
        Prompts().Notice(torvane::kWrongCanBaudText);
    }
}

void CTorvaneDlg::ShowStatusReply() {
    const torvane::DriveState& state = State();
    if (torvane::TakeMotorState(fields_, state.MotorState)) {
        panes_[kMotorStatePane]->setText(torvane::MotorStateText(state.MotorState));
        motion_->SetWorkModeEnabled(fields_.MotorEnabled == 0);
    }

    const torvane::FaultWordOutcome faults = torvane::TakeFaultWord(fields_, state.StatusFaultWord);
    if (faults.Changed) StopTimer(TimerId::kFaultRotateTimer);
    if (faults.ShowNoError) panes_[kFaultPane]->setText(torvane::kNoFaultText);
    if (faults.StartRotation) StartTimer(TimerId::kFaultRotateTimer);

    if (state.AutoUpdate == 0) return;
    livePreview_->ShowLiveValues(torvane::LiveStatusTextsOf(state));
    fields_.RatioInput = torvane::EntryValue(motion_->ReductionRatioText().toStdString());
    torvane::TakeOutputAxis(fields_, state.LivePosition);
    livePreview_->ShowOutputAxis(Text(torvane::OutputAxisPositionText(fields_)),
                                 Text(torvane::OutputAxisAngleText(fields_)));
    AppendSample();
    RecordSample();
}

void CTorvaneDlg::ShowWorkModeReply() {
    const torvane::MotionFields& motion = Motion();
    const uint8_t mode = motion.WorkMode;
    // A mode the list does not hold leaves no item selected.
    motion_->ShowWorkMode(ItemFor(mode, 3));
    if (mode > 2) {
        Prompts().Notice(torvane::kInvalidWorkModeText);
        return;
    }
    motion_->SetSetpointEntriesEnabled(mode == 0, mode != 0, mode == 2);
    if (mode == 0) {
        motion_->ShowCurrent(Text(torvane::FormatG(motion.CurrentSetpoint)));
    } else if (mode == 1) {
        motion_->ShowSpeed(Text(torvane::FormatD(motion.SpeedSetpoint)));
    } else {
        motion_->ShowPositionType(ItemFor(motion.PositionType, 2));
        motion_->ShowPosition(Text(torvane::FormatD(motion.PositionSetpoint)));
        motion_->ShowSpeed(Text(torvane::FormatD(motion.PositionSpeed)));
    }
}

void CTorvaneDlg::ShowDriveStateReply() {
    // The motor page's matching box, while it is open, first.
    torvane::ShowMatchingOnBox(State().Params.Matching.MatchMarks,
                               requests_.OpenBox(torvane::ProgressBoxKind::Matching));
    ShowTestAndCalibrationStates(torvane::kFinishedTestText);
}

void CTorvaneDlg::ShowTestAndCalibrationStates(const char* finishedTestText) {
    const auto& matching = State().Params.Matching;
    if (matching.HallLineSequence == 1) {
        waveform_->ShowTestState(finishedTestText);
    } else if (matching.HallLineSequence == 0) {
        waveform_->ShowTestState(torvane::kNotTestedText);
    }
    if (matching.GraviationSequence == 1) {
        livePreview_->ShowPositionCorrection(torvane::kCalibratedText);
    } else if (matching.GraviationSequence == 0) {
        livePreview_->ShowPositionCorrection(torvane::kNotCalibratedText);
    }
}

void CTorvaneDlg::AppendSample() {
    if (const std::optional<double> value =
            torvane::WaveSample(fields_.WaveParameter, State(), fields_)) {
        sampleSeries_->AppendValue(*value, QString(), 0xFF);
    }
}
