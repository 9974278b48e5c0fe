// RecordingPrompts: the prompts seam for window tests. Keeps every notice and question in the
// order they were asked and answers from a script instead of showing a dialog.
//
// Install it for the scope of a test: `RecordingPrompts prompts;` installs itself with
// SetPrompts() and its destructor goes back to the Qt prompts.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "ui/user_prompts.h"

class RecordingPrompts : public UserPrompts {
public:
    enum class Kind { Notice, Confirm, OpenFile, SaveFile };
    struct Entry {
        Kind kind;
        QString text;  // notice or question text, or the file dialog's caption
        Icon icon;     // Question for Confirm, None for file dialogs
        QString filter;
        QString initial;  // the file name a save dialog proposed, the folder an open one began in
    };

    RecordingPrompts();  // installs itself
    ~RecordingPrompts() override;
    RecordingPrompts(const RecordingPrompts&) = delete;
    RecordingPrompts& operator=(const RecordingPrompts&) = delete;

    void Notice(const QString& text, Icon icon = Icon::None) override;
    bool Confirm(const QString& text) override;
    QString OpenFileName(const QString& caption, const QString& filter) override;
    QString SaveFileName(const QString& caption, const QString& filter) override;
    QString SaveFileNameWithDefaults(const QString& caption, const QString& filter,
                                     const QString& initialName,
                                     const QString& defaultSuffix) override;
    QString OpenFileNameIn(const QString& caption, const QString& filter,
                           const QString& folder) override;

    // Scripted answers, used first in, first out. With none left, Confirm answers
    // DefaultConfirm and the file dialogs answer "" (cancelled).
    void QueueConfirm(bool answer) { confirms_.push_back(answer); }
    void QueueFileName(const QString& path) { fileNames_.push_back(path); }
    bool DefaultConfirm = true;

    const std::vector<Entry>& Entries() const { return entries_; }
    // Texts of the notices and questions, in order (file dialogs left out).
    QStringList Texts() const;
    // The last notice or question text; "" when there is none.
    QString Last() const;
    // Icon of the last notice or question; None when there is none.
    Icon LastIcon() const;
    int NoticeCount() const;
    void Clear();

private:
    std::vector<Entry> entries_;
    std::deque<bool> confirms_;
    std::deque<QString> fileNames_;
};
