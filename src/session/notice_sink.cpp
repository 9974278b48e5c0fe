#include "session/notice_sink.h"

namespace torvane {

void ShowDriveError(NoticeSink& sink, DriveError code) {
    if (const char* text = DriveErrorText(code)) sink.Failure(text);
}

}  // namespace torvane
