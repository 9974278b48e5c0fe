// UserPrompts: every message box, OK/Cancel question and file dialog of the program goes
// through this one interface, owned by the application. The Qt implementation shows real
// dialogs; tests install a recorder that keeps every text and icon and returns scripted
// answers. UI thread only.
#pragma once

#include <QString>

class QWidget;

class UserPrompts {
public:
    enum class Icon { None, Error, Warning, Information, Question };
    virtual ~UserPrompts() = default;
    // A message box with one OK button.
    virtual void Notice(const QString& text, Icon icon = Icon::None) = 0;
    // An OK/Cancel question with the question icon; true for OK.
    virtual bool Confirm(const QString& text) = 0;
    // Modal file dialogs; an empty string when cancelled.
    virtual QString OpenFileName(const QString& caption, const QString& filter) = 0;
    virtual QString SaveFileName(const QString& caption, const QString& filter) = 0;
    // A save dialog that starts on `initialName` and adds `defaultSuffix` (no dot) to a name
    // typed without one. By default the plain SaveFileName.
    virtual QString SaveFileNameWithDefaults(const QString& caption, const QString& filter,
                                             const QString& initialName,
                                             const QString& defaultSuffix) {
        (void)initialName;
        (void)defaultSuffix;
        return SaveFileName(caption, filter);
    }
    // An open dialog that starts in `folder`. By default the plain OpenFileName.
    virtual QString OpenFileNameIn(const QString& caption, const QString& filter,
                                   const QString& folder) {
        (void)folder;
        return OpenFileName(caption, filter);
    }
};

// The process-wide prompts. Starts as the Qt implementation; SetPrompts installs another
// (not owned) and SetPrompts(nullptr) goes back to the Qt one.
UserPrompts& Prompts();
void SetPrompts(UserPrompts* prompts);
// Parent window for the Qt dialogs (the console), may be null.
void SetPromptParent(QWidget* parent);
