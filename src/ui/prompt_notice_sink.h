// PromptNoticeSink: the NoticeSink of the windows. Core sequences send their notices and
// questions here, and they appear as the program's message boxes through Prompts() (so tests
// record them like every other message). UI thread only.
#pragma once

#include "session/notice_sink.h"

class PromptNoticeSink : public torvane::NoticeSink {
public:
    void Notice(const std::string& text,
                torvane::NoticeIcon icon = torvane::NoticeIcon::None) override;
    bool Confirm(const std::string& text) override;
};
