// CSerialCommDlg: the communication settings window ("通讯设置"). The user picks or types a
// port, picks the baud rate, parity and stop bits, and opens the port with them through the
// DriveSession (which starts the simulated drive for "Simulated drive").
//
// Run it with exec() on the UI thread. Results: 1 when a port was opened (the session is then
// open with the chosen settings and its FrameExtractor runs), 2 when the window was closed by
// its close box or Escape. Opened while the session is open, the lists stay empty and Open
// closes the port instead; the window then stays open.
//
// Every message goes through Prompts(). Widgets carry object names for tests: portCombo,
// baudCombo, parityCombo, stopCombo, searchButton, openButton.
#pragma once

#include <QDialog>

#include "app/port_choice_box.h"
#include "session/drive_session.h"

class QComboBox;
class QPushButton;

class CSerialCommDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kCloseFailText = "Close fail";

    // `session` must outlive the window. The port list ends with "Simulated drive" when the
    // session offers it; ports are searched in the session's search folder.
    explicit CSerialCommDlg(torvane::DriveSession& session, QWidget* parent = nullptr);

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

    torvane::DriveSession& session_;
    PortChoiceBox* portCombo_;
    QComboBox* baudCombo_;
    QComboBox* parityCombo_;
    QComboBox* stopCombo_;
    QPushButton* searchButton_;
    QPushButton* openButton_;
};
