// CDlgFileMotorMatch: the motor page's matching box ("电机匹配"). One message line and one
// button; the console's matching timer writes into it through the ProgressBox interface while
// it is open (SetText: the message, SetCaption: the button, SetState: MatchState).
//
// exec() starts from the box's own texts ("Matching, please wait……！", "Cancel") and returns
// MatchState when the box is closed through its button or its close box (1 completed,
// 2 matching, 3 failed; any other state gives 4), and 2 when it is closed with Escape. Closing
// it stops nothing: the console goes on following the drive.
//
// UI thread only.
#pragma once

#include <QDialog>
#include <cstdint>

#include "session/progress_box.h"

class QLabel;
class QPushButton;

class CDlgFileMotorMatch : public QDialog, public torvane::ProgressBox {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "电机匹配";
    static constexpr const char* kStartText = "Matching, please wait……！";
    static constexpr const char* kStartCaption = "Cancel";

    explicit CDlgFileMotorMatch(QWidget* parent = nullptr);

    // 2 while matching, 1 when the drive reported success, 3 when it reported failure. The
    // page sets 2 before each showing.
    uint8_t MatchState = 2;

    void SetText(const std::string& text) override;
    void SetCaption(const std::string& caption) override;
    void SetState(uint8_t state) override;

    QString Text() const;
    QString Caption() const;

    int exec() override;
    // The close box (and anything else that rejects the box): MatchState as the result.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int Result() const;

    QLabel* textLabel_;
    QPushButton* button_;
};
