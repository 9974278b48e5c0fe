// CDlgCommCan: the console's Info box. A small modal box titled "Info" with one centred line
// and no buttons, opened by Enabled (drive initialisation) and Reset; the progress timers 10 and
// 11 write its line while it is open (it is their torvane::ProgressBox).
//
// It closes only through its title-bar close box: Escape, Enter and Space are swallowed as in
// the main window. Closing it is always allowed and stops nothing: the timer that feeds it goes
// on and writes nowhere until it ends by itself.
//
// UI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "session/progress_box.h"

class QLabel;

class CDlgCommCan : public QDialog, public torvane::ProgressBox {
    Q_OBJECT

public:
    explicit CDlgCommCan(QWidget* parent = nullptr);

    // Shows the box modally, its line back at "Initializing,please wait...", and returns when
    // the user has closed it (the console's timers tick meanwhile).
    void Open();
    // True while the box is shown.
    bool IsOpen() const { return isVisible(); }
    QString Text() const;

    // The box's line (torvane::ProgressBox). Caption, state and close are ignored: the box has
    // no button and closes only by the user's hand.
    void SetText(const std::string& text) override;

private:
    QLabel* text_;
};
