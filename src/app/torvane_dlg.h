// CTorvaneDlg: the main console. One window for the run of the program, assembled from one
// panel per group (MotionPanel, LivePreviewPanel, WaveformPanel, SerialPanel, CanPanel), the
// menu bar and the six-pane status bar. The panels own their widgets and report the user's
// actions as signals; the console holds the commands and the console's state fields
// (ConsoleState) and talks to the drive through the DriveSession it is given.
//
// Threads: everything here runs on the UI thread. Transactions block it (up to 5000 ms each,
// scaled by the time seam); port events from the reader thread reach it through the session,
// posted to the UI thread. Every message box goes through Prompts() (or Notices(), the same
// boxes for core sequences).
//
// Adding a command: connect the panel's signal to a console method in the constructor; the
// method checks Session().IsOpen() ("The serial port is not open" otherwise), holds a
// torvane::DriveSession::BusyScope while it runs its transactions and message boxes, and shows a
// failed transaction with ShowDriveError.
//
// Widgets carry object names after their role (runButton, portCombo, autoUpdateCheck, ...),
// so tests and later parts can find them.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "app/console_page_requests.h"
#include "app/entry_progress_box.h"
#include "params/parameter_backup.h"
#include "protocol/drive_link.h"
#include "protocol/drive_state.h"
#include "session/command_context.h"
#include "session/console_state.h"
#include "session/console_timers.h"
#include "session/drive_session.h"
#include "session/live_record.h"
#include "session/motion_entries.h"
#include "session/motion_rules.h"
#include "session/page_requests.h"
#include "tuning/ct_chart.h"
#include "ui/prompt_notice_sink.h"

namespace torvane {
enum class ParamCommand : uint8_t;
}

class CDlgCommCan;
class CanPanel;
class CDlgFileNewDriver;
class CDlgFileNewMotor;
class CDlgFileNewSave;
class CDlgUserDef;
class LivePreviewPanel;
class MotionPanel;
class QAction;
class QLabel;
class QMenuBar;
class QStatusBar;
class QTimer;
class SerialPanel;
class WaveformPanel;

class CTorvaneDlg : public QDialog, public torvane::ReplyHandler, public torvane::ConsoleTimers {
    Q_OBJECT

public:
    // The console timers (torvane::TimerId; there is no timer 8).
    using TimerId = torvane::TimerId;
    // The period of a timer in the drive's milliseconds (before the time scale).
    static int TimerPeriod(TimerId id) { return torvane::TimerPeriod(id); }

    // Status bar panes.
    enum Pane { kVersionPane = 0, kModelPane, kSpacerPane, kMotorStatePane, kFaultPane, kInfoPane };

    static constexpr const char* kTitle = "Kelmora GUI 2.1";
    static constexpr const char* kPortNotOpenText = "The serial port is not open";
    static constexpr const char* kPollFailedText = "Device not responding, please reconnect……";
    static constexpr const char* kCloseFailText = "Close fail";
    static constexpr const char* kDisconnectFailText = "Close the failure";
    static constexpr const char* kClosedText = "Closed";
    static constexpr const char* kPortLostText =
        "The serial port was lost. Check the cable or adapter, then open the port again.";

    // `session` holds the process-wide records; it must outlive the console.
    explicit CTorvaneDlg(torvane::DriveSession& session, QWidget* parent = nullptr);
    // Closes an open port silently (joining the worker threads) and leaves the session.
    ~CTorvaneDlg() override;

    // --- Connection (Serial Communication group and the Connection menu) ---
    // Search button: refills the port list (device paths or "null", then "Simulated drive").
    void Search();
    // Open/Close button: the Open path while the session is closed, the Close path while it
    // is open, whatever the caption reads.
    void OpenOrClose();
    // The Open path: opens the port chosen or typed and runs ConnectHandshake (blocks for it).
    // True when the port opened and the handshake succeeded.
    bool OpenPort();
    // The Close path: waits up to 1000 ms for each worker thread; "Close fail" when one did not
    // end (the controls stay as they are).
    void ClosePort();
    // Connect through the communication settings window (modal), then the short handshake;
    // a failed handshake read closes the port again.
    void ConnectWithSettings();
    // Disconnect command of the Connection menu.
    void Disconnect();
    // Puts `path` (a device path or "Simulated drive") into the port list and selects it.
    void PreselectPort(const QString& path);

