#include "ui/prompt_notice_sink.h"

#include <QString>

#include "ui/user_prompts.h"

namespace {

UserPrompts::Icon ToPromptIcon(torvane::NoticeIcon icon) {
    switch (icon) {
        case torvane::NoticeIcon::Error:
            return UserPrompts::Icon::Error;
        case torvane::NoticeIcon::Warning:
            return UserPrompts::Icon::Warning;
        case torvane::NoticeIcon::Information:
            return UserPrompts::Icon::Information;
        case torvane::NoticeIcon::Question:
            return UserPrompts::Icon::Question;
        case torvane::NoticeIcon::None:
            break;
    }
    return UserPrompts::Icon::None;
}

}  // namespace

void PromptNoticeSink::Notice(const std::string& text, torvane::NoticeIcon icon) {
    Prompts().Notice(QString::fromStdString(text), ToPromptIcon(icon));
}

bool PromptNoticeSink::Confirm(const std::string& text) {
    return Prompts().Confirm(QString::fromStdString(text));
}
