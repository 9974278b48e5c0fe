// SerialPanel: the console's "Serial Communication" group: the port list (a PortChoiceBox:
// editable, so a path the search does not list can be typed), Search and the default
// Open/Close button. It shows the items and the connection state the console gives it and
// reports clicks as signals; the caption is for the eye only, never read back. UI thread only.
#pragma once

#include <QGroupBox>
#include <string>
#include <vector>

#include "session/port_choice.h"

class PortChoiceBox;
class QPushButton;

class SerialPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit SerialPanel(QWidget* parent = nullptr);

    // Replaces the items and selects the first.
    void ShowPortItems(const std::vector<torvane::PortItem>& items);
    // Selects the item of `port`, adding one in front when the list lacks it.
    void PreselectPort(const std::string& port);
    // The port to open: the chosen item's, or the path typed in, without surrounding blanks.
    std::string ChosenPort() const;
    // Search enabled and the caption "Open" while closed; disabled and "Close" while connected.
    void ShowConnected(bool connected);

signals:
    void SearchClicked();
    void OpenClicked();

private:
    PortChoiceBox* portCombo_;
    QPushButton* searchButton_;
    QPushButton* openButton_;
};