    // --- Handshake and polling ---
    // The reads run right after the Open button opened the port; blocks for up to nine
    // transactions. Returns the first failure (already shown; the port stays open and nothing
    // polls) or 0 (the 500 ms poll runs).
    torvane::DriveError ConnectHandshake();
    // The reads after a connect through the settings window (no second 0x2200 read, no
    // test and calibration texts). Returns the first failure (not yet shown) or 0.
    torvane::DriveError ShortHandshake();
    // Auto Update check box clicked (the box already shows the new state).
    void OnAutoUpdateClicked();
    // Ticks or clears the box as a click does.
    void SetAutoUpdate(bool ticked);
    // Hidden Get Results button.
    void GetResults();

    // --- Waveform ---
    void OnParameterChanged(int index);
    // Selects a Parameter item (0 BLANK .. 6) as the user would.
    void SelectWaveParameter(int index);
    void ClearWaveform();
    // --- Live recording (console_record.cpp): the Live Preview's Record button ---
    // Pressed: asks for the file (proposing "Live<yyyyMMdd-HHmmss>.csv"), ticks Auto Update,
    // and from then on writes a row for each live-status reply (LiveRecorder). Released, the
    // port closed or lost: the file is closed whole. A file that cannot be created or written
    // is named in a message and the recording ends.
    void OnRecordClicked(bool pressed);
    void StopRecording();
    bool Recording() const { return recorder_.IsOpen(); }
    const torvane::LiveRecorder& Recorder() const { return recorder_; }

    // Hidden Save Data button: writes "TestData<yyyyMMddhhmm>.txt" in the working directory
    // (session/capture_file.h); a file that cannot be written is reported naming it.
    void SaveData();

    // --- Replies on screen (called by DriveLink inside a transaction, UI thread) ---
    void OnReadReply(torvane::RegisterAddress address) override;
    void OnWriteReply(torvane::RegisterAddress address) override;
    void OnErrorReply(torvane::RegisterAddress address, bool read) override;
    // Shows the message of a DriveError 0xF0..0xFF; nothing for other codes.
    static void ShowDriveError(torvane::DriveError code);

    // --- Motion commands (Motion Control group, Correct, the hidden buttons) ---
    // Each runs its core command (torvane::motion) on Context() under a BusyScope; messages
    // go to Notices(). Enabled and Reset open the Info box modally when their progress timer
    // started (after the BusyScope ended, so the timer's ticks run while it is open) and
    // return when the user closes it.
    void OnWorkModeChanged(int index);  // the user's choice only
    void Enabled();
    void Run();
    void Inversion();
    void Stop();
    void EmergencyStop();
    void Reset();
    void Correct();
    void EliminateMalfunction();
    // The Reduction Ratio entry's text changed (the range check and its message).
    void OnReductionRatioChanged(const QString& text);
    // The Angle, Reduction Ratio or One-Loop Encoder Value entry lost the focus: the Position
    // entry shows the pulses of the angle.
    void UpdateAnglePulses();
    // CAN Setting button.
    void WriteCanSettings();
    // The motion group's entries as the commands take them.
    torvane::MotionEntries MotionEntriesOfWindow() const;

    // --- Timers (torvane::ConsoleTimers over the console's QTimers) ---
    // Starting a timer that runs restarts its period.
    void StartTimer(TimerId id) override;
    void StopTimer(TimerId id) override;
    bool IsActive(TimerId id) const override { return TimerActive(id); }
    void ClearAutoUpdateCheck() override;
    bool TimerActive(TimerId id) const;
    // What a tick of `id` does (ignored while no port is open, and while a command's
    // transactions are under way); the status ticks block for their read. Tests call it
    // directly.
    void TimerTick(TimerId id);

