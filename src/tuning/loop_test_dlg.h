// CDlgFileLoopTest: the loop page's progress box while a step test runs. A small modal window
// whose title is a single blank, with one message line ("Testing,please wait……！" at every
// opening) and a "cancel" button below it.
//
// It is the ProgressBox the console's test timers write into while it is open: SetText (the
// message line), SetState (TestState: 2 running, 3 failed) and Close(result) (1 completed,
// 3 failed). Run() returns the result it closed with:
//   - the "cancel" button: 2 while TestState is 2, 3 while it is 3;
//   - the close box and Escape: 2 whatever TestState is;
//   - Close(result) from a timer.
// Writing into the box while it is not shown changes nothing that can be seen, and Close() then
// does nothing.
//
// UI thread only. Run() blocks in the box's event loop (timers keep firing) until it closes.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "session/motion_texts.h"
#include "session/progress_box.h"

class QLabel;
class QPushButton;

class CDlgFileLoopTest : public QDialog, public torvane::ProgressBox {
    Q_OBJECT

public:
    static constexpr const char* kTitle = " ";
    static constexpr const char* kTestingText = torvane::kTestingText;
    static constexpr const char* kCancelCaption = "cancel";

    explicit CDlgFileLoopTest(QWidget* parent = nullptr);

    // Shows the box modally with its initial text and returns 1, 2 or 3.
    int Run();

    uint8_t TestState() const { return testState_; }
    QString Text() const;

    // torvane::ProgressBox
    void SetText(const std::string& text) override;
    void SetState(uint8_t state) override;
    void Close(int result) override;

    // The close box and Escape: result 2.
    void reject() override;

private:
    void OnCancel();

    uint8_t testState_ = 2;
    QLabel* message_;
    QPushButton* cancel_;
};
