#include "app/serial_comm_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/user_prompts.h"

namespace {

// Item data of the port list: the device path, or one of these markers.
constexpr int kPathRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
enum ItemKind { kDeviceItem = 0, kNullItem = 1, kSimulatedItem = 2 };

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    return combo;
}

}  // namespace

uint32_t BaudForIndex(int index) {
    // 19600 (not 19200) is the drive's rate at index 2.
    static constexpr uint32_t kRates[] = {9600, 14400, 19600, 38400, 57600};
    if (index < 0 || index >= static_cast<int>(sizeof kRates / sizeof kRates[0])) return 115200;
    return kRates[index];
}

CSerialCommDlg::CSerialCommDlg(torvane::SerialPort& port, QWidget* parent,
                               SimulatedDriveStarter startSimulatedDrive, std::string searchFolder)
    : QDialog(parent),
      port_(port),
      startSimulatedDrive_(std::move(startSimulatedDrive)),
      searchFolder_(std::move(searchFolder)) {
    setWindowTitle(QString::fromUtf8("通讯设置"));

    portCombo_ = MakeList(this, "portCombo", {});
    // Device paths are longer than "COM7": keep them readable.
    portCombo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    portCombo_->setMinimumContentsLength(14);
    baudCombo_ =
        MakeList(this, "baudCombo", {"9600", "14400", "19600", "38400", "57600", "115200"});
    parityCombo_ =
        MakeList(this, "parityCombo",
                 {QString::fromUtf8("无"), QString::fromUtf8("奇"), QString::fromUtf8("偶")});
    stopCombo_ = MakeList(this, "stopCombo", {"1", "1.5", "2"});
    // The lists start empty; initialisation below fills them only while the port is closed.
    baudCombo_->setCurrentIndex(-1);
    parityCombo_->setCurrentIndex(-1);
    stopCombo_->setCurrentIndex(-1);

    searchButton_ = new QPushButton("Search", this);
    searchButton_->setObjectName("searchButton");
    searchButton_->setAutoDefault(false);
    openButton_ = new QPushButton("Open", this);
    openButton_->setObjectName("openButton");
    openButton_->setDefault(true);

    auto* grid = new QGridLayout;
    const struct {
        const char* label;
        QComboBox* combo;
    } rows[] = {{"Serial Port", portCombo_},
                {" Baud Rate", baudCombo_},
                {"Parity Bit ", parityCombo_},
                {"Stop Bit", stopCombo_}};
    int row = 0;
    for (const auto& r : rows) {
        auto* label = new QLabel(r.label, this);
        label->setBuddy(r.combo);
        grid->addWidget(label, row, 0);
        grid->addWidget(r.combo, row, 1);
        ++row;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(searchButton_);
    buttons->addWidget(openButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(searchButton_, &QPushButton::clicked, this, &CSerialCommDlg::Search);
    connect(openButton_, &QPushButton::clicked, this, &CSerialCommDlg::OpenOrClose);

    if (!port_.PortOpen()) {
        port_.Search(searchFolder_);
        FillPortList();
        portCombo_->setCurrentIndex(0);
        baudCombo_->setCurrentIndex(5);
        parityCombo_->setCurrentIndex(0);
        stopCombo_->setCurrentIndex(0);
    }
}

void CSerialCommDlg::FillPortList() {
    portCombo_->clear();
    if (port_.PortList.empty()) {
        portCombo_->addItem(kNoPortItem);
        portCombo_->setItemData(0, kNullItem, kKindRole);
    }
    for (const std::string& path : port_.PortList) {
        portCombo_->addItem(QString::fromStdString(path));
        portCombo_->setItemData(portCombo_->count() - 1, QString::fromStdString(path), kPathRole);
        portCombo_->setItemData(portCombo_->count() - 1, kDeviceItem, kKindRole);
    }
    if (startSimulatedDrive_) {
        portCombo_->addItem(kSimulatedDriveItem);
        portCombo_->setItemData(portCombo_->count() - 1, kSimulatedItem, kKindRole);
    }
}

void CSerialCommDlg::Search() {
    if (port_.PortOpen()) return;
    port_.Search(searchFolder_);
    FillPortList();
    // Every list goes back to its first item, the baud rate included (9600).
    portCombo_->setCurrentIndex(0);
    baudCombo_->setCurrentIndex(0);
    parityCombo_->setCurrentIndex(0);
    stopCombo_->setCurrentIndex(0);
}

void CSerialCommDlg::OpenOrClose() {
    if (!port_.PortOpen()) {
        OpenSelected();
        return;
    }
    // Opened while connected: this button disconnects.
    if (!port_.Close()) {
        // The reader did not end: the port is still held, so nothing looks closed.
        Prompts().Notice(kCloseFailText);
        return;
    }
    SetControlsEnabled(true);
    openButton_->setText("Open");
}

void CSerialCommDlg::OpenSelected() {
    torvane::LineSettings settings;
    settings.BaudRate = BaudForIndex(baudCombo_->currentIndex());
    settings.DataBits = 8;
    // An empty list (window opened while connected) has no selection: take the first item.
    const int parity = std::max(parityCombo_->currentIndex(), 0);
    const int stop = std::max(stopCombo_->currentIndex(), 0);
    settings.ParityMode = static_cast<torvane::Parity>(parity);
    settings.Stop = static_cast<torvane::StopBits>(stop);
    port_.Settings = settings;

    const int index = portCombo_->currentIndex();
    std::string path;
    if (index >= 0) {
        const int kind = portCombo_->itemData(index, kKindRole).toInt();
        if (kind == kDeviceItem) {
            path = portCombo_->itemData(index, kPathRole).toString().toStdString();
        } else if (kind == kSimulatedItem) {
            std::string error;
            path = startSimulatedDrive_(&error);
            if (path.empty()) {
                ShowOpenFailure(error.empty() ? "the simulated drive did not start" : error);
                return;
            }
        }
    }
    if (path.empty()) {
        ShowOpenFailure("no port selected");
        return;
    }
    std::string reason;
    if (!port_.Open(path, &reason)) {
        ShowOpenFailure(reason);
        return;
    }
    SetControlsEnabled(false);
    openButton_->setText("Close");
    done(kOpened);
}

void CSerialCommDlg::ShowOpenFailure(const std::string& reason) {
    QString text = QString::fromUtf8(kOpenFailText);
    if (!reason.empty()) text += '\n' + QString::fromStdString(reason);
    Prompts().Notice(text);
}

void CSerialCommDlg::SetControlsEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(portCombo_), static_cast<QWidget*>(baudCombo_),
                       static_cast<QWidget*>(parityCombo_), static_cast<QWidget*>(stopCombo_),
                       static_cast<QWidget*>(searchButton_)}) {
        w->setEnabled(enabled);
    }
}

void CSerialCommDlg::reject() {
    done(kClosed);
}
