// AutoTuneBox: the loop page's modal box while an automatic tuning runs, titled "Auto-tune":
// "Test n of at most N", the best figures so far, and a Cancel button. The page drives the run
// from its own timer and writes the texts; the box only shows them and reports Cancel.
//
// Cancel, the close box and Escape all ask for the cancel (cancelRequested); the page ends the
// run and then closes the box with done().
//
// UI thread only. exec() blocks in the box's event loop (timers keep firing) until it closes.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class AutoTuneBox : public QDialog {
    Q_OBJECT

public:
    explicit AutoTuneBox(QWidget* parent = nullptr);

    void SetProgress(const QString& text);  // "Test n of at most N"
    void SetBest(const QString& text);      // the best figures so far, one a line
    QString Progress() const;
    QString Best() const;

    // The close box and Escape: as Cancel.
    void reject() override;

signals:
    void cancelRequested();

private:
    QLabel* progress_;
    QLabel* best_;
    QPushButton* cancel_;
};