    // --- Access for the application, later parts and tests ---
    torvane::DriveSession& Session() { return session_; }
    torvane::DriveLink& Link() { return session_.Link(); }
    torvane::DriveState& State() { return session_.State(); }
    torvane::MotionFields& Motion() { return session_.Motion(); }
    // The console's state fields (MotorEnabled, FaultTexts, WaveParameter, ...).
    torvane::ConsoleState& Fields() { return fields_; }
    // Where core sequences send their messages: the console's message boxes.
    torvane::NoticeSink& Notices() { return notices_; }
    // What core commands and ticks work with: the session's port and link, Fields(),
    // Notices() and the console's timers. Valid as long as the console.
    torvane::CommandContext Context();
    // What the motor page and the loop page ask of the console (start and stop matching and
    // the loop tests, and which of their progress boxes is open). Hand it to the pages.
    torvane::PageRequests& Requests() { return requests_; }

    // --- Loop page ---
    // Shows the loop page (CDlgFileNewPID, made on first use and kept) modally: the runner of
    // EditLoopGroup for the Loop Parameters command (modify) and the New chain's loop step.
    // Sets the page's ModifyMode, and in modify mode its MotorEnabled from the console's; the
    // caller has read the page's blocks and copied the encoder and ratio entries. The page's
    // Test buttons reach the console through Requests(); the test timers tick while the page
    // and its test box are open, even when the caller holds a BusyScope. Returns the page's
    // result: 1 accepted, 2 cancelled, 3 back. Virtual so that tests can stand in for the page.
    virtual int ShowLoopPage(bool modify);
    // The Info box (CDlgCommCan), owned by the console.
    CDlgCommCan* InfoBox() const { return infoBox_; }
    MotionPanel* MotionGroup() const { return motion_; }
    LivePreviewPanel* LivePreviewGroup() const { return livePreview_; }
    WaveformPanel* WaveformGroup() const { return waveform_; }
    SerialPanel* SerialGroup() const { return serial_; }
    CanPanel* CanGroup() const { return can_; }
    CTChart* Chart() const;
    CTChart::Series* SampleSeries() const { return sampleSeries_; }
    QString PaneText(Pane pane) const;
    QAction* ConnectAction() const { return connectAction_; }
    QAction* DisconnectAction() const { return disconnectAction_; }
    QAction* AboutAction() const { return aboutAction_; }
    // Opens the About box modally.
    void ShowAbout();

private:
    void BuildWindow();
    QMenuBar* BuildMenuBar();
    QStatusBar* BuildStatusBar();
    void BuildTimers();
    void ConnectPanels();
    void ConnectMotionCommands();

    // Search enabled, Open/Close caption and Connection menu items for the port state.
    void ShowConnected(bool connected);
    // A port event, handled by the session first (a lost port is already released).
    void OnPortEvent(torvane::PortEvent event);

    void ShowStatusReply();
    void ShowWorkModeReply();
    void ShowDriveStateReply();
    // Test and calibration texts of register 0x2200 (the handshake capitalises "Test").
    void ShowTestAndCalibrationStates(const char* finishedTestText);
    void ShowCanReply();
    void SwitchAutoUpdateOff();
    void TickPoll();
    void TickAutoUpdate();
    void TickFaultRotate();
    void AppendSample();
    void RecordSample();
    void RecordFailedRead();
    float EncoderEntryValue() const;
    void ShowSetpoints(const torvane::SetpointDisplay& shown);
    void ApplyEnabling(const torvane::SetpointEnabling& enabling);
    // A progress timer's tick (3-7, 10, 11) with the box it writes into.
    void TickProgressTimer(TimerId id);
    torvane::ProgressBox* ProgressBoxFor(TimerId id);

