#include "app/serial_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/panel_widgets.h"
#include "session/port_choice.h"
#include "ui/labelled.h"

SerialPanel::SerialPanel(QWidget* parent) : QGroupBox("Serial Communication", parent) {
    setObjectName("serialGroup");

    portCombo_ = new QComboBox(this);
    portCombo_->setObjectName("portCombo");
    // Editable, so a device path that the search does not list (a pty, /dev/serial/by-id/...)
    // can be typed in.
    portCombo_->setEditable(true);
    portCombo_->setInsertPolicy(QComboBox::NoInsert);
    portCombo_->setMinimumContentsLength(14);
    portCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portCombo_->addItem(torvane::kSimulatedDriveItem);
    portCombo_->setCurrentIndex(-1);
    searchButton_ = panel::Button(this, "Search", "searchButton");
    openButton_ = panel::Button(this, "Open", "openButton");
    openButton_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(LabelFor("Serial Port ", portCombo_, this), 0, 0);
    grid->addWidget(portCombo_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(searchButton_);
    buttons->addWidget(openButton_);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(searchButton_, &QPushButton::clicked, this, &SerialPanel::SearchClicked);
    connect(openButton_, &QPushButton::clicked, this, &SerialPanel::OpenClicked);
}

void SerialPanel::ShowPortItems(const QStringList& items) {
    portCombo_->clear();
    portCombo_->addItems(items);
    portCombo_->setCurrentIndex(0);
}

void SerialPanel::PreselectPort(const QString& path) {
    int index = portCombo_->findText(path);
    if (index < 0) {
        portCombo_->insertItem(0, path);
        index = 0;
    }
    portCombo_->setCurrentIndex(index);
}

QString SerialPanel::PortText() const {
    return portCombo_->currentText().trimmed();
}

void SerialPanel::ShowConnected(bool connected) {
    searchButton_->setEnabled(!connected);
    openButton_->setText(connected ? "Close" : "Open");
}
