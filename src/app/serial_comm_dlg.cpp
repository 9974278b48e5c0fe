#include "app/serial_comm_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/port_choice_box.h"
#include "session/port_choice.h"
#include "ui/labelled.h"
#include "ui/user_prompts.h"

namespace {

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    return combo;
}

}  // namespace

CSerialCommDlg::CSerialCommDlg(torvane::DriveSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle(QString::fromUtf8("通讯设置"));

    // Editable, like the console's list: a path the search does not list can be typed in.
    portCombo_ = new PortChoiceBox(this);
    // Device paths and adapter names are longer than "COM7": keep them readable.
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
        grid->addWidget(LabelFor(r.label, r.combo, this), row, 0);
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

    if (!session_.IsOpen()) {
        FillPortList();
        portCombo_->setCurrentIndex(0);
        baudCombo_->setCurrentIndex(5);
        parityCombo_->setCurrentIndex(0);
        stopCombo_->setCurrentIndex(0);
    }
}

void CSerialCommDlg::FillPortList() {
    portCombo_->ShowItems(session_.SearchItems());
}

void CSerialCommDlg::Search() {
    if (session_.IsOpen()) return;
    FillPortList();
    // Every list goes back to its first item, the baud rate included (9600).
    portCombo_->setCurrentIndex(0);
    baudCombo_->setCurrentIndex(0);
    parityCombo_->setCurrentIndex(0);
    stopCombo_->setCurrentIndex(0);
}

void CSerialCommDlg::OpenOrClose() {
    if (!session_.IsOpen()) {
        OpenSelected();
        return;
    }
    // Opened while connected: this button disconnects.
    if (!session_.Close()) {
        // A worker did not end: the port is still held, so nothing looks closed.
        Prompts().Notice(kCloseFailText);
        return;
    }
    SetControlsEnabled(true);
    openButton_->setText("Open");
}

void CSerialCommDlg::OpenSelected() {
    torvane::LineSettings settings;
    settings.BaudRate = torvane::BaudForIndex(baudCombo_->currentIndex());
    settings.DataBits = 8;
    // An empty list (window opened while connected) has no selection: take the first item.
    const int parity = std::max(parityCombo_->currentIndex(), 0);
    const int stop = std::max(stopCombo_->currentIndex(), 0);
    settings.ParityMode = static_cast<torvane::Parity>(parity);
    settings.Stop = static_cast<torvane::StopBits>(stop);

    std::string reason;
    if (!session_.Open(portCombo_->Chosen(), settings, &reason)) {
        Prompts().Notice(QString::fromStdString(torvane::OpenFailText(reason)));
        return;
    }
    SetControlsEnabled(false);
    openButton_->setText("Close");
    done(kOpened);
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
