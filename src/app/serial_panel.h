// SerialPanel: the console's "Serial Communication" group: the port list (editable, so a path
// the search does not list can be typed), Search and the default Open/Close button. It shows
// the items and the connection state the console gives it and reports clicks as signals; the
// caption is for the eye only, never read back. UI thread only.
#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>

class QComboBox;
class QPushButton;

class SerialPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit SerialPanel(QWidget* parent = nullptr);

    // Replaces the items and selects the first.
    void ShowPortItems(const QStringList& items);
    // Selects `path`, adding it in front when the list lacks it.
    void PreselectPort(const QString& path);
    // The chosen or typed port, without surrounding blanks.
    QString PortText() const;
    // Search enabled and the caption "Open" while closed; disabled and "Close" while connected.
    void ShowConnected(bool connected);

signals:
    void SearchClicked();
    void OpenClicked();

private:
    QComboBox* portCombo_;
    QPushButton* searchButton_;
    QPushButton* openButton_;
};
