// CDlgFileNewDriver: the application parameter page ("应用参数-新建",
// "Application Parameter-Modify"). It edits the application group of the ParameterSet: Maximum
// Speed, Acceleration(Deceleration), MaxPos and MinPos, and shows Positive Motor Direction.
//
// The second page of the New chain and the page of the Driver command. The opener sets
// ModifyMode and, in modify mode, MotorEnabled and DeviceBusy (Auto Update ticked); either of
// the two disables Next/Save, so the page can be looked at and cancelled but not saved.
// Results (exec): 1 accepted (the group is stored; writing it is the opener's job), 2 cancelled,
// 3 Back (New chain only; nothing checked or stored).
//
// The fields without a visible control (Applied Current Rating, Applied Locked-rotor Current,
// Deceleration, Stop Deceleration, Initial Position, the Current flag) are kept as the texts
// the page was filled with and taken back on acceptance, so the whole group is written
// consistently; ValidateApplicationPage does the checks and derivations.
//
// UI thread only.
#pragma once

#include "params/parameter_page.h"
#include "params/parameter_rules.h"
#include "protocol/drive_state.h"

class QComboBox;
class QPushButton;

class CDlgFileNewDriver : public ParameterPage {
    Q_OBJECT

public:
    static constexpr const char* kNewTitle = "应用参数-新建";
    static constexpr const char* kModifyTitle = "Application Parameter-Modify";

    // `state` must outlive the page.
    explicit CDlgFileNewDriver(torvane::DriveState& state, QWidget* parent = nullptr);

    // Auto Update was ticked when the opener opened the page in modify mode.
    bool DeviceBusy = false;

    // Next / Save: runs the checks; accepted closes the page with 1.
    void Next();

protected:
    void Initialise() override;

private:
    torvane::DriveState& state_;
    QLineEdit* maximumSpeedEdit_;
    QLineEdit* accelerationEdit_;
    QLineEdit* maxPosEdit_;
    QLineEdit* minPosEdit_;
    QComboBox* motorDirectionCombo_;
    QPushButton* backButton_;
    QPushButton* nextButton_;
    // The texts of the controls that are never shown.
    torvane::ApplicationPageEntries hidden_;
};
