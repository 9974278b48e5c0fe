#include "app/can_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include "app/panel_widgets.h"

CanPanel::CanPanel(QWidget* parent) : QGroupBox("CAN Communication", parent) {
    setObjectName("canGroup");
    canAddressEdit_ = panel::Entry(this, "canAddressEdit");
    canBaudCombo_ = panel::List(this, "canBaudCombo", {"500", "1000"});
    auto* setting = panel::Button(this, "Setting", "settingButton");

    auto* grid = new QGridLayout(this);
    panel::Row(grid, 0, 0, "CAN Address ", canAddressEdit_);
    panel::Row(grid, 1, 0, "CAN Baud Rate", canBaudCombo_);
    grid->addWidget(setting, 2, 1);
    grid->setColumnStretch(1, 1);

    connect(setting, &QPushButton::clicked, this, &CanPanel::SettingClicked);
}

QString CanPanel::AddressText() const {
    return canAddressEdit_->text();
}

int CanPanel::BaudIndex() const {
    return canBaudCombo_->currentIndex();
}

void CanPanel::ShowAddress(const QString& text) {
    canAddressEdit_->setText(text);
}

void CanPanel::ShowBaudIndex(int index) {
    canBaudCombo_->setCurrentIndex(index);
}
