// CliNotices: the command-line tool's NoticeSink. Notices go to standard error, one a line;
// questions are asked on the terminal (standard input) and answered Cancel when there is none,
// so a script never hangs on a question.
#pragma once

#include "session/notice_sink.h"

namespace torvane::cli {

class CliNotices : public NoticeSink {
public:
    void Notice(const std::string& text, NoticeIcon icon = NoticeIcon::None) override;
    bool Confirm(const std::string& text) override;
};

}  // namespace torvane::cli
