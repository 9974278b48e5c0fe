// CTorvaneDlg: the Serial Communication group (Search, Open/Close), the Connection menu
// (settings window, disconnect), the simulated drive and a port that goes away.
#include <QAction>
#include <QComboBox>
#include <QPushButton>

#include "app/torvane_dlg.h"
#include "ui/user_prompts.h"
#include "app/serial_comm_dlg.h"
#include "sim/simulated_drive.h"

void CTorvaneDlg::Search() {
    if (port_.PortOpen()) return;
    portCombo_->clear();
    port_.Search(searchFolder_);
    if (port_.PortList.empty()) {
        portCombo_->addItem(kNoPortItem);
    } else {
        for (const std::string& path : port_.PortList) {
            portCombo_->addItem(QString::fromStdString(path));
        }
    }
    portCombo_->addItem(kSimulatedDriveItem);
    portCombo_->setCurrentIndex(0);
}

void CTorvaneDlg::PreselectPort(const QString& path) {
    int index = portCombo_->findText(path);
    if (index < 0) {
        portCombo_->insertItem(0, path);
        index = 0;
    }
    portCombo_->setCurrentIndex(index);
}

void CTorvaneDlg::OpenOrClose() {
    if (openButton_->text() == "Open") {
        OpenSelectedPort();
    } else {
        ClosePort();
    }
}

void CTorvaneDlg::OpenSelectedPort() {
    port_.Settings = torvane::LineSettings{};  // 115200 baud, 8 data bits, no parity, 1 stop bit
    std::string reason;
    const std::string path = PortPathToOpen(&reason);
    ++connection_;
    if (path.empty() || !port_.Open(path, &reason)) {
        if (!port_.PortOpen()) StopSimulatedDrive();
        QString text = kOpenFailText;
        if (!reason.empty()) text += "\n" + QString::fromStdString(reason);
        Prompts().Notice(text);
        return;
    }
    ShowConnected(true);
    link_.StartExtractor();
    ConnectHandshake();
}

void CTorvaneDlg::ClosePort() {
    port_.ClearPortOpen();
    if (!link_.StopExtractor() || !port_.Close()) {
        Prompts().Notice(kCloseFailText);
        return;
    }
    ShowConnected(false);
    StopSimulatedDrive();
}

void CTorvaneDlg::ConnectWithSettings() {
    CSerialCommDlg settings(
        port_, this, [this](std::string* error) { return StartSimulatedDrive(error); },
        searchFolder_);
    ++connection_;
    if (settings.exec() != CSerialCommDlg::kOpened) {
        if (!port_.PortOpen()) StopSimulatedDrive();
        return;
    }
    link_.StartExtractor();
    const torvane::DriveError e = ShortHandshake();
    if (e != 0) {
        // Unlike the Open button, a failed handshake here gives the connection up.
        port_.ClearPortOpen();
        link_.StopExtractor();
        port_.Close();
        StopSimulatedDrive();
        ++connection_;
        ShowDriveError(e);
        return;
    }
    ShowConnected(true);
}

void CTorvaneDlg::Disconnect() {
    port_.ClearPortOpen();
    if (!link_.StopExtractor() || !port_.Close()) {
        Prompts().Notice("Close the failure");
        return;
    }
    ShowConnected(false);
    StopSimulatedDrive();
    Prompts().Notice("Closed");
}

void CTorvaneDlg::ShowConnected(bool connected) {
    // One connection state for both ways of connecting: the Open/Close button and the
    // Connection menu always agree with the port.
    if (!connected) ++connection_;  // events of the connection just ended are stale now
    searchButton_->setEnabled(!connected);
    openButton_->setText(connected ? "Close" : "Open");
    connectAction_->setEnabled(!connected);
    disconnectAction_->setEnabled(connected);
}

std::string CTorvaneDlg::PortPathToOpen(std::string* error) {
    const QString text = portCombo_->currentText().trimmed();
    if (text == kSimulatedDriveItem) return StartSimulatedDrive(error);
    if (text.isEmpty() || text == kNoPortItem) {
        *error = "no port selected";
        return {};
    }
    return text.toStdString();
}

std::string CTorvaneDlg::StartSimulatedDrive(std::string* error) {
    StopSimulatedDrive();
    auto drive = std::make_unique<torvane::sim::SimulatedDrive>();
    std::string why;
    if (!drive->Start(&why)) {
        if (error != nullptr) *error = "the simulated drive did not start: " + why;
        return {};
    }
    simDrive_ = std::move(drive);
    return simDrive_->SlavePath();
}

void CTorvaneDlg::StopSimulatedDrive() {
    if (simDrive_ == nullptr) return;
    simDrive_->Stop();
    simDrive_.reset();
}

void CTorvaneDlg::OnPortEvent(torvane::PortEvent event, uint64_t generation) {
    if (generation != connection_.load()) return;  // from a connection closed since
    if (event == torvane::PortEvent::Overflow) {
        Prompts().Notice(torvane::kOverflowMessage, UserPrompts::Icon::Error);
        return;
    }
    DropLostPort();
    Prompts().Notice(kPortLostText, UserPrompts::Icon::Error);
}

void CTorvaneDlg::DropLostPort() {
    port_.ClearPortOpen();
    link_.StopExtractor();
    port_.Close();
    StopSimulatedDrive();
    ShowConnected(false);
}
