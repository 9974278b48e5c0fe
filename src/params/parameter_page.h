// ParameterPage: what the motor and application pages share. The opener sets ModifyMode (and,
// in modify mode, MotorEnabled) before each showing; exec() fills the page from the parameter
// set, clears Modified and runs it modally. Results: 1 accepted (Next or Save; the page's group
// is then stored in the ParameterSet), 2 cancelled, 3 Back.
//
// Any change of an entry's text after the filling sets Modified; Cancel and the close box then
// ask "Parameter not saved, sure to cancel?" (OK closes with 2, Cancel keeps the page open).
// Enter, Escape and Space are swallowed (DialogKeyFilter), so the page closes only through its
// buttons or its close box. Messages go through Prompts().
//
// UI thread only.
#pragma once

#include <QDialog>
#include <initializer_list>

#include "ui/prompt_notice_sink.h"

class QLineEdit;

class ParameterPage : public QDialog {
    Q_OBJECT

public:
    static constexpr int kAccepted = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kBack = 3;
    static constexpr const char* kCancelQuestion = "Parameter not saved, sure to cancel?";

    // Set by the opener before every showing.
    bool ModifyMode = false;
    bool MotorEnabled = false;
    // An entry's text changed since the page was filled.
    bool Modified = false;

    // Fills the page (Initialise), clears Modified, runs the page modally; returns 1, 2 or 3.
    int exec() override;
    // Cancel and the close box.
    void reject() override;

protected:
    explicit ParameterPage(QWidget* parent);
    // Titles, captions and entries from the parameter set, for the page's modes.
    virtual void Initialise() = 0;
    // Entries whose text changes set Modified.
    void WatchForEdits(std::initializer_list<QLineEdit*> edits);
    torvane::NoticeSink& Notices() { return notices_; }

private:
    PromptNoticeSink notices_;
    bool filling_ = false;
};
