// CTorvaneDlg: the main console. One window for the run of the program: the motion, live
// preview, waveform, serial and CAN groups, the menu bar and the six-pane status bar.
//
// It owns the transaction engine (DriveLink) over the process-wide SerialPort and DriveState it
// is given, the motion fields that mirror registers 0x2300 to 0x2309, the console timers and,
// when the user picks "Simulated drive", an in-process simulated drive.
//
// Threads: everything here runs on the UI thread. Transactions block it (up to 5000 ms each,
// scaled by the time seam); port events from the reader thread are posted to it. Every
// message box goes through Prompts().
//
// Widgets carry object names after their role (runButton, portCombo, autoUpdateCheck, ...),
// so tests and later parts can find them.
#pragma once

#include <QDialog>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "protocol/drive_link.h"
#include "protocol/drive_state.h"
#include "serial/serial_port.h"
#include "tuning/ct_chart.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace torvane::sim {
class SimulatedDrive;
}

class CTorvaneDlg : public QDialog, public torvane::ReplyHandler {
    Q_OBJECT

public:
    // The console timers. There is no timer 8.
    enum class TimerId : int {
        kPollTimer = 1,          // short status read, 500 ms
        kAutoUpdateTimer = 2,    // long status read, 50 ms
        kMatchTimer = 3,         // motor matching progress, 10000 ms
        kCurrentTestTimer = 4,   // current loop test progress, 500 ms
        kSpeedTestTimer = 5,     // speed loop test progress, 500 ms
        kPositionTestTimer = 6,  // position loop test progress, 500 ms
        kCalibrationTimer = 7,   // encoder calibration progress, 20 ms
        kFaultRotateTimer = 9,   // next fault text, 1000 ms
        kInitTimer = 10,         // initialisation progress, 50 ms
        kResetTimer = 11,        // reset progress, 500 ms
    };
    // The period of a timer in the drive's milliseconds (before the time scale).
    static int TimerPeriod(TimerId id);

    // Status bar panes.
    enum Pane { kVersionPane = 0, kModelPane, kSpacerPane, kMotorStatePane, kFaultPane, kInfoPane };

    static constexpr const char* kTitle = "Kelmora GUI 2.1";
    static constexpr const char* kSimulatedDriveItem = "Simulated drive";
    static constexpr const char* kNoPortItem = "null";
    static constexpr const char* kPortNotOpenText = "The serial port is not open";
    static constexpr const char* kPollFailedText = "Device not responding, please reconnect……";
    static constexpr const char* kOpenFailText = "Open fail！";
    static constexpr const char* kCloseFailText = "Close fail";
    static constexpr const char* kPortLostText =
        "The serial port was lost. Check the cable or adapter, then open the port again.";

    // `port` and `state` are the process-wide records; they must outlive the console.
    CTorvaneDlg(torvane::SerialPort& port, torvane::DriveState& state, QWidget* parent = nullptr);
    // Closes an open port and joins the worker threads; stops an in-process simulated drive.
    ~CTorvaneDlg() override;

    // --- Connection (Serial Communication group and the Connection menu) ---
    // Search button: refills the port list (device paths or "null", then "Simulated drive").
    void Search();
    // Open/Close button: takes the Open path while it reads "Open", the Close path otherwise.
    // Opening runs ConnectHandshake and blocks for it; closing waits up to 1000 ms for each
    // worker thread.
    void OpenOrClose();
    // Connect through the communication settings window (modal), then the short handshake;
    // a failed handshake read closes the port again.
    void ConnectWithSettings();
    // Disconnect command of the Connection menu.
    void Disconnect();
    // Puts `path` (a device path or "Simulated drive") into the port list and selects it.
    void PreselectPort(const QString& path);
    // Folder the searches look for serial devices in ("/dev"; tests use a folder of their own).
    void SetPortSearchFolder(std::string folder) { searchFolder_ = std::move(folder); }

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
    // Hidden Get Results button.
    void GetResults();

    // --- Waveform ---
    void OnParameterChanged(int index);
    void ClearWaveform();
    // Hidden Save Data button: writes "TestData<yyyyMMddhhmm>.txt" in the working directory.
    void SaveData();
    // The file name Save Data writes at local time `now` ("TestData202612091530.txt").
    static std::string CaptureFileName(std::time_t now);

    // --- Replies on screen (called by DriveLink inside a transaction, UI thread) ---
    void OnReadReply(torvane::RegisterAddress address) override;
    void OnWriteReply(torvane::RegisterAddress address) override;
    // Rebuilds FaultTexts from `word`; "no error" for 0; starts the rotation for a non-empty
    // list.
    void DecodeFaultWord(uint16_t word);
    // Shows the message of a DriveError 0xF0..0xFF; nothing for other codes.
    static void ShowDriveError(torvane::DriveError code);

    // --- Timers ---
    // Starting a timer that runs restarts its period.
    void StartTimer(TimerId id);
    void StopTimer(TimerId id);
    bool TimerActive(TimerId id) const;
    // What a tick of `id` does (ignored while no port is open); the status ticks block for
    // their read. Tests call it directly.
    void TimerTick(TimerId id);

