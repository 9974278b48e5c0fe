// CliNotices: the command-line tool's NoticeSink. Information goes to standard output, errors
// to standard error, each message on its own line (a message of several lines keeps them):
//   - a Notice without an icon or with the information icon: standard output
//     ("Parameter download completed！");
//   - a Notice with the error or warning icon, and every Failure whatever its icon (a
//     refusal, a DriveError, a time-out): standard error.
// Questions are asked on standard error and answered on the terminal (standard input); with no
// terminal they are answered Cancel, so a script never hangs on a question.
#pragma once

#include "session/notice_sink.h"

namespace torvane::cli {

class CliNotices : public NoticeSink {
public:
    void Notice(const std::string& text, NoticeIcon icon = NoticeIcon::None) override;
    void Failure(const std::string& text, NoticeIcon icon = NoticeIcon::None) override;
    bool Confirm(const std::string& text) override;
};

}  // namespace torvane::cli
