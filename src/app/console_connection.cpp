// CTorvaneDlg: the Serial Communication group (Search, Open/Close), the Connection menu
// (settings window, disconnect) and a port that goes away, all through the DriveSession.
#include <QAction>

#include "app/serial_comm_dlg.h"
#include "app/serial_panel.h"
#include "app/torvane_dlg.h"
#include "session/port_choice.h"
#include "ui/user_prompts.h"

void CTorvaneDlg::Search() {
    if (session_.IsOpen()) return;
    serial_->ShowPortItems(session_.SearchItems());
}

void CTorvaneDlg::PreselectPort(const QString& path) {
    serial_->PreselectPort(path.toStdString());
}

void CTorvaneDlg::OpenOrClose() {
    // The session's state decides, never the caption: after a Close that failed the port
    // counts as closed, and a desktop may have put an accelerator marker into the caption.
    if (session_.IsOpen()) {
        ClosePort();
    } else {
        OpenPort();
    }
}

bool CTorvaneDlg::OpenPort() {
    std::string reason;
    // 115200 baud, 8 data bits, no parity, 1 stop bit.
    if (!session_.Open(serial_->ChosenPort(), torvane::LineSettings{}, &reason)) {
        Prompts().Notice(QString::fromStdString(torvane::OpenFailText(reason)));
        return false;
    }
    ShowConnected(true);
    return ConnectHandshake() == 0;
}

void CTorvaneDlg::ClosePort() {
    if (!session_.Close()) {
        Prompts().Notice(kCloseFailText);
        return;
    }
    ShowConnected(false);
}

void CTorvaneDlg::ConnectWithSettings() {
    CSerialCommDlg settings(session_, this);
    if (settings.exec() != CSerialCommDlg::kOpened) {
        // The window may have closed a port it was opened over: show the state as it is.
        if (!session_.IsOpen()) ShowConnected(false);
        return;
    }
    const torvane::DriveError e = ShortHandshake();
    if (e != 0) {
        // Unlike the Open button, a failed handshake here gives the connection up.
        session_.Close();
        ShowDriveError(e);
        return;
    }
    ShowConnected(true);
}

void CTorvaneDlg::Disconnect() {
    if (!session_.Close()) {
        Prompts().Notice(kDisconnectFailText);
        return;
    }
    ShowConnected(false);
    Prompts().Notice(kClosedText);
}

void CTorvaneDlg::ShowConnected(bool connected) {
    // One connection state for both ways of connecting: the Open/Close button and the
    // Connection menu always agree with the port.
    // A recording ends with its connection (closed or lost), its file whole.
    if (!connected) StopRecording();
    serial_->ShowConnected(connected);
    connectAction_->setEnabled(!connected);
    disconnectAction_->setEnabled(connected);
}

void CTorvaneDlg::OnPortEvent(torvane::PortEvent event) {
    if (event == torvane::PortEvent::Overflow) {
        Prompts().Notice(torvane::kOverflowMessage, UserPrompts::Icon::Error);
        return;
    }
    // The session has released the port and stopped a simulated drive.
    ShowConnected(false);
    Prompts().Notice(kPortLostText, UserPrompts::Icon::Error);
}