    // --- Access for the application, later parts and tests ---
    torvane::DriveLink& Link() { return link_; }
    torvane::SerialPort& Port() { return port_; }
    torvane::DriveState& State() { return state_; }
    torvane::MotionFields& Motion() { return motion_; }
    CTChart* Chart() const { return chart_; }
    CTChart::Series* SampleSeries() const { return sampleSeries_; }
    torvane::sim::SimulatedDrive* SimDrive() const { return simDrive_.get(); }
    QString PaneText(Pane pane) const;
    QAction* ConnectAction() const { return connectAction_; }
    QAction* DisconnectAction() const { return disconnectAction_; }
    QAction* AboutAction() const { return aboutAction_; }
    // Opens the About box modally.
    void ShowAbout();

    // Console state (see the field table of the console).
    uint8_t MotorEnabled = 0;
    float SpeedSetpointRpm = 0;
    float AngleInput = 0;
    float RatioInput = 0;
    float EncoderInput = 0;
    int32_t OutputAxisPosition = 0;
    float OutputAxisAngle = 0;
    uint16_t ProgressCount = 0;
    uint16_t LastControlWord = 0;
    uint16_t FaultWord = 0;
    uint16_t ShownFaultWord = 0xFFFF;  // so that the first status read always decodes
    QStringList FaultTexts;
    int32_t FaultTextIndex = 0;
    int32_t FaultTextCount = 0;
    uint8_t WaveParameter = 0;

private:
    void BuildWindow();
    QGroupBox* BuildMotionGroup();
    QGroupBox* BuildLivePreviewGroup();
    QGroupBox* BuildWaveformGroup();
    QGroupBox* BuildSerialGroup();
    QGroupBox* BuildCanGroup();
    QMenuBar* BuildMenuBar();
    QStatusBar* BuildStatusBar();
    void BuildTimers();

    // Open and Close paths of the Open/Close button.
    void OpenSelectedPort();
    void ClosePort();
    // Search button enabled, Open/Close caption and Connection menu items for the port state.
    void ShowConnected(bool connected);
    // Resolves the port list's text to a device path; starts the simulated drive for
    // "Simulated drive". Empty with `error` set when there is nothing to open.
    std::string PortPathToOpen(std::string* error);
    std::string StartSimulatedDrive(std::string* error);
    void StopSimulatedDrive();
    // A port event posted from the reader thread; `generation` tells stale events apart.
    void OnPortEvent(torvane::PortEvent event, uint64_t generation);
    // Releases the port and the extractor after the port went away.
    void DropLostPort();

    // A read that, like every read reply, first takes the One-Loop Encoder Value entry.
    torvane::DriveError Read(torvane::RegisterAddress address, uint8_t count);
    // Status (long form), CAN, work mode, motor, drive states, application and limits, in
    // that order; stops at and returns the first failure (not shown).
    torvane::DriveError ReadDriveSetup();
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
    float EntryNumber(QLineEdit* edit) const;

    torvane::SerialPort& port_;
    torvane::DriveState& state_;
    torvane::MotionFields motion_;
    torvane::DriveLink link_;
    std::unique_ptr<torvane::sim::SimulatedDrive> simDrive_;
    std::string searchFolder_ = "/dev";
    std::atomic<uint64_t> connection_{0};  // incremented on every open
    int busy_ = 0;                         // > 0 while a command or tick runs its transactions

    std::array<QTimer*, 12> timers_{};

    // Motion Control
    QComboBox* workModeCombo_ = nullptr;
    QLineEdit* currentEdit_ = nullptr;
    QLineEdit* speedEdit_ = nullptr;
    QLineEdit* reductionRatioEdit_ = nullptr;
    QLineEdit* encoderValueEdit_ = nullptr;
    QComboBox* positionTypeCombo_ = nullptr;
    QLineEdit* angleEdit_ = nullptr;
    QLineEdit* positionEdit_ = nullptr;
    QPushButton* enabledButton_ = nullptr;
    // Live Preview
    QLineEdit* busbarVoltageEdit_ = nullptr;
    QLineEdit* phaseCurrentEdit_ = nullptr;
    QLineEdit* currentSpeedEdit_ = nullptr;
    QLineEdit* motorPositionEdit_ = nullptr;
    QLineEdit* outputAxisPositionEdit_ = nullptr;
    QLineEdit* outputAxisAngleEdit_ = nullptr;
    QLineEdit* motorTemperatureEdit_ = nullptr;
    QCheckBox* autoUpdateCheck_ = nullptr;
    QLineEdit* positionCorrectionEdit_ = nullptr;
    // Waveform Display
    QComboBox* parameterCombo_ = nullptr;
    CTChart* chart_ = nullptr;
    CTChart::Series* sampleSeries_ = nullptr;
    QLineEdit* setpointExtraEdit_ = nullptr;
    QLineEdit* testStateEdit_ = nullptr;
    // Serial and CAN Communication
    QComboBox* portCombo_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QLineEdit* canAddressEdit_ = nullptr;
    QComboBox* canBaudCombo_ = nullptr;
    // Menu and status bar
    QAction* connectAction_ = nullptr;
    QAction* disconnectAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    std::array<QLabel*, 6> panes_{};
};
