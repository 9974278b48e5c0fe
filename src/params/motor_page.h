// CDlgFileNewMotor: the motor parameter page ("电机参数-新建", "Motor Parameters - modify"). It
// edits the motor group of the ParameterSet and starts motor matching on the drive through the
// console (PageRequests), showing its matching box while the console follows the drive.
//
// The first page of the New chain and the page of the Motor command; the opener sets
// ModifyMode and, in modify mode, MotorEnabled. Results (exec): 1 accepted (the motor group and
// CountsPerRev are stored; writing them is the opener's job), 2 cancelled. The checks and what
// is stored are ValidateMotorPage's; a refusal shows its message and keeps the page open.
//
// The page keeps an Encoder Lines text of its own (the value at the filling, replaced by the
// Encoder Lines entry whenever a check reads it with "Absolute encoder" selected). Rated Rotor
// Speed ("Mechanical Speed") and Motor Hall Sequence ("Hall Line Sequence") have no visible
// control: the page keeps their values and stores them back.
//
// UI thread only. Match blocks for the console's start request (its writes).
#pragma once

#include <string>

#include "params/motor_match_dlg.h"
#include "params/parameter_page.h"
#include "params/parameter_rules.h"
#include "protocol/drive_state.h"
#include "session/page_requests.h"

class QComboBox;
class QLabel;
class QPushButton;

class CDlgFileNewMotor : public ParameterPage {
    Q_OBJECT

public:
    static constexpr const char* kNewTitle = "电机参数-新建";
    static constexpr const char* kModifyTitle = "Motor Parameters - modify";
    static constexpr const char* kMotorEnabledText = "The motor is enabled";

    // `state` holds the ParameterSet and SpeedLimit; `requests` is the console. Both must
    // outlive the page.
    CDlgFileNewMotor(torvane::DriveState& state, torvane::PageRequests& requests,
                     QWidget* parent = nullptr);

    // Next / Save: runs the checks; accepted closes the page with 1.
    void Next();
    // Match: refuses while MotorEnabled; runs the checks (storing the motor group); asks the
    // console to start matching; shows the matching box until the user closes it; then shows
    // the outcome in the Matching State list (or tells the console the box was closed while
    // matching).
    void Match();

    CDlgFileMotorMatch* MatchBox() const { return matchBox_; }

protected:
    void Initialise() override;

private:
    // "Absolute encoder" shows the Encoder Lines entry as lines; the filling of a type-2 set
    // shows it as a 16-bit resolution.
    void ShowEncoderLines(const QString& label, const QString& unit, const QString& text);
    // The checks of Next and Match; true when the motor group was stored.
    bool Validate();

    torvane::DriveState& state_;
    torvane::PageRequests& requests_;
    CDlgFileMotorMatch* matchBox_;

    QLineEdit* polePairsEdit_;
    QComboBox* feedbackTypeCombo_;
    QLabel* encoderLinesLabel_;
    QLineEdit* encoderLinesEdit_;
    QLabel* encoderLinesUnit_;
    QLineEdit* ratedCurrentEdit_;
    QLineEdit* lockedRotorCurrentEdit_;
    QComboBox* matchingStateCombo_;
    QPushButton* matchButton_;
    QPushButton* nextButton_;

    std::string encoderLinesText_;     // the page's own Encoder Lines text
    std::string ratedRotorSpeedText_;  // hidden "Mechanical Speed" entry
    int hallSequenceIndex_ = -1;       // hidden "Hall Line Sequence" list
};