    torvane::DriveSession& session_;
    torvane::ConsoleState fields_;
    PromptNoticeSink notices_;
    // Before every write of the parameter set by the console's commands (the list page keeps
    // its own for its downloads): asks whether to go on when no backup can be written.
    torvane::BackupGuard backup_{notices_, torvane::WithoutBackup::Ask};
    std::array<QTimer*, 12> timers_{};
    ConsolePageRequests requests_{*this};
    // Timer 7 writes the calibration state into the Position Correction entry.
    EntryProgressBox correctionBox_;
    CDlgCommCan* infoBox_ = nullptr;

    MotionPanel* motion_ = nullptr;
    LivePreviewPanel* livePreview_ = nullptr;
    WaveformPanel* waveform_ = nullptr;
    SerialPanel* serial_ = nullptr;
    CanPanel* can_ = nullptr;
    CTChart::Series* sampleSeries_ = nullptr;
    torvane::LiveRecorder recorder_;
    QAction* connectAction_ = nullptr;
    QAction* disconnectAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    std::array<QLabel*, 6> panes_{};

    // --- Parameter sets (console_params.cpp): the File menu (new, save, open, download,
    // default), Motor, Driver, Loop Parameters and Custom Parameters. Each command checks its
    // preconditions first ("The serial port is not open"; for the File commands also "The motor
    // is enabled" and "The device is busy" while Auto Update is ticked) and shows a failed
    // transaction's message. The pages run modally; the console's timers tick while they are
    // open (a command's transactions are guarded by the busy scope, the pages are not).
public:
    void NewParameterSet();
    void SaveParameterSet();
    void OpenParameterFile();
    void DownloadParameterSet();
    void RestoreDefaultParameters();
    void EditMotorParameters();
    void EditDriverParameters();
    // Copies the One-Loop Encoder Value and Reduction Ratio entries into DriveState first,
    // whatever the connection state.
    void EditLoopParameters();
    void EditCustomParameters();
    // File menu "Restore a backup…": the list page in Open mode with its open dialog started
    // at once in the backup folder; the download from there is the Open path's.
    void RestoreBackup();
    // The console's backup guard (folder, questions).
    torvane::BackupGuard& Backups() { return backup_; }

    // The group routines: read the group's blocks, show its page (new or modify mode), back up
    // the drive's set and write an accepted group. Result: 1 accepted and written, 2 cancelled
    // (also when no backup could be made and the user did not go on), 3 Back (new mode), 0 any
    // other page result, or the DriveError of the first failed transaction (already shown).
    // Motor and loop in modify mode switch Auto Update off before and after the page; the
    // application page in modify mode opens with saving disabled while it is ticked.
    uint8_t EditMotorGroup(bool modify);
    uint8_t EditApplicationGroup(bool modify);
    uint8_t EditLoopGroup(bool modify);
    // Always modify mode; a failed read still opens the dialog. 2 cancelled, the write's
    // DriveError, otherwise 0.
    uint8_t EditCustomGroup();

    // The pages, created on first use and kept for the console's life.
    CDlgFileNewMotor* MotorPage();
    CDlgFileNewDriver* DriverPage();
    CDlgFileNewSave* ListPage();
    CDlgUserDef* CustomDialog();

private:
    // Runs `show` (a page's modal run) with the command's busy scope lifted, so the console's
    // timers (status poll, matching progress) go on while the page is open.
    int RunPage(const std::function<int()>& show);
    // The pages as the group routines and the New chain show them (modes set, Auto Update
    // handled); each returns the page's result.
    uint8_t RunMotorPage(bool modify);
    uint8_t RunApplicationPage(bool modify);
    uint8_t RunLoopPage(bool modify);
    uint8_t RunCustomDialog();
    uint8_t RunListPage(uint8_t listMode);
    void SwitchAutoUpdateOffForPage();
    bool ParamCommandAllowed(torvane::ParamCommand command);

    CDlgFileNewMotor* motorPage_ = nullptr;
    CDlgFileNewDriver* driverPage_ = nullptr;
    CDlgFileNewSave* listPage_ = nullptr;
    CDlgUserDef* customDialog_ = nullptr;
    // Held by a parameter command for its transactions and messages; lifted around its pages.
    std::optional<torvane::DriveSession::BusyScope> paramsBusy_;
};
