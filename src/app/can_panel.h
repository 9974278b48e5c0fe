// CanPanel: the console's "CAN Communication" group: the CAN Address entry, the CAN Baud Rate
// list and the Setting button. It shows what the console gives it and reports Setting as a
// signal. UI thread only.
#pragma once

#include <QGroupBox>
#include <QString>

class QComboBox;
class QLineEdit;

class CanPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit CanPanel(QWidget* parent = nullptr);

    QString AddressText() const;
    int BaudIndex() const;  // -1 when no item is selected
    void ShowAddress(const QString& text);
    void ShowBaudIndex(int index);

signals:
    void SettingClicked();

private:
    QLineEdit* canAddressEdit_;
    QComboBox* canBaudCombo_;
};
