// CDlgUserDef: the custom parameters dialog ("自定义参数", "Custom Parameters - Modify"). It
// edits the custom group of the ParameterSet: 32 flags and 24 values, of which four values have
// visible entries (Open Loop Matching Current Iq, Ultra Low Speed Vq Setting Size, Brake Start
// Duty Cycle Parameters, Holding Brake Duty Cycle Parameters). The other flags and values are
// kept as the dialog was filled and stored back unchanged, so the 100-byte block written
// afterwards keeps the drive's other values.
//
// exec() fills the dialog from the set and runs it modally. OK/Save stores every flag and value
// first, then checks values 13, 14, 4 and 11 (ValidateCustomPage); a refusal shows its message
// and keeps the dialog open, the stored values staying stored. Results: 1 after a successful
// OK/Save; 2 for Cancel, the close box or Escape (this dialog keeps the platform's keys: Enter
// presses OK/Save).
//
// Values 13 and 14 are also checked after every change of their text and when the dialog fills
// them; an out-of-range text brings up its message at once and stays as typed.
//
// Messages go through Prompts(). UI thread only.
#pragma once

#include <QDialog>
#include <array>

#include "params/parameter_rules.h"
#include "protocol/drive_state.h"
#include "ui/prompt_notice_sink.h"

class QLineEdit;
class QPushButton;

class CDlgUserDef : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "自定义参数";
    static constexpr const char* kModifyTitle = "Custom Parameters - Modify";
    // The values with a visible entry, top to bottom.
    static constexpr std::array<int, 4> kVisibleValues = {4, 11, 13, 14};

    // `set` must outlive the dialog.
    explicit CDlgUserDef(torvane::ParameterSet& set, QWidget* parent = nullptr);

    // Set by the opener; EditCustomGroup always sets it.
    bool ModifyMode = false;

    int exec() override;
    // Cancel, the close box and Escape: 2, nothing stored.
    void reject() override;
    // OK / Save.
    void Save();

    // The entry of a visible value (4, 11, 13 or 14).
    QLineEdit* ValueEdit(int value) const;

private:
    void CheckWhileTyping(int value);

    torvane::ParameterSet& set_;
    PromptNoticeSink notices_;
    // What the dialog was filled with: the flags and the values without a visible entry.
    torvane::CustomPageEntries entries_;
    std::array<QLineEdit*, 4> edits_{};
    QPushButton* okButton_;
    bool filling_ = false;
};
