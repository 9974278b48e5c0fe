// CTorvaneDlg: the parameter commands of the menu bar and the group routines behind them. The
// sequences (reads before a page, the write of an accepted group, the New chain, the save
// reads, the store and restore commands, the preconditions) are core functions; this file
// shows the pages they run and keeps the console's Auto Update and busy state right around
// them.
#include <filesystem>
#include <system_error>

#include "app/live_preview_panel.h"
#include "app/motion_panel.h"
#include "app/torvane_dlg.h"
#include "params/driver_page.h"
#include "params/group_transfer.h"
#include "params/list_page.h"
#include "params/motor_page.h"
#include "params/parameter_download.h"
#include "params/user_def_dlg.h"
#include "session/status_display.h"

using torvane::ParamCommand;

namespace {

// Holds the console's parameter busy scope for one command.
class CommandBusy {
public:
    CommandBusy(std::optional<torvane::DriveSession::BusyScope>& slot,
                torvane::DriveSession& session)
        : slot_(slot) {
        slot_.emplace(session);
    }
    ~CommandBusy() { slot_.reset(); }
    CommandBusy(const CommandBusy&) = delete;
    CommandBusy& operator=(const CommandBusy&) = delete;

private:
    std::optional<torvane::DriveSession::BusyScope>& slot_;
};

}  // namespace

// ---- pages

CDlgFileNewMotor* CTorvaneDlg::MotorPage() {
    if (motorPage_ == nullptr) motorPage_ = new CDlgFileNewMotor(State(), Requests(), this);
    return motorPage_;
}

CDlgFileNewDriver* CTorvaneDlg::DriverPage() {
    if (driverPage_ == nullptr) driverPage_ = new CDlgFileNewDriver(State(), this);
    return driverPage_;
}

CDlgFileNewSave* CTorvaneDlg::ListPage() {
    if (listPage_ == nullptr) listPage_ = new CDlgFileNewSave(session_, this);
    return listPage_;
}

CDlgUserDef* CTorvaneDlg::CustomDialog() {
    if (customDialog_ == nullptr) customDialog_ = new CDlgUserDef(State().Params, this);
    return customDialog_;
}

int CTorvaneDlg::RunPage(const std::function<int()>& show) {
    const bool held = paramsBusy_.has_value();
    paramsBusy_.reset();
    const int result = show();
    if (held) paramsBusy_.emplace(session_);
    return result;
}

void CTorvaneDlg::SwitchAutoUpdateOffForPage() {
    if (!livePreview_->AutoUpdateTicked()) return;
    SwitchAutoUpdateOff();
    StartTimer(TimerId::kPollTimer);
}

bool CTorvaneDlg::ParamCommandAllowed(ParamCommand command) {
    torvane::ConsoleFacts facts;
    facts.PortOpen = session_.IsOpen();
    facts.MotorEnabled = fields_.MotorEnabled != 0;
    facts.AutoUpdateTicked = livePreview_->AutoUpdateTicked();
    return torvane::ParamCommandAllowed(command, facts, notices_);
}

uint8_t CTorvaneDlg::RunMotorPage(bool modify) {
    CDlgFileNewMotor* page = MotorPage();
    if (modify) {
        SwitchAutoUpdateOffForPage();
        page->MotorEnabled = fields_.MotorEnabled != 0;
    } else {
        // New starts only with the motor disabled: no flag left by a Motor command may make
        // Match answer "The motor is enabled" here.
        page->MotorEnabled = false;
    }
    page->ModifyMode = modify;
    const int result = RunPage([page] { return page->exec(); });
    if (modify) SwitchAutoUpdateOffForPage();
    return static_cast<uint8_t>(result);
}

uint8_t CTorvaneDlg::RunApplicationPage(bool modify) {
    CDlgFileNewDriver* page = DriverPage();
    // Auto Update stays as it is: while it is ticked the page can be looked at, not saved.
    // New starts only with the motor disabled and Auto Update off, so nothing left by a Driver
    // command may disable Next in the chain.
    page->MotorEnabled = modify && fields_.MotorEnabled != 0;
    page->DeviceBusy = modify && livePreview_->AutoUpdateTicked();
    page->ModifyMode = modify;
    return static_cast<uint8_t>(RunPage([page] { return page->exec(); }));
}

uint8_t CTorvaneDlg::RunLoopPage(bool modify) {
    if (modify) SwitchAutoUpdateOffForPage();
    const int result = RunPage([this, modify] { return ShowLoopPage(modify); });
    if (modify) SwitchAutoUpdateOffForPage();
    return static_cast<uint8_t>(result);
}

uint8_t CTorvaneDlg::RunCustomDialog() {
    CDlgUserDef* dialog = CustomDialog();
    dialog->ModifyMode = true;
    return static_cast<uint8_t>(RunPage([dialog] { return dialog->exec(); }));
}

