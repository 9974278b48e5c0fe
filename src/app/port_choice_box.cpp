#include "app/port_choice_box.h"

#include <QAbstractItemView>
#include <QLineEdit>

PortChoiceBox::PortChoiceBox(QWidget* parent) : QComboBox(parent) {
    setObjectName("portCombo");
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // A narrow box shows the start of the chosen item (the path), not the end of its
    // description; the whole item is its tooltip.
    connect(this, &QComboBox::currentIndexChanged, this, &PortChoiceBox::ShowStart);
}

void PortChoiceBox::ShowStart() {
    lineEdit()->setCursorPosition(0);
    setToolTip(currentText());
}

void PortChoiceBox::FitPopup() {
    // The list opens as wide as its longest item, however narrow the box.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + 4);
}

void PortChoiceBox::AddItem(int at, const torvane::PortItem& item) {
    insertItem(at, QString::fromStdString(item.Text), QString::fromStdString(item.Port));
    if (!item.StableName.empty())
        setItemData(at, QString::fromStdString(item.StableName), Qt::ToolTipRole);
}

void PortChoiceBox::ShowItems(const std::vector<torvane::PortItem>& items) {
    clear();
    items_ = items;
    for (const torvane::PortItem& item : items_) AddItem(count(), item);
    FitPopup();
    setCurrentIndex(0);
    ShowStart();
}

void PortChoiceBox::Preselect(const std::string& port) {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].Port == port) {
            setCurrentIndex(static_cast<int>(i));
            ShowStart();
            return;
        }
    }
    const torvane::PortItem item{port, port, {}};
    items_.insert(items_.begin(), item);
    AddItem(0, item);
    FitPopup();
    setCurrentIndex(0);
    ShowStart();
}

std::string PortChoiceBox::Chosen() const {
    return torvane::ChosenPort(currentText().toStdString(), items_);
}
