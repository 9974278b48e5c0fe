// CAboutDlg: the modal About box ("关于 Torvane") with the icon, the version line and OK.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "关于 Torvane";
    static constexpr const char* kVersionLine = "Torvane，V 1.0";

    explicit CAboutDlg(QWidget* parent = nullptr);
};
