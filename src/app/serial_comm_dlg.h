// CSerialCommDlg: the communication settings window ("通讯设置"). The user picks a port, baud
// rate, parity and stop bits and opens the port with them.
//
// Run it with exec() on the UI thread. Results: 1 when a port was opened (SerialPort is then
// open with the chosen settings; the caller starts its protocol threads), 2 when the window was
// closed by its close box or Escape. Opened while the port is already open, the lists stay
// empty and Open closes the port instead (the caller's threads see PortOpen cleared and end);
// the window then stays open.
//
// Every message goes through Prompts(). Widgets carry object names for tests: portCombo,
// baudCombo, parityCombo, stopCombo, searchButton, openButton.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "serial/serial_port.h"

class QComboBox;
class QPushButton;

// Baud rate for the baud list's index: 0 9600, 1 14400, 2 19600, 3 38400, 4 57600, anything
// else (no selection included) 115200.
uint32_t BaudForIndex(int index);

class CSerialCommDlg : public QDialog {
    Q_OBJECT

public:
    // Starts a simulated drive and returns the path to open; on failure an empty string and the
    // reason in *error.
    using SimulatedDriveStarter = std::function<std::string(std::string* error)>;

    static constexpr const char* kSimulatedDriveItem = "Simulated drive";
    static constexpr const char* kNoPortItem = "null";
    static constexpr const char* kOpenFailText = "Open fail！";
    static constexpr const char* kCloseFailText = "Close fail";

    // `port` must outlive the window. With `startSimulatedDrive`, the port list ends with
    // the item "Simulated drive", whose Open opens the path it returns. Ports are searched
    // under `searchFolder` (tests point it at a folder of their own).
    CSerialCommDlg(torvane::SerialPort& port, QWidget* parent = nullptr,
                   SimulatedDriveStarter startSimulatedDrive = {},
                   std::string searchFolder = "/dev");

    // Result of exec() for a successful open; the close box gives kClosed.
    static constexpr int kOpened = 1;
    static constexpr int kClosed = 2;

    // Search button: when the port is closed, searches again, refills the port list and selects
    // item 0 of all four lists.
    void Search();
    // Open button: opens with the chosen settings (port closed) or closes the port (port open).
    void OpenOrClose();

    QComboBox* PortCombo() const { return portCombo_; }
    QComboBox* BaudCombo() const { return baudCombo_; }
    QComboBox* ParityCombo() const { return parityCombo_; }
    QComboBox* StopCombo() const { return stopCombo_; }
    QPushButton* SearchButton() const { return searchButton_; }
    QPushButton* OpenButton() const { return openButton_; }

    // Close box and Escape end the window with kClosed.
    void reject() override;

private:
    void FillPortList();
    void SetControlsEnabled(bool enabled);
    void OpenSelected();
    void ShowOpenFailure(const std::string& reason);

    torvane::SerialPort& port_;
    SimulatedDriveStarter startSimulatedDrive_;
    std::string searchFolder_;
    QComboBox* portCombo_;
    QComboBox* baudCombo_;
    QComboBox* parityCombo_;
    QComboBox* stopCombo_;
    QPushButton* searchButton_;
    QPushButton* openButton_;
};
