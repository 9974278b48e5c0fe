// NoticeSink: where a core command or sequence sends what the user must read or answer, in
// the order it happens. The console shows each notice in a message box with one OK button (and
// asks questions with OK/Cancel); the command-line tool prints information on standard output,
// failures and notices with the error or warning icon on standard error, and asks on the
// terminal. Core code never shows anything itself.
//
// Threads: called on the thread that runs the command (the UI thread in the console); a call
// returns once the user has read or answered it.
#pragma once

#include <string>

#include "protocol/drive_error.h"

namespace torvane {

enum class NoticeIcon { None, Error, Warning, Information, Question };

class NoticeSink {
public:
    virtual ~NoticeSink() = default;
    // A message with one OK button.
    virtual void Notice(const std::string& text, NoticeIcon icon = NoticeIcon::None) = 0;
    // A message that says why something was not done: a refusal, a DriveError, a time-out.
    // It looks like any notice with that icon (most refusals have none); only where the
    // message goes may differ. By default it is a Notice.
    virtual void Failure(const std::string& text, NoticeIcon icon = NoticeIcon::None) {
        Notice(text, icon);
    }
    // An OK/Cancel question; true for OK.
    virtual bool Confirm(const std::string& text) = 0;
};

// The message of a DriveError 0xF0..0xFF as a Failure without an icon; nothing for any other
// code.
void ShowDriveError(NoticeSink& sink, DriveError code);

}  // namespace torvane
