#include "recording_prompts_qt.h"

RecordingPrompts::RecordingPrompts() {
    SetPrompts(this);
}

RecordingPrompts::~RecordingPrompts() {
    if (&Prompts() == this) SetPrompts(nullptr);
}

void RecordingPrompts::Notice(const QString& text, Icon icon) {
    entries_.push_back({Kind::Notice, text, icon, QString(), QString()});
}

bool RecordingPrompts::Confirm(const QString& text) {
    entries_.push_back({Kind::Confirm, text, Icon::Question, QString(), QString()});
    if (confirms_.empty()) return DefaultConfirm;
    const bool answer = confirms_.front();
    confirms_.pop_front();
    return answer;
}

QString RecordingPrompts::OpenFileName(const QString& caption, const QString& filter) {
    entries_.push_back({Kind::OpenFile, caption, Icon::None, filter, QString()});
    if (fileNames_.empty()) return QString();
    QString path = fileNames_.front();
    fileNames_.pop_front();
    return path;
}

QString RecordingPrompts::SaveFileName(const QString& caption, const QString& filter) {
    entries_.push_back({Kind::SaveFile, caption, Icon::None, filter, QString()});
    if (fileNames_.empty()) return QString();
    QString path = fileNames_.front();
    fileNames_.pop_front();
    return path;
}

QString RecordingPrompts::SaveFileNameWithDefaults(const QString& caption, const QString& filter,
                                                   const QString& initialName,
                                                   const QString&) {
    const QString path = SaveFileName(caption, filter);
    entries_.back().initial = initialName;
    return path;
}

QString RecordingPrompts::OpenFileNameIn(const QString& caption, const QString& filter,
                                         const QString& folder) {
    const QString path = OpenFileName(caption, filter);
    entries_.back().initial = folder;
    return path;
}

QStringList RecordingPrompts::Texts() const {
    QStringList texts;
    for (const Entry& e : entries_) {
        if (e.kind == Kind::Notice || e.kind == Kind::Confirm) texts << e.text;
    }
    return texts;
}

QString RecordingPrompts::Last() const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->kind == Kind::Notice || it->kind == Kind::Confirm) return it->text;
    }
    return QString();
}

UserPrompts::Icon RecordingPrompts::LastIcon() const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->kind == Kind::Notice || it->kind == Kind::Confirm) return it->icon;
    }
    return Icon::None;
}

int RecordingPrompts::NoticeCount() const {
    int n = 0;
    for (const Entry& e : entries_) n += e.kind == Kind::Notice ? 1 : 0;
    return n;
}

void RecordingPrompts::Clear() {
    entries_.clear();
    confirms_.clear();
    fileNames_.clear();
}
