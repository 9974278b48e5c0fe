// CommandResult: how a console command ended, so that the console knows what to open next and
// the command-line tool which exit code to give. Every message has already been shown through
// the NoticeSink when the command returns.
#pragma once

#include <cstdint>

#include "protocol/drive_error.h"

namespace torvane {

enum class CommandStatus : uint8_t {
    Done,         // ran to its end (a message may have been shown on the way, such as
                  // "Invalid working mode" in Run, or a failed 0x120A write in Correct)
    Refused,      // a precondition or entry check stopped it; its message was shown
    Failed,       // a transaction failed and the command ended; Error holds it (shown)
    OpenInfoBox,  // ran to its end and started a progress timer (10 or 11): the caller now
                  // opens the Info box modally, or follows the timer (motion_follow.h)
};

struct CommandResult {
    CommandStatus Status = CommandStatus::Done;
    DriveError Error = kSuccess;

    bool Succeeded() const {
        return Status == CommandStatus::Done || Status == CommandStatus::OpenInfoBox;
    }
};

}  // namespace torvane
