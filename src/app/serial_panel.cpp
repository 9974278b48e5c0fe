#include "app/serial_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/panel_widgets.h"
#include "app/port_choice_box.h"
#include "ui/labelled.h"

SerialPanel::SerialPanel(QWidget* parent) : QGroupBox("Serial Communication", parent) {
    setObjectName("serialGroup");

    portCombo_ = new PortChoiceBox(this);
    portCombo_->setMinimumContentsLength(14);
    portCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portCombo_->ShowItems({{torvane::kSimulatedDriveItem, torvane::kSimulatedDriveItem, {}}});
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

void SerialPanel::ShowPortItems(const std::vector<torvane::PortItem>& items) {
    portCombo_->ShowItems(items);
}

void SerialPanel::PreselectPort(const std::string& port) {
    portCombo_->Preselect(port);
}

std::string SerialPanel::ChosenPort() const {
    return portCombo_->Chosen();
}

void SerialPanel::ShowConnected(bool connected) {
    searchButton_->setEnabled(!connected);
    openButton_->setText(connected ? "Close" : "Open");
}
