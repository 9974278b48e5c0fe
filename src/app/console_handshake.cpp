// CTorvaneDlg: the connection handshake, the reply display of every register and the status
// polling commands (Auto Update, Get Results).
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdarg>
#include <cstdio>

#include "app/torvane_dlg.h"
#include "ui/user_prompts.h"
#include "protocol/fault_texts.h"
#include "protocol/register_map.h"

using torvane::DriveError;
using torvane::RegisterAddress;
namespace reg = torvane::reg;
namespace size = torvane::size;

namespace {

// printf-style text, so numbers read exactly as "%d" and "%g" print them.
QString Format(const char* format, ...) {
    char buffer[64];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return QString::fromLatin1(buffer);
}

// Keeps ticks from starting transactions while a command's transactions (or a message box
// shown between them) are in progress: a message box runs its own event loop, in which timer
// ticks would otherwise start a transaction inside another.
class BusyScope {
public:
    explicit BusyScope(int& busy) : busy_(busy) { ++busy_; }
    ~BusyScope() { --busy_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& busy_;
};

}  // namespace

void CTorvaneDlg::ShowDriveError(DriveError code) {
    if (const char* text = torvane::DriveErrorText(code)) Prompts().Notice(QString::fromUtf8(text));
}

float CTorvaneDlg::EntryNumber(QLineEdit* edit) const {
    return static_cast<float>(torvane::LeadingDouble(edit->text().toStdString()));
}

DriveError CTorvaneDlg::Read(RegisterAddress address, uint8_t count) {
    const DriveError result = link_.ReadRegister(address, count);
    // The entry is taken for every read reply, an error reply included (the engine calls the
    // display only for a successful one).
    if (result > torvane::kDeviceNoResponse) EncoderInput = EntryNumber(encoderValueEdit_);
    return result;
}

DriveError CTorvaneDlg::ReadDriveSetup() {
    const std::pair<RegisterAddress, uint8_t> reads[] = {
        {reg::kLiveStatus, torvane::LongStatusSize(state_)},
        {reg::kCanSettings, size::kCanSettings},
        {reg::kWorkMode, size::kWorkModeRead},
        {reg::kMotorGroup, size::kMotorGroup},
        {reg::kMatchingGroup, size::kMatchingGroup},
        {reg::kApplicationGroup, size::kApplicationGroup},
        {reg::kDriveLimits, size::kDriveLimits},
    };
    for (const auto& [address, count] : reads) {
        if (const DriveError e = Read(address, count)) return e;
    }
    return 0;
}

DriveError CTorvaneDlg::ConnectHandshake() {
    BusyScope busy(busy_);
    // Polling of an earlier connection must not run into a handshake that fails.
    StopTimer(TimerId::kPollTimer);

    DriveError e = Read(reg::kIdentification, size::kIdentification);
    if (e == 0) {
        SwitchAutoUpdateOff();
        e = ReadDriveSetup();
        if (e == 0) e = Read(reg::kMatchingGroup, size::kMatchingGroup);
    }
    if (e != 0) {
        ShowDriveError(e);
        return e;
    }

    ShowTestAndCalibrationStates(torvane::kFinishedTestHandshakeText);
    StartTimer(TimerId::kPollTimer);
    return 0;
}

DriveError CTorvaneDlg::ShortHandshake() {
    BusyScope busy(busy_);
    StopTimer(TimerId::kPollTimer);

    DriveError e = Read(reg::kIdentification, size::kIdentification);
    if (e != 0) return e;
    SwitchAutoUpdateOff();
    // The Open button's reads, without its second drive-state read.
    e = ReadDriveSetup();
    if (e != 0) return e;
    StartTimer(TimerId::kPollTimer);
    return 0;
}

void CTorvaneDlg::SwitchAutoUpdateOff() {
    // The flag, the box and the live timer go together: a box left ticked over a cleared flag
    // would poll long reads that show nothing.
    state_.AutoUpdate = 0;
    autoUpdateCheck_->setChecked(false);
    StopTimer(TimerId::kAutoUpdateTimer);
}

void CTorvaneDlg::OnAutoUpdateClicked() {
    if (!port_.PortOpen()) {
        autoUpdateCheck_->setChecked(false);
        Prompts().Notice(kPortNotOpenText);
        return;
    }
    if (autoUpdateCheck_->isChecked()) {
        state_.AutoUpdate = 1;
        StopTimer(TimerId::kPollTimer);
        StartTimer(TimerId::kAutoUpdateTimer);
    } else {
        state_.AutoUpdate = 0;
        StopTimer(TimerId::kAutoUpdateTimer);
        StartTimer(TimerId::kPollTimer);
    }
}

void CTorvaneDlg::GetResults() {
    if (!port_.PortOpen()) {
        Prompts().Notice(kPortNotOpenText);
        return;
    }
    BusyScope busy(busy_);
    const DriveError e = Read(reg::kMatchingGroup, size::kMatchingGroup);
    if (e != 0) {
        ShowDriveError(e);
        return;
    }
    if (state_.Params.Matching.HallLineSequence == 1) {
        testStateEdit_->setText(torvane::kFinishedTestText);
        StartTimer(TimerId::kPollTimer);
    } else {
        testStateEdit_->setText("testing");
    }
}

void CTorvaneDlg::TickPoll() {
    BusyScope busy(busy_);
    if (Read(reg::kLiveStatus, size::kLiveStatusShort) != 0) {
        StopTimer(TimerId::kPollTimer);
        Prompts().Notice(kPollFailedText);
    }
}

void CTorvaneDlg::TickAutoUpdate() {
    BusyScope busy(busy_);
    const DriveError e = Read(reg::kLiveStatus, torvane::LongStatusSize(state_));
    if (e != 0) {
        StopTimer(TimerId::kAutoUpdateTimer);
        autoUpdateCheck_->setChecked(false);
        state_.AutoUpdate = 0;
        ShowDriveError(e);
    }
}

void CTorvaneDlg::OnReadReply(RegisterAddress address) {
    EncoderInput = EntryNumber(encoderValueEdit_);
    switch (address) {
        case reg::kCanSettings:
            ShowCanReply();
            break;
        case reg::kLiveStatus:
            ShowStatusReply();
            break;
        case reg::kIdentification:
            panes_[kModelPane]->setText(QString::fromLatin1(state_.ModelString));
            break;
        case reg::kMatchingGroup:
            ShowDriveStateReply();
            break;
        case reg::kWorkMode:
            ShowWorkModeReply();
            break;
        case reg::kCurrentSetpoint:
            currentEdit_->setText(Format("%g", motion_.CurrentSetpoint));
            break;
        case reg::kSpeedSetpoint: {
            float rpm = torvane::CountsToRpm(motion_.SpeedSetpoint, state_.CountsPerRev);
            rpm = rpm >= 0 ? rpm + 0.5f : rpm - 0.5f;
            SpeedSetpointRpm = rpm;
            speedEdit_->setText(Format("%d", torvane::SaturateToI32(rpm)));
            phaseCurrentEdit_->setText(Format("%g", state_.PhaseCurrent));
            busbarVoltageEdit_->setText(Format("%g", state_.BusVoltage));
            break;
        }
        case reg::kPositionSetpoint:
            positionTypeCombo_->setCurrentIndex(motion_.PositionType > 1 ? -1
                                                                         : motion_.PositionType);
            positionEdit_->setText(Format("%d", motion_.PositionSetpoint));
            speedEdit_->setText(Format("%d", motion_.PositionSpeed));
            break;
        default:
            break;
    }
}

void CTorvaneDlg::OnWriteReply(RegisterAddress address) {
    if (address == reg::kClearFaults) {
        state_.StatusFaultWord = 0;
        // The console has no field of its own for this text; the fault pane shows it until
        // the next status read or rotation step.
        panes_[kFaultPane]->setText(torvane::kFaultsClearedText);
    } else if (address == reg::kControlWord) {
        if (LastControlWord == torvane::control::kEnable) {
            enabledButton_->setText(torvane::kEnableButtonDisableCaption);
            workModeCombo_->setEnabled(false);
            MotorEnabled = 1;
        } else if (LastControlWord == torvane::control::kDisable) {
            enabledButton_->setText(torvane::kEnableButtonEnableCaption);
            workModeCombo_->setEnabled(true);
            MotorEnabled = 0;
        }
    }
}

void CTorvaneDlg::ShowCanReply() {
    canAddressEdit_->setText(Format("%d", state_.CanAddressCode + 140));
    if (state_.CanBaudCode == 4) {
        canBaudCombo_->setCurrentIndex(0);
    } else if (state_.CanBaudCode == 5) {
        canBaudCombo_->setCurrentIndex(1);
    } else {
        Prompts().Notice(torvane::kWrongCanBaudText);
    }
}

void CTorvaneDlg::ShowStatusReply() {
    if (state_.MotorState == 0) {
        panes_[kMotorStatePane]->setText(torvane::kMotorDisabledText);
        workModeCombo_->setEnabled(true);
        MotorEnabled = 0;
    } else if (state_.MotorState == 1 || state_.MotorState == 2) {
        panes_[kMotorStatePane]->setText(torvane::kMotorEnabledText);
        workModeCombo_->setEnabled(false);
        MotorEnabled = 1;
    }

    FaultWord = state_.StatusFaultWord;
    if (FaultWord != ShownFaultWord) {
        FaultTextIndex = 0;
        StopTimer(TimerId::kFaultRotateTimer);
        DecodeFaultWord(FaultWord);
        ShownFaultWord = FaultWord;
    }

    if (state_.AutoUpdate == 0) return;
    motorTemperatureEdit_->setText(Format("%d", state_.MotorTemperature));
    currentSpeedEdit_->setText(Format("%d", state_.LiveSpeed));
    motorPositionEdit_->setText(Format("%d", state_.LivePosition));
    phaseCurrentEdit_->setText(Format("%g", state_.PhaseCurrent));
    busbarVoltageEdit_->setText(Format("%g", state_.BusVoltage));

    // A zero ratio or encoder value has no quotient: the figures then read 0.
    RatioInput = EntryNumber(reductionRatioEdit_);
    OutputAxisPosition =
        RatioInput == 0.0f
            ? 0
            : torvane::SaturateToI32(static_cast<float>(state_.LivePosition) / RatioInput);
    outputAxisPositionEdit_->setText(Format("%d", OutputAxisPosition));
    if (EncoderInput == 0.0f) {
        OutputAxisAngle = 0.0f;
    } else {
        const float turns = static_cast<float>(OutputAxisPosition) / EncoderInput;
        OutputAxisAngle = static_cast<float>(static_cast<double>(turns) * 360.0);
    }
    outputAxisAngleEdit_->setText(Format("%.5f", OutputAxisAngle));
    AppendSample();
}

void CTorvaneDlg::DecodeFaultWord(uint16_t word) {
    FaultTexts.clear();
    if (word == 0) {
        panes_[kFaultPane]->setText(torvane::kNoFaultText);
        return;
    }
    for (const std::string& text : torvane::DecodeFaultWord(word)) {
        FaultTexts << QString::fromUtf8(text);
    }
    FaultTextCount = static_cast<int32_t>(FaultTexts.size());
    if (!FaultTexts.isEmpty()) StartTimer(TimerId::kFaultRotateTimer);
}

void CTorvaneDlg::TickFaultRotate() {
    if (FaultTexts.isEmpty()) return;
    if (FaultTextIndex < 0 || FaultTextIndex >= FaultTexts.size()) FaultTextIndex = 0;
    panes_[kFaultPane]->setText(FaultTexts[FaultTextIndex]);
    ++FaultTextIndex;
    if (FaultTextIndex >= FaultTextCount) FaultTextIndex = 0;
}

void CTorvaneDlg::ShowWorkModeReply() {
    const uint8_t mode = motion_.WorkMode;
    // A mode the list does not hold leaves no item selected.
    workModeCombo_->setCurrentIndex(mode > 2 ? -1 : mode);
    if (mode > 2) {
        Prompts().Notice(torvane::kInvalidWorkModeText);
        return;
    }
    currentEdit_->setEnabled(mode == 0);
    speedEdit_->setEnabled(mode != 0);
    positionEdit_->setEnabled(mode == 2);
    positionTypeCombo_->setEnabled(mode == 2);
    if (mode == 0) {
        currentEdit_->setText(Format("%g", motion_.CurrentSetpoint));
    } else if (mode == 1) {
        speedEdit_->setText(Format("%d", motion_.SpeedSetpoint));
    } else {
        positionTypeCombo_->setCurrentIndex(motion_.PositionType > 1 ? -1 : motion_.PositionType);
        positionEdit_->setText(Format("%d", motion_.PositionSetpoint));
        speedEdit_->setText(Format("%d", motion_.PositionSpeed));
    }
}

void CTorvaneDlg::ShowDriveStateReply() {
    // The matching box belongs to the motor page, which a later part of the program adds; the
    // box's texts are written from here once it exists.
    ShowTestAndCalibrationStates(torvane::kFinishedTestText);
}

void CTorvaneDlg::ShowTestAndCalibrationStates(const char* finishedTestText) {
    const auto& matching = state_.Params.Matching;
    if (matching.HallLineSequence == 1) {
        testStateEdit_->setText(finishedTestText);
    } else if (matching.HallLineSequence == 0) {
        testStateEdit_->setText(torvane::kNotTestedText);
    }
    if (matching.GraviationSequence == 1) {
        positionCorrectionEdit_->setText(torvane::kCalibratedText);
    } else if (matching.GraviationSequence == 0) {
        positionCorrectionEdit_->setText(torvane::kNotCalibratedText);
    }
}
