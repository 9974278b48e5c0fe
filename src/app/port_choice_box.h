// PortChoiceBox: a port list (the console's and the communication settings window's). Each
// item shows a port with its adapter's description and carries the port it opens, so the
// description never reaches Open; a stable name (/dev/serial/by-id/...) is the item's tooltip.
// Editable: a path the search does not list (a pty, a stable name) can be typed in. Its object
// name is "portCombo". UI thread only.
#pragma once

#include <QComboBox>
#include <string>
#include <vector>

#include "session/port_choice.h"

class PortChoiceBox : public QComboBox {
    Q_OBJECT

public:
    explicit PortChoiceBox(QWidget* parent = nullptr);

    // Replaces the items and selects the first.
    void ShowItems(const std::vector<torvane::PortItem>& items);
    // Selects the item that opens `port`, adding one in front when the list has none.
    void Preselect(const std::string& port);
    // What Open is to open: the chosen item's port, or the text typed in (ChosenPort).
    std::string Chosen() const;

private:
    void AddItem(int at, const torvane::PortItem& item);
    void FitPopup();
    void ShowStart();

    std::vector<torvane::PortItem> items_;
};
