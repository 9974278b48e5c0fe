// DialogKeyFilter: swallows key presses of Escape, Enter and Space aimed at one window or any
// of its controls, before the control or the dialog sees them, so that such a window closes
// only through its close box and no button is pressed from the keyboard by accident.
//
// UI thread only. Install() puts one filter on the application for `window`; it is removed with
// the window.
#pragma once

#include <QObject>

class QWidget;

class DialogKeyFilter : public QObject {
    Q_OBJECT

public:
    static DialogKeyFilter* Install(QWidget* window);

    // True for the keys that are swallowed.
    static bool IsFilteredKey(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DialogKeyFilter(QWidget* window);
    QWidget* window_;
};