uint8_t CTorvaneDlg::RunListPage(uint8_t listMode) {
    CDlgFileNewSave* page = ListPage();
    page->ListMode = static_cast<torvane::ListMode>(listMode);
    return static_cast<uint8_t>(RunPage([page] { return page->exec(); }));
}

// ---- group routines

uint8_t CTorvaneDlg::EditMotorGroup(bool modify) {
    return torvane::EditMotorGroup(
        Link(), modify, [this, modify] { return RunMotorPage(modify); }, backup_);
}

uint8_t CTorvaneDlg::EditApplicationGroup(bool modify) {
    return torvane::EditApplicationGroup(
        Link(), modify, [this, modify] { return RunApplicationPage(modify); }, backup_);
}

uint8_t CTorvaneDlg::EditLoopGroup(bool modify) {
    return torvane::EditLoopGroup(
        Link(), modify, [this, modify] { return RunLoopPage(modify); }, backup_);
}

uint8_t CTorvaneDlg::EditCustomGroup() {
    return torvane::EditCustomGroup(Link(), [this] { return RunCustomDialog(); }, backup_);
}

// ---- menu commands

void CTorvaneDlg::NewParameterSet() {
    if (!ParamCommandAllowed(ParamCommand::New)) return;
    CommandBusy busy(paramsBusy_, session_);
    torvane::NewChainPages pages;
    pages.Motor = [this] { return RunMotorPage(false); };
    pages.Application = [this] { return RunApplicationPage(false); };
    pages.Loop = [this] { return RunLoopPage(false); };
    pages.List = [this] { return RunListPage(static_cast<uint8_t>(torvane::ListMode::New)); };
    torvane::RunNewChain(Link(), backup_, pages);
}

void CTorvaneDlg::SaveParameterSet() {
    if (!ParamCommandAllowed(ParamCommand::Save)) return;
    CommandBusy busy(paramsBusy_, session_);
    // Each failed read is shown and the reads go on; the page opens with what the set holds.
    (void)torvane::ReadForSave(Link(), notices_);
    RunListPage(static_cast<uint8_t>(torvane::ListMode::Save));
}

void CTorvaneDlg::OpenParameterFile() {
    if (!ParamCommandAllowed(ParamCommand::Open)) return;
    CommandBusy busy(paramsBusy_, session_);
    ListPage()->OpenFolder.clear();
    RunListPage(static_cast<uint8_t>(torvane::ListMode::Open));
}

void CTorvaneDlg::RestoreBackup() {
    // A restore is the Open command's download of the chosen backup.
    if (!ParamCommandAllowed(ParamCommand::Open)) return;
    CommandBusy busy(paramsBusy_, session_);
    const std::string folder = ListPage()->Backups().Folder();
    if (!folder.empty()) {
        // The dialog starts there even before the first backup was made.
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    CDlgFileNewSave* page = ListPage();
    page->OpenFolder = QString::fromStdString(folder);
    page->OpenAtOnce = true;
    RunListPage(static_cast<uint8_t>(torvane::ListMode::Open));
    page->OpenFolder.clear();
}

void CTorvaneDlg::DownloadParameterSet() {
    if (!ParamCommandAllowed(ParamCommand::Download)) return;
    CommandBusy busy(paramsBusy_, session_);
    (void)torvane::StoreParameters(Link(), notices_);
}

void CTorvaneDlg::RestoreDefaultParameters() {
    if (!ParamCommandAllowed(ParamCommand::Default)) return;
    CommandBusy busy(paramsBusy_, session_);
    (void)torvane::RestoreDefaults(Link(), backup_);
}

void CTorvaneDlg::EditMotorParameters() {
    if (!ParamCommandAllowed(ParamCommand::Motor)) return;
    CommandBusy busy(paramsBusy_, session_);
    // The routine has shown a failure.
    (void)EditMotorGroup(true);
}

void CTorvaneDlg::EditDriverParameters() {
    if (!ParamCommandAllowed(ParamCommand::Driver)) return;
    CommandBusy busy(paramsBusy_, session_);
    (void)EditApplicationGroup(true);
}

void CTorvaneDlg::EditLoopParameters() {
    // The loop page's tests work with the console's encoder and ratio entries, taken whatever
    // the connection state.
    torvane::DriveState& state = State();
    state.OneLoopEncoderValue = torvane::EntryValue(motion_->EncoderValueText().toStdString());
    state.ReductionRatio = torvane::EntryValue(motion_->ReductionRatioText().toStdString());
    if (!ParamCommandAllowed(ParamCommand::LoopParameters)) return;
    CommandBusy busy(paramsBusy_, session_);
    (void)EditLoopGroup(true);
}

void CTorvaneDlg::EditCustomParameters() {
    if (!ParamCommandAllowed(ParamCommand::CustomParameters)) return;
    CommandBusy busy(paramsBusy_, session_);
    (void)EditCustomGroup();
}
